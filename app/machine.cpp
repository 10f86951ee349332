#include "app/machine.h"

#include <cstddef>

#include "app/moves.h"
#include "runtime/numeric.h"

Machine::Machine(Program& program, int64_t maxCells) : program_(program), tape_(maxCells) { program.prepare(); }

Machine::Outcome Machine::run(CommandIo& io) {
    // Every counter up to the straight line's start is an entry point of
    // the prepared operations; past it single steps lead back to one or to
    // the end.
    while (pc_ > kStraightLineStart && !finished()) {
        if (!step(io)) return Outcome::kTapeTooLong;
    }
    return finished() ? Outcome::kCompleted : runPrepared(io);
}

bool Machine::step(CommandIo& io) {
    bool inRange = true;
    switch (program_.commands()[pc_]) {
    case kCommandFlip: inRange = flipOne(); break;
    case kCommandLeft: head_ = ovIntSubWrap(head_, 1); break;
    case kCommandPrint: inRange = print(io); break;
    case kCommandRead: inRange = read(io); break;
    case kCommandJump: inRange = jump(); break;
    }
    if (inRange) pc_ = ovIntAddWrap(pc_, 1);
    return inRange;
}

// From the entry point at the counter, operation after operation: a jump
// selects the entry point after the value it reads.
Machine::Outcome Machine::runPrepared(CommandIo& io) {
    const FusedOp* ops = program_.ops().data();
    const uint64_t* maskWords = program_.maskWords();
    int32_t index = pc_;
    for (;;) {
        const FusedOp& op = ops[index];
        if (const Stop stop = perform(op, maskWords, io); stop != Stop::kNone) return refuse(op, stop, io);
        switch (op.kind) {
        case FusedOp::kJump: index = pc_ + 1; break;
        case FusedOp::kEnd: pc_ = op.at; return Outcome::kCompleted;
        case FusedOp::kOnce: return runStraightLineOnce(io);
        default: index = index < kStraightLineStart ? op.end : index + 1; break;
        }
    }
}

// A straight line without a jump runs once: rather than fused, each run is
// applied to the tape as it is walked, and the commands between are stepped.
Machine::Outcome Machine::runStraightLineOnce(CommandIo& io) {
    pc_ = static_cast<int32_t>(kStraightLineStart);
    while (!finished()) {
        if (!applyMoves()) {
            while (step(io)) {}
            return Outcome::kTapeTooLong;
        }
        if (!finished() && !step(io)) return Outcome::kTapeTooLong;
    }
    return Outcome::kCompleted;
}

// Applies the run of moves at the counter chunk after chunk, each growing
// the tape as its single steps would.  Returns false with counter and head
// at the start of the first chunk that would take the tape past its limit.
bool Machine::applyMoves() {
    const int64_t start = head_;
    bool whole = true;
    int64_t delta = 0;
    const size_t end = static_cast<size_t>(program_.commandCount());
    const size_t after = WalkMoves(program_.commands(), static_cast<size_t>(pc_), end, delta,
                                   [&](const ChunkEffect& effect, int64_t head) {
                                       if (!effect.touches()) return true;
                                       const int64_t at = start + head;
                                       if (!tape_.cover(at + effect.low, at + effect.high + 1)) return whole = false;
                                       tape_.flipWindow(at - 8, effect.flips);
                                       return true;
                                   });
    pc_ = static_cast<int32_t>(after);
    head_ = ovIntAddWrap(head_, static_cast<int32_t>(delta));
    return whole;
}

// The operation's run, then the command that ended it.  A refused run has
// changed nothing.
Machine::Stop Machine::perform(const FusedOp& op, const uint64_t* maskWords, CommandIo& io) {
    if (!applyRun(op, maskWords)) return Stop::kRun;
    bool inRange = true;
    switch (op.kind) {
    case FusedOp::kPrint: inRange = print(io); break;
    case FusedOp::kRead: inRange = read(io); break;
    case FusedOp::kJump: inRange = jump(); break;
    default: break;
    }
    return inRange ? Stop::kNone : Stop::kCommand;
}

// The command that ended the operation stopped where its single step would
// have.  Some access of a refused run would pass the limit: single steps
// through the run stop right before that one.
Machine::Outcome Machine::refuse(const FusedOp& op, Stop stop, CommandIo& io) {
    if (stop == Stop::kCommand) {
        pc_ = op.end - 1;
        return Outcome::kTapeTooLong;
    }
    pc_ = op.at;
    while (step(io)) {}
    return Outcome::kTapeTooLong;
}

bool Machine::applyRun(const FusedOp& op, const uint64_t* maskWords) {
    if (op.span != 0) {
        const int64_t low = int64_t{head_} + op.low;
        if (!tape_.cover(low, low + op.span)) return false;
        tape_.flipMasked(low, op.maskIn(maskWords), op.span);
    }
    head_ = ovIntAddWrap(head_, op.delta);
    return true;
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
// increment after it selects the command after that.
bool Machine::jump() {
    if (!tape_.cover(head_, int64_t{head_} + 8)) return false;
    pc_ = tape_.readByte(head_);
    return true;
}
