// Execution of a loaded program against a fresh tape.
//
// The machine's state is the language's: the tape, the head and the
// command counter.  step() carries out the one command at the counter, as
// the language defines it; run() gets to the same end far faster through
// the program's prepared operations, which apply whole runs of "+" and "<"
// at once and share with step() everything else (the tape's growth, ".",
// "," and "?").
#pragma once

#include <cstdint>

#include "app/program.h"
#include "app/tape.h"

// Where "." sends its characters and "," takes its lines from.
class CommandIo {
public:
    virtual void print(uint8_t code) = 0;
    // The code of the first character of the next input line: -1 for an
    // empty line or at end of input.
    virtual int32_t readCode() = 0;

protected:
    ~CommandIo() = default;
};

class Machine {
public:
    static constexpr int32_t kStartPosition = 36;

    enum class Outcome { kCompleted, kTapeTooLong };

    // Prepares the program; it must outlive the machine.
    explicit Machine(Program& program, int64_t maxCells = Tape::kMaxCells);

    // Runs until the command counter leaves the program, or until an access
    // would take the tape past its cell limit; then the state is the one
    // single steps would have stopped in.  After single steps it continues
    // from where they stopped.
    Outcome run(CommandIo& io);

    // Carries out the command at the counter and advances the counter.
    // Returns false, leaving tape, head and counter as they were, when an
    // access would take the tape past its cell limit (a "," has read its
    // line by then).  Only for a machine that has not finished.
    bool step(CommandIo& io);
    bool finished() const { return pc_ >= program_.commandCount(); }

    const Tape& tape() const { return tape_; }
    int32_t head() const { return head_; }
    int32_t pc() const { return pc_; }

private:
    // What stopped an operation short: nothing, its run or its last command.
    enum class Stop { kNone, kRun, kCommand };

    Outcome runPrepared(CommandIo& io);
    Outcome runStraightLineOnce(CommandIo& io);
    bool applyMoves();
    Stop perform(const FusedOp& op, const uint64_t* maskWords, CommandIo& io);
    Outcome refuse(const FusedOp& op, Stop stop, CommandIo& io);
    bool applyRun(const FusedOp& op, const uint64_t* maskWords);
    bool flipOne();
    bool print(CommandIo& io);
    bool read(CommandIo& io);
    bool jump();

    const Program& program_;
    Tape tape_;
    int32_t head_ = kStartPosition;
    int32_t pc_ = 0;
};
