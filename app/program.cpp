#include "app/program.h"

#include <algorithm>
#include <cstdlib>
#include <new>

Program::Program(int64_t maxCommands) : maxCommands_(maxCommands) {}

Program::~Program() { std::free(commands_); }

Program::Program(Program&& other) noexcept
    : commands_(other.commands_),
      count_(other.count_),
      capacity_(other.capacity_),
      maxCommands_(other.maxCommands_),
      ops_(std::move(other.ops_)),
      masks_(std::move(other.masks_)) {
    other.commands_ = nullptr;
    other.count_ = other.capacity_ = 0;
}

void Program::reserve(size_t count) {
    if (count <= capacity_) return;
    const size_t capacity = std::max(count, 2 * capacity_);
    void* grown = std::realloc(commands_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    commands_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
}

namespace {

struct CommandTable {
    bool isCommand[256] = {};
    bool isMove[256] = {};
    constexpr CommandTable() {
        for (int c = 0; c < 256; ++c) isCommand[c] = isCommandCode(static_cast<uint32_t>(c));
        isMove[kCommandFlip] = isMove[kCommandLeft] = true;
    }
};
constexpr CommandTable kCommands;

}  // namespace

// Every unit is stored and the end advanced only past commands, so that
// text and commands mixed at random cost no mispredicted branches.
template <class Unit>
bool Program::append(const Unit* units, int32_t count) {
    size_t end = count_;
    reserve(end + static_cast<size_t>(std::max(count, 0)));
    for (int32_t i = 0; i < count; ++i) {
        const Unit unit = units[i];
        commands_[end] = static_cast<uint8_t>(unit);
        end += unit < 256 && kCommands.isCommand[unit];
    }
    const bool fits = static_cast<int64_t>(end) <= maxCommands_;
    count_ = fits ? end : static_cast<size_t>(maxCommands_);
    return fits;
}

bool Program::appendLine(const uint16_t* units, int32_t count) { return append(units, count); }
bool Program::appendBytes(const uint8_t* bytes, int32_t count) { return append(bytes, count); }

void Program::prepare() {
    ops_.clear();
    masks_.clear();
    size_t i = static_cast<size_t>(kStraightLineStart);
    while (i < count_) {
        switch (commands_[i]) {
        case kCommandPrint: ops_.push_back({0, 0, 0, FusedOp::kPrint, 0}); ++i; break;
        case kCommandRead: ops_.push_back({0, 0, 0, FusedOp::kRead, 0}); ++i; break;
        case kCommandJump: ops_.push_back({0, 0, 0, FusedOp::kJump, 0}); ++i; break;
        default: i = fuseRun(i); break;
        }
    }
}

namespace {

// Sets the bit of every cell the commands flip an odd number of times; the
// first command acts at bit start.  A random walk stays within one mask word
// for long stretches, so the word is gathered in a register and stored only
// when a flip lands in another word.
void markFlips(const uint8_t* commands, size_t count, int64_t start, uint64_t* mask) {
    uint64_t position = static_cast<uint64_t>(start);
    uint64_t word = 0;
    uint64_t gathered = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t flip = commands[i] == kCommandFlip;
        const uint64_t all = 0 - flip;  // every bit set for a flip
        // A move may stand outside the touched range: it keeps the word.
        const uint64_t at = ((position / 64) & all) | (word & ~all);
        if (at != word) {
            mask[word] ^= gathered;
            gathered = 0;
            word = at;
        }
        gathered ^= (flip << 63) >> (position % 64);
        position += 2 * flip - 1;
    }
    mask[word] ^= gathered;
}

}  // namespace

// Fuses the run of "+" and "<" that starts at from into one operation and
// returns the index after it.  The first pass finds the cells the run
// touches and where the head ends; the second marks the cells flipped an
// odd number of times.  Both passes are free of branches on the command,
// since runs of both commands mixed at random are common.
size_t Program::fuseRun(size_t from) {
    const uint8_t* commands = commands_;
    size_t to = from;
    while (to < count_ && kCommands.isMove[commands[to]]) ++to;
    int64_t head = 0;
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    for (size_t i = from; i < to; ++i) {
        const int64_t flip = commands[i] == kCommandFlip;
        const int64_t all = -flip;  // every bit set for a flip
        low = std::min(low, (head & all) | (low & ~all));
        high = std::max(high, (head & all) | (high & ~all));
        head += 2 * flip - 1;
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
        markFlips(commands + from, to - from, -low, mask);
    }
    ops_.push_back(op);
    return to;
}
