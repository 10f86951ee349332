// Turns a text into a bit-tape program that prints it.
//
// The program keeps one eight-cell window at the start position.  For each
// byte it walks the window once, flipping ("+") the cells whose bit must
// change and stepping over the others ("+<+": flip, back, flip again, on),
// up to the last cell that changes; then it moves back to the window's
// start and prints (".").  A byte equal to the one before is just ".".
// Bytes of 0 cannot be printed ("." writes nothing for them) and are left
// out.
#pragma once

#include <string>

inline std::string ProgramPrinting(const std::string& text, size_t lineLength = 72) {
    std::string program;
    size_t lineStart = 0;
    auto emit = [&](const std::string& piece) {
        if (program.size() + piece.size() - lineStart > lineLength && program.size() > lineStart) {
            program += '\n';
            lineStart = program.size();
        }
        program += piece;
    };
    unsigned window = 0;  // the eight cells, the first as the top bit
    for (const char c : text) {
        const unsigned byte = static_cast<unsigned char>(c);
        if (byte == 0) continue;
        const unsigned change = window ^ byte;
        std::string piece;
        int last = -1;
        for (int k = 0; k < 8; ++k)
            if (change & (0x80u >> k)) last = k;
        for (int k = 0; k <= last; ++k) piece += (change & (0x80u >> k)) ? "+" : "+<+";
        piece += std::string(static_cast<size_t>(last + 1), '<');
        piece += '.';
        emit(piece);
        window = byte;
    }
    if (!program.empty()) program += '\n';
    return program;
}
