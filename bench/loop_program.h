// A loop-heavy bit-tape program: a binary counter of a given number of bits
// that counts from 0 until it overflows, in fewer than 256 commands, so
// every jump lands among the first 256 commands.  It makes 6 * 2^bits -
// bits - 4 jumps, about ten commands apart, and ends normally.
//
// The tape holds a run of ones.  Bit m of the counter is the cell at
// P0 - 2m (a one is a 0 bit), the cell after each bit is a one, and seven
// ones follow bit 0, so that eight cells read at any bit during a carry are
// the same for every bit.  An increment flips bit m and the cell two after
// it, then jumps on the eight cells at bit m:
//   95 (the bit is now 1)  -> 96: done; restore, walk right to the end
//   223 (now 0, a carry)   -> 224: restore, increment the bit to the left
//   159 (the zeros left of the counter) -> 160: overflow; read eight ones
//                             and jump past the program's end.
// The walk right flips one cell of every second one and reads there: 127
// (-> 128) while in the run, 124 (-> 125) when the end is six cells on,
// which goes back to bit 0 (191) for the next increment.
#pragma once

#include <string>

inline std::string LoopProgram(int bits) {
    const std::string increment = "+" "+<+" "+" "<<<" "?";
    const struct {
        size_t at;
        std::string commands;
    } pieces[] = {
        {96, "+<+" "+" "+" "<<" "?"},
        {125, "<?"},
        {128, "+" "+<+" "+<" "?"},
        {160, "+<+" "+" "+" "<<<" "?"},
        {191, "+<+" "+" "<<<<" + increment},
        {224, "+<+" "+<+" "+<" "<<<<" + increment},
    };
    // Ones from the start position to seven past bit 0, back to bit 0, go.
    std::string program = std::string(2 * static_cast<size_t>(bits) + 7, '+') + std::string(9, '<') + increment;
    program.resize(245, '<');
    for (const auto& piece : pieces) program.replace(piece.at, piece.commands.size(), piece.commands);
    return program;
}
