// The tracer's parts in the test process: its command line, and traces of
// programs checked line by line against the literal reference interpreter.
#include "tools/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <sstream>
#include <tuple>

#include "tests/app/interpreter_test_support.h"
#include "tests/tools/trace_test_support.h"

namespace {

struct TraceRun {
    TraceEnd end;
    ParsedTrace trace;
};

TraceRun traceOf(const std::string& text, const TraceOptions& options = {}, std::vector<int32_t> input = {},
                 int64_t maxCells = Tape::kMaxCells) {
    Program program = programFrom(text);
    std::deque<int32_t> codes(input.begin(), input.end());
    const ReadCode readCode = [&codes] {
        if (codes.empty()) return -1;
        const int32_t code = codes.front();
        codes.pop_front();
        return code;
    };
    std::ostringstream out;
    const TraceEnd end = TraceProgram(program, options, readCode, out, maxCells);
    return {end, parseTrace(out.str())};
}

struct GoodArguments {
    std::vector<std::string> arguments;
    TraceOptions expected;
    int programArgument;
};

TEST(TraceArguments, SetTheOptionsAndFindTheProgramWhereverItStands) {
    const GoodArguments cases[] = {
        {{}, {}, -1},
        {{"p.txt"}, {}, 0},
        {{"--steps", "5", "p.txt"}, {5, 8, 1, 1}, 2},
        {{"p.txt", "--window=0", "--from", "3", "--every=10"}, {-1, 0, 3, 10}, 0},
        {{"--steps=0", "--window", "1000", "--", "-p"}, {0, 1000, 1, 1}, 4},
        {{"--", "--steps"}, {}, 1},
    };
    for (const GoodArguments& good : cases) {
        const TraceCommandLine line = ParseTraceArguments(good.arguments);
        const std::string shown = ::testing::PrintToString(good.arguments);
        EXPECT_EQ(line.error, "") << shown;
        EXPECT_FALSE(line.help) << shown;
        EXPECT_EQ(line.options.steps, good.expected.steps) << shown;
        EXPECT_EQ(line.options.window, good.expected.window) << shown;
        EXPECT_EQ(line.options.from, good.expected.from) << shown;
        EXPECT_EQ(line.options.every, good.expected.every) << shown;
        ASSERT_EQ(line.programArgument, good.programArgument) << shown;
        const std::string file = good.programArgument < 0 ? "code.txt" : good.arguments[good.programArgument];
        EXPECT_EQ(line.programFile, file) << shown;
    }
    EXPECT_TRUE(ParseTraceArguments({"p.txt", "--help"}).help);
}

// Each mistake is named in the message, with the word that made it.
TEST(TraceArguments, RefuseMistakesNamingThem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"-s", "5"}, "unknown option -s"},
        {{"--help=yes"}, "unknown option --help"},
        {{"--steps"}, "--steps needs a number"},
        {{"--window", "-1"}, "--window takes a whole number from 0 to 1000, not '-1'"},
        {{"--every", "0"}, "--every takes a whole number of at least 1, not '0'"},
        {{"--steps", "12x"}, "--steps takes a whole number of at least 0, not '12x'"},
        {{"--steps", "9223372036854775808"}, "not '9223372036854775808'"},
        {{"a.txt", "b.txt"}, "one program file at a time, not both 'a.txt' and 'b.txt'"},
        {{"--", "a.txt", "--steps"}, "not both 'a.txt' and '--steps'"},
    };
    for (const auto& [arguments, message] : cases)
        EXPECT_NE(ParseTraceArguments(arguments).error.find(message), std::string::npos)
            << ::testing::PrintToString(arguments) << ": " << ParseTraceArguments(arguments).error;
}

// Every line against the reference taking the same single steps: the
// command, the head, every cell of the window ("_" where the reference's tape
// does not reach) and what ".", "," and "?" did.
void expectTraceFollowsTheReference(const std::string& text, std::vector<int32_t> input, int64_t radius) {
    TraceOptions options;
    options.window = radius;
    options.steps = 3000;
    const TraceRun run = traceOf(text, options, input);
    ASSERT_TRUE(run.trace.wellFormed) << text;
    ReferenceRun reference;
    for (const TracedCommand& traced : run.trace.commands) {
        ASSERT_EQ(traced.index, reference.pc) << text;
        const char command = text[static_cast<size_t>(reference.pc)];
        const size_t printed = reference.output.size();
        reference.run(text, input, 1);
        if (command == ',' && !input.empty()) input.erase(input.begin());
        ASSERT_EQ(traced.command, command);
        ASSERT_EQ(traced.head, reference.head) << text;
        std::string cells;
        for (int64_t p = reference.head - radius; p <= reference.head + radius; ++p) {
            const bool covered = p >= -reference.tapeOffset && p < reference.tapeSize;
            cells +=
                covered ? static_cast<char>('0' + reference.tape[static_cast<size_t>(p + reference.tapeOffset)]) : '_';
        }
        ASSERT_EQ(traced.cells(), cells) << text << " at " << traced.count;
        if (command == '.') {
            const int32_t byte = reference.output.size() > printed ? static_cast<uint8_t>(reference.output.back()) : 0;
            EXPECT_EQ(traced.effectNumber(), byte) << text;
        }
        if (command == '?') {
            EXPECT_EQ(traced.effectNumber(), reference.pc) << text;
        }
    }
    reference.run(text, input, 1);  // only marks the end when the program has none left
    EXPECT_EQ(run.end, reference.finished ? TraceEnd::kCompleted : TraceEnd::kStepLimit) << text;
}

TEST(TraceLines, ShowWhatTheReferenceDoesStepByStep) {
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        for (int i = 0; i < 120 + round * 3; ++i) text += "+++<<<.,?"[random() % 9];
        expectTraceFollowsTheReference(text, {'A', 'z', -1, 200, 7}, round % 5 == 0 ? 40 : round % 4);
    }
    // The head far left of the tape and back, with cells the tape has not reached on both sides.
    expectTraceFollowsTheReference(std::string(50, '<') + "+" + std::string(80, '+') + "<.", {}, 30);
}

TEST(TraceLines, ShowWhatEachKindOfCommandDid) {
    const std::vector<std::tuple<std::string, std::vector<int32_t>, std::string>> cases = {
        {".", {}, "print 0, nothing printed"},
        {",", {'B'}, "read 66 'B'"},
        {",", {}, "read -1, empty line or end of input"},
        {"+<?", {}, "jump to 129, past the end"},
    };
    for (const auto& [text, input, effect] : cases) {
        const TraceRun run = traceOf(text, {}, input);
        ASSERT_TRUE(run.trace.wellFormed) << text;
        const auto last = std::find_if(run.trace.commands.rbegin(), run.trace.commands.rend(),
                                       [](const TracedCommand& traced) { return !traced.effect.empty(); });
        ASSERT_NE(last, run.trace.commands.rend()) << text;
        EXPECT_EQ(last->effect, effect) << text;
    }
}

// The tape may reach 64 + 136 cells: 300 "<" never grow it, the "+" after
// them would at once; 64 "+" from the start cover cells 36 .. 99 of 100.
TEST(TraceEnds, ReportATapeThatWouldPassItsLimit) {
    const struct {
        std::string text;
        int64_t maxCells;
        int64_t commandsRun;
    } cases[] = {
        {std::string(300, '<') + "+", 200, 300},
        {std::string(70, '+'), 100, 64},
    };
    for (const auto& limit : cases) {
        const TraceRun run = traceOf(limit.text, {}, {}, limit.maxCells);
        EXPECT_EQ(run.end, TraceEnd::kTapeLimit);
        EXPECT_EQ(static_cast<int64_t>(run.trace.commands.size()), limit.commandsRun);
        EXPECT_EQ(run.trace.end, "stopped after " + std::to_string(limit.commandsRun) + " commands: command " +
                                     std::to_string(limit.commandsRun) + " would take the tape past " +
                                     std::to_string(limit.maxCells) + " cells");
    }
}

}  // namespace
