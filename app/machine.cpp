#include "app/machine.h"

#include <algorithm>

#include "runtime/numeric.h"

Machine::Machine(Program& program, int64_t maxCells) : program_(program), tape_(maxCells) { program.prepare(); }

Machine::Outcome Machine::run(CommandIo& io) {
    const int64_t count = program_.commandCount();
    for (;;) {
        Step step = runJumpTargets(io);
        if (step == Step::kNext && pc_ < count) step = runStraightLine(io);
        if (step == Step::kTapeTooLong) return Outcome::kTapeTooLong;
        if (step == Step::kNext || pc_ >= count) return Outcome::kCompleted;
    }
}

// Commands below the straight line, one at a time: any of them may be the
// target of a jump.  Returns kNext once the counter reaches the straight
// line or the end.
Machine::Step Machine::runJumpTargets(CommandIo& io) {
    const int64_t end = std::min(program_.commandCount(), kStraightLineStart);
    const uint8_t* commands = program_.commands();
    while (pc_ < end) {
        bool inRange = true;
        switch (commands[pc_]) {
        case kCommandFlip: inRange = flipOne(); break;
        case kCommandLeft: head_ = ovIntSubWrap(head_, 1); break;
        case kCommandPrint: inRange = print(io); break;
        case kCommandRead: inRange = read(io); break;
        case kCommandJump: inRange = jump(); break;
        }
        if (!inRange) return Step::kTapeTooLong;
        pc_ = ovIntAddWrap(pc_, 1);
    }
    return Step::kNext;
}

// The prepared operations from the straight line's start to the end, or to
// the first jump taken.
Machine::Step Machine::runStraightLine(CommandIo& io) {
    for (const FusedOp& op : program_.fusedOps()) {
        bool inRange = true;
        switch (op.kind) {
        case FusedOp::kFlips:
            if (op.span != 0) {
                const int64_t low = int64_t{head_} + op.low;
                inRange = tape_.cover(low, low + op.span);
                if (inRange) tape_.flipMasked(low, program_.maskOf(op), op.span);
            }
            head_ = ovIntAddWrap(head_, op.delta);
            break;
        case FusedOp::kPrint: inRange = print(io); break;
        case FusedOp::kRead: inRange = read(io); break;
        case FusedOp::kJump:
            if (!jump()) return Step::kTapeTooLong;
            pc_ = ovIntAddWrap(pc_, 1);
            return Step::kJumped;
        }
        if (!inRange) return Step::kTapeTooLong;
    }
    pc_ = static_cast<int32_t>(program_.commandCount());
    return Step::kNext;
}

bool Machine::flipOne() {
    if (!tape_.cover(head_, int64_t{head_} + 1)) return false;
    tape_.flip(head_);
    head_ = ovIntAddWrap(head_, 1);
    return true;
}

bool Machine::print(CommandIo& io) {
    if (!tape_.cover(head_, int64_t{head_} + 8)) return false;
    if (const uint8_t code = tape_.readByte(head_)) io.print(code);
    return true;
}

bool Machine::read(CommandIo& io) {
    const int32_t code = io.readCode();
    if (!tape_.cover(head_, int64_t{head_} + 8)) return false;
    tape_.writeBitsLowFirst(head_, static_cast<uint8_t>(code));
    return true;
}

// Sets the counter to the value of the eight cells at the head; the
// caller's increment then selects the command after it.
bool Machine::jump() {
    if (!tape_.cover(head_, int64_t{head_} + 8)) return false;
    pc_ = tape_.readByte(head_);
    return true;
}
