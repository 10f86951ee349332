// A loaded program of the bit-tape language and its prepared form.
//
// The five commands are stored one per byte, by their character codes.
// A jump ("?") resumes at the command after index 0 .. 255, so only the
// commands 0 .. 256 can ever be entered other than from the command before
// them.  Each of those 257 entry points is prepared into one fused
// operation: the run of "+" and "<" that starts there (one masked flip of
// the cells it touches plus one head move; "+<" is a flip in place, "+<+" a
// step right) together with the command that ends the run.
//
// From 256 on the program is a straight line entered only at its start, and
// every jump goes back to an entry point: whatever follows the first jump
// of the straight line never runs.  A straight line with a jump is prepared
// up to that jump, since it may run many times; one without a jump runs at
// most once, so its runs are applied as they are reached (app/moves.h) and
// it needs no memory of its own.
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

// The entry point of the straight line; every command before it may be one.
inline constexpr int64_t kStraightLineStart = 256;

// A run of "+" and "<" and what follows it.
struct FusedOp {
    enum Kind : uint8_t {
        kNext,  // nothing: the run stopped at an entry point or the end
        kPrint,  // ".", ",", "?" ended the run
        kRead,
        kJump,
        kEnd,   // no run: the program has ended with the counter at `at`
        kOnce,  // no run: the straight line without a jump starts here
    };
    // The cells head + low .. head + low + span - 1 are accessed (span 0:
    // none) and those marked in the mask flipped; then the head moves by
    // delta.  A run holds at most an Int's worth of commands, so these fit
    // 32 bits.
    int32_t delta;
    int32_t low;
    uint32_t span;
    // The index of the first command fused and the one after the last.  An
    // entry point's operation is followed by that of the entry point at
    // `end`, one of the straight line by the next one; a jump continues at
    // the entry point after the value it reads.
    int32_t at;
    int32_t end;
    Kind kind;
    // The mask itself when span <= 64, else the index of its first word in
    // the mask words kept beside the operation.
    uint64_t mask;

    const uint64_t* maskIn(const uint64_t* maskWords) const { return span <= 64 ? &mask : maskWords + mask; }
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

    // Prepares the operations: those of entry points 0 .. 256 are at the
    // index of their entry point, those of a straight line with a jump
    // follow from index 257 on.
    void prepare();
    const std::vector<FusedOp>& ops() const { return ops_; }
    const uint64_t* maskWords() const { return masks_.data(); }

private:
    template <class Unit>
    bool append(const Unit* units, int32_t count);
    void reserve(size_t count);
    // Fuses the run of "+" and "<" from command `from`, stopping at `end` or
    // at another command, which it takes in.  Masks longer than 64 bits go
    // to the mask words.  Returns the index after the commands fused.
    size_t fuse(size_t from, size_t end, FusedOp& op);
    void prepareEntryPoints();
    void prepareStraightLine();

    // The commands live in a block of the C heap that grows by doubling:
    // realloc moves large blocks by remapping, and nothing is cleared.  A
    // few bytes past the last command are always allocated, so that eight
    // commands can be read at once anywhere.
    uint8_t* commands_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
    int64_t maxCommands_;
    std::vector<FusedOp> ops_;
    std::vector<uint64_t> masks_;
};
