// A program watched from the page: the interpreter's machine taking single
// steps, as bittrace drives it, with the input lines the page typed, the
// output so far and the breakpoints.
//
// Every call does a bounded amount of work and returns, so a program that
// never ends cannot hold up the server: the page asks again.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "app/machine.h"
#include "app/program.h"

class Session final : private CommandIo {
public:
    // The most commands one request may run, and what "," lines may wait.
    static constexpr int64_t kMostSteps = 1000000;
    static constexpr size_t kMostQueuedLines = 65536;
    // Output kept for the page; older bytes are dropped first.
    static constexpr size_t kKeptOutput = 1 << 20;
    // The cells on each side of the head that a state shows.
    static constexpr int64_t kWindowRadius = 32;

    // Why the last steps stopped.
    enum class Stop { kNone, kStepLimit, kBreakpoint, kInput, kEnd, kTapeLimit };

    // The program must outlive the session.
    Session(Program& program, std::string name);

    // Up to `count` commands; stops early at the end, at a "," with no line
    // waiting, or where the tape would pass its cell limit.
    Stop step(int64_t count);
    // The same, also stopping before a command with a breakpoint (the first
    // command is always run, so a run can leave a breakpoint).
    Stop run(int64_t count);
    // A fresh machine: no commands run, no output, no input waiting; the
    // breakpoints stay.
    void reset();
    // Queues each line of the text for ","; a text without a line feed, the
    // empty text included, is one line.  False, queueing nothing, when the
    // queue would pass its bound.
    bool queueInput(std::string_view text);
    // False for an index outside the program.
    bool setBreakpoint(int64_t index, bool on);

    // The program as the page shows it.
    std::string programJson() const;
    // The machine's state, with the output from byte `outputFrom` on.
    std::string stateJson(int64_t outputFrom) const;

private:
    void print(uint8_t code) override;
    int32_t readCode() override;

    Stop advance(int64_t count, bool atBreakpoints);
    std::string windowCells() const;
    int32_t headByte() const;

    Program& program_;
    std::string name_;
    std::optional<Machine> machine_;
    int64_t count_ = 0;
    Stop stop_ = Stop::kNone;
    std::deque<int32_t> input_;  // the code "," takes from each line
    std::string output_;
    int64_t outputDropped_ = 0;  // bytes printed before output_ starts
    std::set<int32_t> breakpoints_;
};

// What "," takes from a line as bitrun reads it: the code of its first byte,
// or -1 for an empty line; one white-space byte before the line feed (the CR
// of a CR LF) is not part of the line.
int32_t LineCode(std::string_view line);
