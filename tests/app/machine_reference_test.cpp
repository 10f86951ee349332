// The machine against the literal reference on generated programs: run()
// through the prepared operations, step() one command at a time, and run()
// after some single steps must all stop in the state the reference stops in,
// at the end or before the access that would take the tape past its limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench/loop_program.h"
#include "interpreter_test_support.h"

namespace {

// Expects the machine in the state the reference ended in.
void expectSameState(const Machine& machine, const std::string& output, const ReferenceRun& reference) {
    EXPECT_EQ(output, reference.output);
    EXPECT_EQ(machine.head(), reference.head);
    EXPECT_EQ(machine.pc(), reference.pc);
    ASSERT_EQ(machine.tape().size(), reference.tapeSize);
    ASSERT_EQ(machine.tape().offset(), reference.tapeOffset);
    for (int64_t p = -reference.tapeOffset; p < reference.tapeSize; ++p)
        ASSERT_EQ(machine.tape().cell(p), reference.tape[static_cast<size_t>(p + reference.tapeOffset)]) << p;
}

struct Case {
    std::string program;
    std::vector<int32_t> input;
    int64_t maxCells = Tape::kMaxCells;
};

enum class Drive { kRun, kSteps, kRunAfterSteps };

Machine::Outcome drive(Machine& machine, CommandIo& io, Drive how) {
    const int64_t steps = how == Drive::kSteps ? INT64_MAX : how == Drive::kRunAfterSteps ? 300 : 0;
    for (int64_t i = 0; i < steps && !machine.finished(); ++i) {
        if (!machine.step(io)) return Machine::Outcome::kTapeTooLong;
    }
    return machine.finished() ? Machine::Outcome::kCompleted : machine.run(io);
}

void expectLikeReference(const Case& c) {
    ReferenceRun reference;
    reference.maxCells = c.maxCells;
    reference.run(c.program, c.input, 2'000'000);
    ASSERT_TRUE(reference.finished || reference.refused) << "the generated program does not end";
    for (const Drive how : {Drive::kRun, Drive::kSteps, Drive::kRunAfterSteps}) {
        SCOPED_TRACE(testing::Message() << "drive " << static_cast<int>(how) << ", program " << c.program);
        Program program = programFrom(c.program);
        Machine machine(program, c.maxCells);
        ScriptedIo io(c.input);
        const Machine::Outcome outcome = drive(machine, io, how);
        EXPECT_EQ(outcome == Machine::Outcome::kTapeTooLong, reference.refused);
        expectSameState(machine, io.output, reference);
    }
}

// ---------------------------------------------------------------------------
// Programs steered by their input
// ---------------------------------------------------------------------------

// Every jump follows a read of the same eight cells, so the input chooses
// where each one lands; at the end of the input a read stores eight ones,
// whose jump goes to 256: past the end of a short program, or into a
// straight line.  A straight line without a jump then ends the program; one
// with a jump starts with a net move to the left, so that each pass covers a
// new cell until the tape passes its limit.
struct Steering {
    size_t entryCommands;     // commands before the straight line (at most 256)
    size_t straightCommands;  // commands from 256 on
    const char* moves;        // the alphabet of the runs between reads
    bool jumpInStraightLine;
    int64_t maxCells;
};

constexpr Steering kSteerings[] = {
    {40, 0, "+<.", false, Tape::kMaxCells},       // jumps past the end of a short program
    {200, 0, "++<.", false, Tape::kMaxCells},     // the tape grows right inside loops
    {250, 0, "+<<<.", false, Tape::kMaxCells},    // and left
    {255, 0, "+<", false, Tape::kMaxCells},       // a jump to 255 or 256 ends it
    {256, 0, "+<.", false, Tape::kMaxCells},
    {256, 1, "+<", false, Tape::kMaxCells},       // the straight line is one command
    {256, 9, "+<.", false, Tape::kMaxCells},
    {256, 600, "+++<<<<.", false, Tape::kMaxCells},
    {256, 300, "+<..", true, 600},                // a straight line that repeats
    {180, 0, "+<<<.", false, 150},                // refused inside the entry points
    {256, 2000, "+<<.", false, 400},              // refused in the straight line
    {256, 400, "+<<.", true, 300},
};

uint8_t reversedBits(uint8_t value) {
    uint8_t reversed = 0;
    for (int k = 0; k < 8; ++k) reversed = static_cast<uint8_t>(reversed | ((value >> k & 1) << (7 - k)));
    return reversed;
}

std::string steeredCommands(std::mt19937& random, size_t count, const char* moves, bool reads) {
    const std::string alphabet = moves;
    std::string commands;
    while (commands.size() < count) {
        if (reads && random() % 6 == 0 && commands.size() + 2 <= count) commands += ",?";
        else commands += alphabet[random() % alphabet.size()];
    }
    return commands;
}

// Lands every jump on an entry point that is not itself a jump (whose cells
// nobody has just read), often on the first, the last or one past the end.
std::vector<int32_t> steeringInput(std::mt19937& random, const std::string& program, size_t codes) {
    std::vector<int32_t> input;
    while (input.size() < codes) {
        const uint32_t pick = random() % 8;
        const size_t target = pick == 0 ? 1 : pick == 1 ? 255 : pick == 2 ? 256 : 1 + random() % 256;
        if (target < program.size() && program[target] == '?') continue;
        input.push_back(reversedBits(static_cast<uint8_t>(target - 1)));
    }
    return input;
}

Case steeredCase(std::mt19937& random, const Steering& s) {
    std::string program = steeredCommands(random, s.entryCommands, s.moves, true);
    std::string straight = steeredCommands(random, s.straightCommands, s.moves, s.jumpInStraightLine);
    if (s.jumpInStraightLine) {
        const size_t read = straight.find(',');
        const std::string before = straight.substr(0, read);
        const auto net = std::count(before.begin(), before.end(), '+') - std::count(before.begin(), before.end(), '<');
        straight.insert(0, std::string(static_cast<size_t>(std::max<int64_t>(net + 1, 0)), '<'));
    }
    program += straight;
    return {program, steeringInput(random, program, 1 + random() % 40), s.maxCells};
}

TEST(MachineLikeReference, OnProgramsSteeredByTheirInput) {
    std::mt19937 random(17);
    for (const Steering& steering : kSteerings) {
        for (int round = 0; round < 12; ++round) expectLikeReference(steeredCase(random, steering));
    }
}

// ---------------------------------------------------------------------------
// Loops without input
// ---------------------------------------------------------------------------

// The benchmark's counter: jumps between eight entry points, thousands of
// times, and ends with a jump past the program.
TEST(MachineLikeReference, OnTheCountingLoop) {
    for (const int bits : {3, 4, 7, 9}) expectLikeReference({LoopProgram(bits), {}, Tape::kMaxCells});
    expectLikeReference({LoopProgram(14), {}, 66});
}

// Runs of many lengths, flipping cells across the tape's right end or
// growing it to the left, starting at every entry point around the straight
// line's start and after it, with the cells read back by "." after them.
TEST(MachineLikeReference, OnRunsAroundTheStraightLine) {
    std::mt19937 random(23);
    const size_t starts[] = {0, 200, 240, 247, 248, 249, 250, 251, 252, 253, 254, 255, 256, 257, 300};
    for (const size_t start : starts) {
        for (const char* moves : {"+<", "+++<", "+<<<"}) {
            for (size_t length = 0; length <= 100; length += 3) {
                const std::string program = std::string(start, '.') + steeredCommands(random, length, moves, false) +
                                            "<<<<<<<<.........";
                expectLikeReference({program, {}, Tape::kMaxCells});
            }
        }
    }
}

// A run of k flips touches k cells: its mask takes one word or several,
// prepared for an entry point or for a straight line that repeats (each
// pass moves the head k cells right, until the tape passes its limit).
TEST(MachineLikeReference, OnFlipRunsAroundTheSizeOfAWord) {
    for (const size_t k : {1, 8, 63, 64, 65, 66, 127, 128, 129, 130, 200}) {
        const std::string flips(k, '+');
        expectLikeReference({flips + "<<<<<<<<.........", {}, Tape::kMaxCells});
        expectLikeReference({std::string(256, '.') + flips + ",?", {}, 2000});
    }
}

}  // namespace
