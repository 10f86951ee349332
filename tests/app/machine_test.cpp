#include "app/machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "interpreter_test_support.h"

namespace {

struct Execution {
    Program program;
    Machine machine;
    ScriptedIo io;
    Machine::Outcome outcome;

    explicit Execution(const std::string& text, std::vector<int32_t> input = {}, int64_t maxCells = Tape::kMaxCells)
        : program(programFrom(text)), machine(program, maxCells), io(std::move(input)), outcome(machine.run(io)) {}
};

TEST(ProgramLoading, KeepsOnlyTheFiveCommandCharactersInOrder) {
    Program program;
    const std::u16string first = u"a+b\r";
    const std::u16string second = u"<c x?y,z. \u012B\u013C";
    program.appendLine(reinterpret_cast<const uint16_t*>(first.data()), static_cast<int32_t>(first.size()));
    program.appendLine(reinterpret_cast<const uint16_t*>(second.data()), static_cast<int32_t>(second.size()));
    ASSERT_EQ(program.commandCount(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(program.commands()), 5), "+<?,.");
}

TEST(ProgramLoading, RefusesCommandsBeyondItsLimit) {
    Program program = programFrom("++", 3);
    EXPECT_EQ(program.commandCount(), 2);
    const std::u16string more = u"+x++";
    EXPECT_FALSE(program.appendLine(reinterpret_cast<const uint16_t*>(more.data()), 4));
    EXPECT_EQ(program.commandCount(), 3);
}

// Text from no commands to all, appended in pieces of sizes around the
// sixteen bytes tested at once, as bytes and as 16-bit units, where codes
// above 255 whose low byte is a command's are not commands.
TEST(ProgramLoading, KeepsTheSameCommandsWhateverTheDensityAndThePieces) {
    std::mt19937 random(3);
    const std::u16string others = u"ab \n\r\0x\u012B\u013C\u022E\u033F";
    const std::u16string commands = u"+<.,?";
    for (const unsigned percent : {0u, 50u, 94u, 100u}) {
        for (const size_t piece : {1, 15, 16, 17, 33, 1000}) {
            std::u16string units;
            std::string expected;
            for (int i = 0; i < 3000; ++i) {
                const bool command = random() % 100 < percent;
                units += command ? commands[random() % commands.size()] : others[random() % others.size()];
                if (command) expected += static_cast<char>(units.back());
            }
            Program fromUnits, fromBytes;
            for (size_t at = 0; at < units.size(); at += piece) {
                const int32_t n = static_cast<int32_t>(std::min(piece, units.size() - at));
                std::vector<uint8_t> bytes(units.begin() + at, units.begin() + at + n);
                for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = units[at + k] < 256 ? bytes[k] : 0xAB;
                fromUnits.appendLine(reinterpret_cast<const uint16_t*>(units.data() + at), n);
                fromBytes.appendBytes(bytes.data(), n);
            }
            for (const Program* program : {&fromUnits, &fromBytes}) {
                ASSERT_EQ(program->commandCount(), static_cast<int64_t>(expected.size())) << percent << " " << piece;
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(program->commands()), expected.size()), expected);
            }
        }
    }
}

TEST(Machine, FlipSetsTheCellUnderTheHeadAndMovesRight) {
    Execution run("+");
    EXPECT_EQ(run.machine.tape().cell(36), 1);
    EXPECT_EQ(run.machine.head(), 37);
    Execution back("<+");
    EXPECT_EQ(back.machine.tape().cell(35), 1);
    EXPECT_EQ(back.machine.tape().cell(36), 0);
    EXPECT_EQ(back.machine.head(), 36);
}

TEST(Machine, AFlipLeftOfTheTapeGrowsItOnTheLeftKeepingEarlierBits) {
    Execution one("+" + std::string(38, '<') + "+");
    EXPECT_EQ(one.machine.tape().offset(), 1);
    EXPECT_EQ(one.machine.tape().length(), 65);
    EXPECT_EQ(one.machine.tape().cell(-1), 1);
    EXPECT_EQ(one.machine.tape().cell(36), 1);
    EXPECT_EQ(one.machine.head(), 0);
    Execution two("+" + std::string(39, '<') + "+");
    EXPECT_EQ(two.machine.tape().offset(), 2);
    EXPECT_EQ(two.machine.tape().length(), 66);
    EXPECT_EQ(two.machine.tape().cell(-2), 1);
    EXPECT_EQ(two.machine.tape().cell(-1), 0);
    EXPECT_EQ(two.machine.tape().cell(36), 1);
}

TEST(Machine, ARunOfFlipsPastTheEndGrowsOneCellAtATime) {
    Execution run(std::string(30, '+'));
    EXPECT_EQ(run.machine.tape().size(), 66);
    EXPECT_EQ(run.machine.tape().offset(), 0);
    EXPECT_EQ(run.machine.head(), 66);
}

TEST(Machine, ReadStoresTheLowBitFirstAndPrintReadsItBackReversed) {
    Execution run(",.", {'A'});
    const int expected[8] = {1, 0, 0, 0, 0, 0, 1, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(run.machine.tape().cell(36 + k), expected[k]) << k;
    EXPECT_EQ(run.io.output, std::string(1, static_cast<char>(130)));
    EXPECT_EQ(run.machine.head(), 36);
}

TEST(Machine, AnEmptyLineOrEndOfInputStoresEightOneBits) {
    Execution run(",.", {-1});
    EXPECT_EQ(run.io.output, std::string(1, static_cast<char>(0xFF)));
    Execution atEnd(",.");
    EXPECT_EQ(atEnd.io.output, std::string(1, static_cast<char>(0xFF)));
}

TEST(Machine, PrintOfZeroCellsWritesNothing) {
    Execution run("...");
    EXPECT_TRUE(run.io.output.empty());
    EXPECT_EQ(run.machine.tape().size(), 64);
}

// The first jump reads zero cells and must resume at index 1, not 0; the
// second reads 128 and ends the run, since 129 lies beyond the program.
TEST(Machine, JumpResumesAfterTheIndexItReads) {
    Execution run("+<+<?");
    EXPECT_EQ(run.outcome, Machine::Outcome::kCompleted);
    EXPECT_EQ(run.machine.tape().cell(35), 1);
    EXPECT_EQ(run.machine.tape().cell(36), 0);
    EXPECT_EQ(run.machine.head(), 35);
    EXPECT_EQ(run.machine.pc(), 129);
}

TEST(Machine, AnEmptyProgramEndsAtOnce) {
    Execution run("");
    EXPECT_EQ(run.outcome, Machine::Outcome::kCompleted);
    EXPECT_EQ(run.machine.pc(), 0);
    EXPECT_EQ(run.machine.tape().length(), 64);
}

TEST(Machine, StopsBeforeTheTapePassesItsLimit) {
    Execution right(std::string(27, '+') + "<." + std::string(40, '+'), {}, 92);
    EXPECT_EQ(right.outcome, Machine::Outcome::kTapeTooLong);
    EXPECT_EQ(right.machine.tape().length(), 92);
    EXPECT_EQ(right.io.output, std::string(1, static_cast<char>(0x80)));
    Execution left(std::string(300, '<') + "+", {}, 200);
    EXPECT_EQ(left.outcome, Machine::Outcome::kTapeTooLong);
    EXPECT_EQ(left.machine.tape().length(), 64);
}

// Programs longer than the jump range exercise the fused straight line;
// every one must behave exactly like the literal reference.
void expectSameAsReference(const std::string& text, const std::vector<int32_t>& input) {
    ReferenceRun reference;
    reference.run(text, input, 50000);
    if (!reference.finished) return;
    Execution run(text, input);
    ASSERT_EQ(run.outcome, Machine::Outcome::kCompleted);
    EXPECT_EQ(run.io.output, reference.output) << text;
    EXPECT_EQ(run.machine.head(), reference.head) << text;
    EXPECT_EQ(run.machine.pc(), reference.pc) << text;
    ASSERT_EQ(run.machine.tape().size(), reference.tapeSize) << text;
    ASSERT_EQ(run.machine.tape().offset(), reference.tapeOffset) << text;
    for (int64_t p = -reference.tapeOffset; p < reference.tapeSize; ++p)
        ASSERT_EQ(run.machine.tape().cell(p), reference.tape[static_cast<size_t>(p + reference.tapeOffset)]) << p;
}

std::string randomProgram(std::mt19937& random, size_t length, const std::string& alphabet) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
    return text;
}

TEST(Machine, FusedStraightLineBehavesLikeCommandByCommand) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const std::string alphabet = round % 2 ? "++<<<." : "+++<<.";
        expectSameAsReference(randomProgram(random, 400 + 50 * static_cast<size_t>(round), alphabet), {});
    }
    expectSameAsReference(std::string(256, '<') + "+<" + "+<+" + std::string(100, '<') + "+.", {});
}

TEST(Machine, JumpsAndReadsBehaveLikeTheReference) {
    std::mt19937 random(9);
    for (int round = 0; round < 60; ++round) {
        const std::string text = randomProgram(random, 200 + 4 * static_cast<size_t>(round), "+++<<<.,?");
        expectSameAsReference(text, {'A', 'z', -1, '0', 200, 7});
    }
}

}  // namespace
