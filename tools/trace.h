// bittrace's parts: its command line and the trace of a run.
//
// The run is the interpreter's own machine taking single steps; after each
// command the options select, one line shows what was done and the state it
// left: the command count (from 1), the command's index and character, the
// head's position and the cells around the head, the head's cell in
// brackets.  A cell the tape has not reached yet shows as "_" (it reads as
// 0).  ".", "," and "?" add what they printed, read or where they jump.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/tape.h"

struct TraceOptions {
    static constexpr int64_t kNoLimit = -1;
    int64_t steps = kNoLimit;  // commands run at the most
    int64_t window = 8;        // cells shown on each side of the head
    int64_t from = 1;          // the count of the first command shown
    int64_t every = 1;         // one line per this many commands
};

struct TraceCommandLine {
    TraceOptions options;
    bool help = false;
    std::string programFile = "code.txt";
    // The argument naming the program file, counted from 0 after the
    // executable's name; -1 when there is none.
    int programArgument = -1;
    std::string error;  // what is wrong with the arguments; empty when nothing is
};

extern const char kTraceUsage[];

// Reads the arguments after the executable's name.
TraceCommandLine ParseTraceArguments(const std::vector<std::string>& arguments);

// Loads the program a tool's command line names (argument programArgument
// after the executable's name, or "code.txt" when there is none) as bitrun
// would; returns what went wrong for the message, or "" once it is loaded.
std::string LoadToolProgram(int programArgument, const std::string& programFile, Program& program);

// How a cell shows: '0' or '1', or '_' where the tape has not reached yet.
char CellSymbol(const Tape& tape, int64_t position);

enum class TraceEnd { kCompleted, kStepLimit, kTapeLimit };

// The code "," stores: that of the first character of the next input line,
// -1 for an empty line or at end of input.
using ReadCode = std::function<int32_t()>;

// Runs the program on a fresh machine with a tape of at most maxCells cells,
// writing a header, the lines the options select and a last line saying how
// the run ended.
TraceEnd TraceProgram(Program& program, const TraceOptions& options, const ReadCode& readCode, std::ostream& out,
                      int64_t maxCells = Tape::kMaxCells);
