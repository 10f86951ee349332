// Execution of a loaded program against a fresh tape.
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
    // would take the tape past its cell limit.
    Outcome run(CommandIo& io);

    const Tape& tape() const { return tape_; }
    int32_t head() const { return head_; }
    int32_t pc() const { return pc_; }

private:
    enum class Step { kNext, kJumped, kTapeTooLong };

    Step runJumpTargets(CommandIo& io);
    Step runStraightLine(CommandIo& io);
    bool print(CommandIo& io);
    bool read(CommandIo& io);
    bool jump();
    bool flipOne();

    const Program& program_;
    Tape tape_;
    int32_t head_ = kStartPosition;
    int32_t pc_ = 0;
};
