#include "app/program.h"

#include <algorithm>

bool isCommandCode(uint32_t code) {
    switch (code) {
    case kCommandFlip:
    case kCommandLeft:
    case kCommandPrint:
    case kCommandRead:
    case kCommandJump: return true;
    default: return false;
    }
}

Program::Program(int64_t maxCommands) : maxCommands_(maxCommands) {}

bool Program::appendLine(const uint16_t* units, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (!isCommandCode(units[i])) continue;
        if (commandCount() >= maxCommands_) return false;
        commands_.push_back(static_cast<uint8_t>(units[i]));
    }
    return true;
}

void Program::prepare() {
    ops_.clear();
    masks_.clear();
    size_t i = static_cast<size_t>(kStraightLineStart);
    while (i < commands_.size()) {
        switch (commands_[i]) {
        case kCommandPrint: ops_.push_back({0, 0, 0, FusedOp::kPrint, 0}); ++i; break;
        case kCommandRead: ops_.push_back({0, 0, 0, FusedOp::kRead, 0}); ++i; break;
        case kCommandJump: ops_.push_back({0, 0, 0, FusedOp::kJump, 0}); ++i; break;
        default: i = fuseRun(i); break;
        }
    }
}

namespace {

bool isMove(uint8_t command) { return command == kCommandFlip || command == kCommandLeft; }

void flipMaskBit(uint64_t* mask, int64_t bit) { mask[bit / 64] ^= (uint64_t{1} << 63) >> (bit % 64); }

}  // namespace

// Fuses the run of "+" and "<" that starts at from into one operation and
// returns the index after it.  The first pass finds the cells the run
// touches and where the head ends; the second marks the cells flipped an
// odd number of times.
size_t Program::fuseRun(size_t from) {
    size_t to = from;
    int64_t head = 0;
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    for (; to < commands_.size() && isMove(commands_[to]); ++to) {
        if (commands_[to] == kCommandLeft) {
            --head;
            continue;
        }
        low = std::min(low, head);
        high = std::max(high, head);
        ++head;
    }
    FusedOp op{static_cast<int32_t>(head), 0, 0, FusedOp::kFlips, 0};
    if (low <= high) {
        op.low = static_cast<int32_t>(low);
        op.span = static_cast<uint32_t>(high - low + 1);
        uint64_t* mask = &op.mask;
        if (op.span > 64) {
            op.mask = masks_.size();
            masks_.resize(masks_.size() + (op.span + 63) / 64, 0);
            mask = masks_.data() + op.mask;
        }
        int64_t position = -low;
        for (size_t i = from; i < to; ++i) {
            if (commands_[i] == kCommandLeft) {
                --position;
                continue;
            }
            flipMaskBit(mask, position);
            ++position;
        }
    }
    ops_.push_back(op);
    return to;
}
