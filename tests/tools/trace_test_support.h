// Reading bittrace's output back: the header, one record per trace line and
// the closing line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

struct TracedCommand {
    int64_t count = 0;
    int32_t index = 0;
    char command = 0;
    int32_t head = 0;
    std::string window;
    std::string effect;  // "print 72 'H'", "read -1, ...", "jump to 63"; empty for "+" and "<"

    // The number after the effect's verb ("print ", "read ", "jump to ").
    int32_t effectNumber() const {
        const size_t digits = effect.find_first_of("-0123456789");
        return digits == std::string::npos ? INT32_MIN : std::stoi(effect.substr(digits));
    }
    // The window's cells without the marks around the head's.
    std::string cells() const {
        std::string plain = window;
        std::erase_if(plain, [](char c) { return c == '[' || c == ']'; });
        return plain;
    }
};

struct ParsedTrace {
    std::string header;
    std::vector<TracedCommand> commands;
    std::string end;
    bool wellFormed = false;  // a header, lines that parse and a closing line
};

inline ParsedTrace parseTrace(const std::string& output) {
    ParsedTrace trace;
    std::vector<std::string> lines;
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    if (lines.size() < 2) return trace;
    trace.header = lines.front();
    trace.end = lines.back();
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::istringstream fields(lines[i]);
        TracedCommand traced;
        if (!(fields >> traced.count >> traced.index >> traced.command >> traced.head >> traced.window)) return trace;
        std::getline(fields >> std::ws, traced.effect);
        trace.commands.push_back(traced);
    }
    trace.wellFormed = true;
    return trace;
}

// The bytes the trace shows printed, in order; a "." of a zero byte prints
// nothing.
inline std::string printedBytes(const ParsedTrace& trace) {
    std::string bytes;
    for (const TracedCommand& traced : trace.commands)
        if (traced.command == '.' && traced.effectNumber() != 0) bytes += static_cast<char>(traced.effectNumber());
    return bytes;
}
