// A loaded program of the bit-tape language and its prepared form.
//
// The five commands are stored one per byte, by their character codes.
// A jump ("?") can only go to the command after index 0 .. 255, so no command
// past index 256 is ever a jump target: from there on the program is a
// straight line that is prepared once into fused operations (every run of
// "+" and "<" becomes one masked flip of the cells it touches plus one head
// move; "+<" is a flip in place, "+<+" a step right).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint8_t kCommandFlip = '+';
inline constexpr uint8_t kCommandLeft = '<';
inline constexpr uint8_t kCommandPrint = '.';
inline constexpr uint8_t kCommandRead = ',';
inline constexpr uint8_t kCommandJump = '?';

// True for the code of one of the five command characters.
constexpr bool isCommandCode(uint32_t code) {
    return code == kCommandFlip || code == kCommandLeft || code == kCommandPrint || code == kCommandRead ||
           code == kCommandJump;
}

// Commands from this index on are never jumped to.
inline constexpr int64_t kStraightLineStart = 256;

// One prepared operation of the straight-line part.
struct FusedOp {
    enum Kind : uint8_t { kFlips, kPrint, kRead, kJump };
    // kFlips: the cells head + low .. head + low + span - 1 are accessed
    // (span 0: none) and those marked in the mask flipped; then the head
    // moves by delta.  A run holds at most an Int's worth of commands, so
    // these fit 32 bits.
    int32_t delta;
    int32_t low;
    uint32_t span;
    Kind kind;
    // The mask itself when span <= 64, else the index of its first word in
    // the program's mask words.
    uint64_t mask;
};

class Program {
public:
    // Commands are indexed by Int, so no program may hold more.
    static constexpr int64_t kMaxCommands = INT32_MAX;

    explicit Program(int64_t maxCommands = kMaxCommands);
    ~Program();
    Program(Program&& other) noexcept;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Keeps the command characters of one line of text, in order.  Returns
    // false when the program would exceed its command limit; the commands
    // kept before that stay.
    bool appendLine(const uint16_t* units, int32_t count);
    // The same for text whose characters are the bytes.
    bool appendBytes(const uint8_t* bytes, int32_t count);

    int64_t commandCount() const { return static_cast<int64_t>(count_); }
    const uint8_t* commands() const { return commands_; }

    // Builds the fused operations of the commands from kStraightLineStart on.
    void prepare();
    const std::vector<FusedOp>& fusedOps() const { return ops_; }
    const uint64_t* maskOf(const FusedOp& op) const {
        return op.span <= 64 ? &op.mask : masks_.data() + op.mask;
    }

private:
    template <class Unit>
    bool append(const Unit* units, int32_t count);
    size_t fuseRun(size_t from);
    void reserve(size_t count);

    // The commands live in a block of the C heap that grows by doubling:
    // realloc moves large blocks by remapping, and nothing is cleared.
    uint8_t* commands_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
    int64_t maxCommands_;
    std::vector<FusedOp> ops_;
    std::vector<uint64_t> masks_;
};
