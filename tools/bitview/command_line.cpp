#include "tools/bitview/command_line.h"

#include <charconv>

#include "tools/usage.h"

const char kViewUsage[] =
    "usage: bitview [--port N] [PROGRAM]\n"
    "Serves a page on 127.0.0.1 that steps a bit-tape program as bitrun runs it:\n"
    "the commands, the tape around the head, the output and a line for the input.\n"
    "PROGRAM is looked up as bitrun looks it up (code.txt when none is given).\n"
    "\n"
    "  --port N   serve on port N of 127.0.0.1 (default 8080; 0 picks a free one)\n"
    "  --help     print this help and exit\n"
    "  --         ends the options: a program file named -x is given as -- -x\n"
    "\n"
    "bitview prints the page's address, bitview: http://127.0.0.1:PORT/, and\n"
    "serves until it is interrupted.  It is reachable from this machine only.\n"
    "\n"
    "Exit status: 0 when interrupted, 1 when the program cannot be loaded or the\n"
    "port cannot be listened on, 2 when the command line is wrong.\n";

namespace {

std::string setPort(const std::string& text, ViewCommandLine& line) {
    int32_t port = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || text[0] == '-' || error != std::errc() || end != text.data() + text.size() || port > 65535)
        return "--port takes a whole number from 0 to 65535, not '" + text + "'";
    line.port = port;
    return "";
}

std::string takeOption(const std::vector<std::string>& arguments, size_t& at, ViewCommandLine& line) {
    const std::string& word = arguments[at];
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (word == "--help") {
        line.help = true;
        return "";
    }
    if (name != "--port") return "unknown option " + name;
    if (equals != std::string::npos) return setPort(word.substr(equals + 1), line);
    if (++at == arguments.size()) return "--port needs a number";
    return setPort(arguments[at], line);
}

}  // namespace

ViewCommandLine ParseViewArguments(const std::vector<std::string>& arguments) {
    ViewCommandLine line;
    line.error = ReadToolArguments(
        arguments, line.programFile, line.programArgument,
        [&](const std::vector<std::string>& words, size_t& at) { return takeOption(words, at, line); });
    return line;
}
