// bitview's command line: a program file and the port to serve on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern const char kViewUsage[];

struct ViewCommandLine {
    static constexpr int32_t kDefaultPort = 8080;

    bool help = false;
    int32_t port = kDefaultPort;
    std::string programFile = "code.txt";
    // The argument naming the program file, counted from 0 after the
    // executable's name; -1 when there is none.
    int programArgument = -1;
    std::string error;  // what is wrong with the arguments; empty when nothing is
};

// Reads the arguments after the executable's name.
ViewCommandLine ParseViewArguments(const std::vector<std::string>& arguments);
