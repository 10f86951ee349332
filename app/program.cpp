#include "app/program.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/moves.h"
#include "app/tape.h"

namespace {

// Bytes always allocated past the last command, for reads of eight.
constexpr size_t kReadAhead = 8;

}  // namespace

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
    if (count + kReadAhead <= capacity_) return;
    const size_t capacity = std::max(count + kReadAhead, 2 * capacity_);
    void* grown = std::realloc(commands_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    commands_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

namespace {

struct CommandTable {
    bool isCommand[256] = {};
    constexpr CommandTable() {
        for (int c = 0; c < 256; ++c) isCommand[c] = isCommandCode(static_cast<uint32_t>(c));
    }
};
constexpr CommandTable kCommands;

// Program text is mostly commands: sixteen bytes of it are tested at once
// and, when all are commands, copied as a block.
constexpr size_t kBlockBytes = 16;

template <class Unit>
bool allCommands(const Unit* units) {
    typedef Unit Block __attribute__((vector_size(kBlockBytes)));
    Block block;
    std::memcpy(&block, units, kBlockBytes);
    const auto commands = (block == kCommandFlip) | (block == kCommandLeft) | (block == kCommandPrint) |
                          (block == kCommandRead) | (block == kCommandJump);
    uint64_t lanes[2];
    std::memcpy(lanes, &commands, sizeof lanes);
    return (lanes[0] & lanes[1]) == ~uint64_t{0};
}

// The units of a block as command bytes; text and commands never overlap,
// which the compiler cannot know of a copy between byte pointers.
template <class Unit>
void copyBlock(uint8_t* to, const Unit* units) {
    if constexpr (sizeof(Unit) == 1) {
        std::memcpy(to, units, kBlockBytes);
    } else {
        for (size_t k = 0; k < kBlockBytes / sizeof(Unit); ++k) to[k] = static_cast<uint8_t>(units[k]);
    }
}

}  // namespace

// In a block that is not all commands every unit is stored and the end
// advanced only past commands, so that text and commands mixed at random
// cost no mispredicted branches.
template <class Unit>
bool Program::append(const Unit* units, int32_t count) {
    constexpr int32_t kBlock = kBlockBytes / sizeof(Unit);
    size_t end = count_;
    reserve(end + static_cast<size_t>(std::max(count, 0)));
    uint8_t* const commands = commands_;  // stores of bytes could otherwise change commands_
    for (int32_t i = 0; i < count;) {
        if (count - i >= kBlock && allCommands(units + i)) {
            copyBlock(commands + end, units + i);
            end += kBlock;
            i += kBlock;
            continue;
        }
        for (const int32_t stop = std::min(i + kBlock, count); i < stop; ++i) {
            const Unit unit = units[i];
            commands[end] = static_cast<uint8_t>(unit);
            end += unit < 256 && kCommands.isCommand[unit];
        }
    }
    std::memset(commands + end, 0, kReadAhead);
    const bool fits = static_cast<int64_t>(end) <= maxCommands_;
    count_ = fits ? end : static_cast<size_t>(maxCommands_);
    return fits;
}

bool Program::appendLine(const uint16_t* units, int32_t count) { return append(units, count); }
bool Program::appendBytes(const uint8_t* bytes, int32_t count) { return append(bytes, count); }

// ---------------------------------------------------------------------------
// Fusing runs of "+" and "<", eight commands at a time
// ---------------------------------------------------------------------------

namespace {

FusedOp::Kind kindOf(uint8_t command) {
    switch (command) {
    case kCommandPrint: return FusedOp::kPrint;
    case kCommandRead: return FusedOp::kRead;
    default: return FusedOp::kJump;
    }
}

}  // namespace

// The first pass finds the cells the run touches and where the head ends;
// the second marks the cells flipped an odd number of times into words with
// a spare word on each side, as a chunk's window may start up to 15 cells
// before the first one flipped and end as far past the last.
size_t Program::fuse(size_t from, size_t end, FusedOp& op) {
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    int64_t delta = 0;
    size_t to = WalkMoves(commands_, from, end, delta, [&](const ChunkEffect& effect, int64_t head) {
        if (effect.touches()) {
            low = std::min(low, head + effect.low);
            high = std::max(high, head + effect.high);
        }
        return true;
    });
    op = {static_cast<int32_t>(delta), 0, 0, static_cast<int32_t>(from), 0, FusedOp::kNext, 0};
    if (low <= high) {
        op.low = static_cast<int32_t>(low);
        op.span = static_cast<uint32_t>(high - low + 1);
        const size_t words = (op.span + 63) / 64;
        const bool inlineMask = op.span <= 64;
        const size_t base = masks_.size();
        uint64_t inlineWords[3] = {};
        if (!inlineMask) masks_.resize(base + words + 2, 0);
        uint64_t* padded = inlineMask ? inlineWords : masks_.data() + base;
        WalkMoves(commands_, from, to, delta, [&](const ChunkEffect& effect, int64_t head) {
            if (effect.flips != 0) XorWindow(padded, 64 + head - 8 - low, effect.flips);
            return true;
        });
        if (inlineMask) {
            op.mask = inlineWords[1];
        } else {
            op.mask = base + 1;
            masks_.resize(base + 1 + words);  // the spare word after the mask goes
        }
    }
    if (to < end) op.kind = kindOf(commands_[to++]);
    op.end = static_cast<int32_t>(to);
    return to;
}

// ---------------------------------------------------------------------------
// Preparing
// ---------------------------------------------------------------------------

void Program::prepare() {
    ops_.clear();
    masks_.clear();
    prepareEntryPoints();
    if (static_cast<int64_t>(count_) > kStraightLineStart) prepareStraightLine();
}

// One operation per entry point, each running to the next command that is
// not a move, to the straight line or to the end; entry points at or past
// the end end the program with the counter there.
void Program::prepareEntryPoints() {
    const size_t straightLine = static_cast<size_t>(kStraightLineStart);
    const size_t end = std::min(count_, straightLine);
    ops_.resize(straightLine + 1);
    for (size_t i = 0; i <= straightLine; ++i) {
        FusedOp& op = ops_[i];
        if (i >= count_) {
            op = {0, 0, 0, static_cast<int32_t>(i), static_cast<int32_t>(i), FusedOp::kEnd, 0};
        } else if (i < end) {
            fuse(i, end, op);
        }
    }
}

// Only the commands up to the first jump can run; they may run many times.
void Program::prepareStraightLine() {
    const size_t start = static_cast<size_t>(kStraightLineStart);
    const void* jump = std::memchr(commands_ + start, kCommandJump, count_ - start);
    if (jump == nullptr) {
        ops_[start] = {0, 0, 0, static_cast<int32_t>(start), static_cast<int32_t>(start), FusedOp::kOnce, 0};
        return;
    }
    const size_t last = static_cast<size_t>(static_cast<const uint8_t*>(jump) - commands_) + 1;
    for (size_t i = start; i < last;) {
        FusedOp op;
        i = fuse(i, last, op);
        if (op.at == kStraightLineStart) ops_[start] = op;
        else ops_.push_back(op);
    }
}
