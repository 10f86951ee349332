// Helpers for the interpreter's tests: programs from text, scripted input
// and captured output, and a plain reference interpreter that follows the
// language's rules literally (one byte per cell, a slice-like growth by
// the rules of ReadCell) to compare the real one with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/program.h"

// The text protocols, and ASCII text as bytes of each (Latin-1 and UTF-8
// leave it as it is, UTF-16 pairs each byte with a zero).
inline const std::string kTextProtocols[] = {"latin1", "utf8", "utf16be", "utf16le"};

inline std::string encodedFor(const std::string& protocol, const std::string& ascii) {
    if (protocol.rfind("utf16", 0) != 0) return ascii;
    std::string bytes;
    for (const char c : ascii) bytes += protocol == "utf16be" ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
}

inline Program programFrom(const std::string& text, int64_t maxCommands = Program::kMaxCommands) {
    Program program(maxCommands);
    const std::u16string units(text.begin(), text.end());
    program.appendLine(reinterpret_cast<const uint16_t*>(units.data()), static_cast<int32_t>(units.size()));
    return program;
}

class ScriptedIo final : public CommandIo {
public:
    explicit ScriptedIo(std::vector<int32_t> codes = {}) : codes_(codes.begin(), codes.end()) {}
    void print(uint8_t code) override { output.push_back(static_cast<char>(code)); }
    int32_t readCode() override {
        if (codes_.empty()) return -1;
        const int32_t code = codes_.front();
        codes_.pop_front();
        return code;
    }
    std::string output;

private:
    std::deque<int32_t> codes_;
};

// The reference: gives up (finished = false) after maxSteps commands, and
// stops (refused = true) before a command whose accesses would take the
// tape past maxCells cells; a "," has read its line by then.
struct ReferenceRun {
    bool finished = false;
    bool refused = false;
    int64_t maxCells = INT32_MAX;
    std::string output;
    int64_t tapeSize = 64;
    int64_t tapeOffset = 0;
    std::vector<uint8_t> tape = std::vector<uint8_t>(64, 0);
    int32_t head = 36;
    int32_t pc = 0;

    uint8_t& cellAt(int64_t position) {
        if (position + tapeOffset < 0) {
            const int64_t added = -position - tapeOffset;
            tapeOffset = -position;
            tape.insert(tape.begin(), static_cast<size_t>(added), 0);
        }
        if (position >= tapeSize) {
            ++tapeSize;
            tape.push_back(0);
        }
        return tape[static_cast<size_t>(position + tapeOffset)];
    }
    int eightCells() {
        int value = 0;
        for (int k = 0; k < 8; ++k) value |= cellAt(head + k) << (7 - k);
        return value;
    }
    // Whether accesses to the cells from the head on leave the tape within
    // the limit, or do not grow it.
    bool fits(int64_t cells) const {
        const int64_t size = std::max(tapeSize, int64_t{head} + cells);
        const int64_t offset = std::max(tapeOffset, -int64_t{head});
        return (size == tapeSize && offset == tapeOffset) || size + offset <= maxCells;
    }

    void run(const std::string& commands, std::vector<int32_t> input, int64_t maxSteps) {
        std::deque<int32_t> codes(input.begin(), input.end());
        for (int64_t steps = 0; steps < maxSteps; ++steps) {
            if (pc >= static_cast<int64_t>(commands.size())) {
                finished = true;
                return;
            }
            const char command = commands[static_cast<size_t>(pc)];
            int32_t code = -1;
            if (command == ',' && !codes.empty()) {
                code = codes.front();
                codes.pop_front();
            }
            if (command != '<' && !fits(command == '+' ? 1 : 8)) {
                refused = true;
                return;
            }
            switch (command) {
            case '+': cellAt(head) ^= 1; ++head; break;
            case '<': --head; break;
            case '.':
                if (const int value = eightCells()) output.push_back(static_cast<char>(value));
                break;
            case ',':
                for (int k = 0; k < 8; ++k) cellAt(head + k) = static_cast<uint8_t>((code >> k) & 1);
                break;
            case '?': pc = eightCells(); break;
            }
            ++pc;
        }
    }
};

