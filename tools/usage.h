// What every tool does with --help and with a command line it cannot use.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// A shell tells a misused command from a failed one by this status.
inline constexpr int kUsageErrorStatus = 2;

inline int PrintUsage(const char* usage) {
    std::fputs(usage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

inline int ReportUsageError(const char* tool, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for its usage.\n", tool, problem.c_str(), tool);
    return kUsageErrorStatus;
}

// The argument loop every tool that takes a program file reads with: a word
// of two or more characters starting with "-" is an option, which
// takeOption(arguments, at) reads (moving `at` past a value it takes) and
// answers with an error or ""; "--" ends the options; any other word names
// the program file, its index counted from 0 after the executable's name.
// The first error, or "".
template <class TakeOption>
std::string ReadToolArguments(const std::vector<std::string>& arguments, std::string& programFile, int& programArgument,
                              TakeOption takeOption) {
    bool optionsEnded = false;
    for (size_t at = 0; at < arguments.size(); ++at) {
        const std::string& word = arguments[at];
        std::string error;
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            if (programArgument >= 0)
                return "one program file at a time, not both '" + programFile + "' and '" + word + "'";
            programFile = word;
            programArgument = static_cast<int>(at);
        } else if (word == "--") {
            optionsEnded = true;
        } else {
            error = takeOption(arguments, at);
        }
        if (!error.empty()) return error;
    }
    return "";
}
