// What every tool does with --help and with a command line it cannot use.
#pragma once

#include <cstdio>
#include <string>

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
