// bittrace and textprog as users run them: the examples traced, the options
// that pick lines, help, mistakes and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/bitrun_process.h"
#include "tests/tools/trace_test_support.h"

namespace {

const std::string kBittrace = OV_BITTRACE;
const std::string kTextprog = OV_TEXTPROG;
const std::string kExamples = OV_EXAMPLES;

ProcessResult bittrace(std::vector<std::string> args, const std::string& input = "") {
    return runProcess(std::move(args), input, kExamples, kBittrace);
}

ParsedTrace traceOf(std::vector<std::string> args, const std::string& input = "") {
    const ProcessResult run = bittrace(std::move(args), input);
    EXPECT_EQ(run.status, 0) << run.err;
    return parseTrace(run.out);
}

std::string commandsOf(const std::string& file) {
    std::string commands = readFile(kExamples + "/" + file);
    std::erase_if(commands, [](char c) { return std::string("+<.,?").find(c) == std::string::npos; });
    return commands;
}

// What "," stores for each line of the input, and -1 once it has ended.
int32_t codeOfLine(const std::string& input, size_t line) {
    std::istringstream lines(input);
    std::string text;
    for (size_t i = 0; i <= line; ++i)
        if (!std::getline(lines, text)) return -1;
    return text.empty() ? -1 : static_cast<uint8_t>(text[0]);
}

struct Example {
    std::string name;
    std::string input;
};

std::vector<Example> examplesWithInputs() {
    std::vector<Example> examples;
    for (const std::string name : {"hello", "echo", "jump"})
        examples.push_back({name, readFile(kExamples + "/" + name + ".in")});
    examples.push_back({"echo", "x\n\nyz\n"});
    examples.push_back({"echo", ""});
    return examples;
}

// The bytes shown printed are bitrun's output for the same input. Counts
// run 1, 2, 3 ...; each index is the one after the last, or the target of the
// jump before; the command is the program's at that index; the head moves
// right after "+", left after "<", and stays otherwise; "," shows the code of
// the next input line.
TEST(BittraceExamples, PrintWhatBitrunPrintsAndEachLineFollowsFromTheOneBefore) {
    for (const Example& example : examplesWithInputs()) {
        const std::string file = example.name + ".txt";
        const std::string commands = commandsOf(file);
        const ParsedTrace trace = traceOf({file}, example.input);
        ASSERT_TRUE(trace.wellFormed) << file;
        EXPECT_EQ(runProcess({file}, example.input, kExamples).out, normalRun(file, printedBytes(trace))) << file;
        int32_t index = 0;
        int32_t head = 36;
        size_t reads = 0;
        for (size_t i = 0; i < trace.commands.size(); ++i) {
            const TracedCommand& traced = trace.commands[i];
            ASSERT_EQ(traced.count, static_cast<int64_t>(i) + 1) << file;
            ASSERT_EQ(traced.index, index) << file << " line " << traced.count;
            ASSERT_EQ(traced.command, commands.at(static_cast<size_t>(index))) << file;
            head += traced.command == '+' ? 1 : traced.command == '<' ? -1 : 0;
            ASSERT_EQ(traced.head, head) << file << " line " << traced.count;
            if (traced.command == ',') {
                EXPECT_EQ(traced.effectNumber(), codeOfLine(example.input, reads++)) << file;
            }
            index = traced.command == '?' ? traced.effectNumber() : index + 1;
        }
        EXPECT_GE(static_cast<size_t>(index), commands.size()) << file << ": the trace ends before the program";
        EXPECT_EQ(trace.end, "completed after " + std::to_string(trace.commands.size()) + " commands") << file;
    }
}

// The lines are those of counts from, from + every, ... up to the step
// limit or the end; the last line says which of the two came first.
TEST(BittraceOptions, StepsFromAndEverySelectExactlyTheirLines) {
    const int64_t total = static_cast<int64_t>(traceOf({"hello.txt"}).commands.size());
    ASSERT_GT(total, 100);
    const struct {
        int64_t steps, from, every;
    } cases[] = {
        {10, 1, 1},    {total + 5, 1, 1}, {total, 1, 1},     {0, 1, 1},   {total, 50, 1},
        {total, 1, 7}, {100, 3, 10},      {total, total, 5}, {20, 30, 1}, {total, 1, total + 1},
    };
    for (const auto& c : cases) {
        const std::string shown =
            std::to_string(c.steps) + " " + std::to_string(c.from) + " " + std::to_string(c.every);
        const ParsedTrace trace = traceOf({"--steps", std::to_string(c.steps), "--from=" + std::to_string(c.from),
                                           "--every", std::to_string(c.every), "hello.txt"});
        ASSERT_TRUE(trace.wellFormed) << shown;
        const int64_t run = std::min(c.steps, total);
        std::vector<int64_t> expected, shownCounts;
        for (int64_t count = c.from; count <= run; count += c.every) expected.push_back(count);
        for (const TracedCommand& traced : trace.commands) shownCounts.push_back(traced.count);
        EXPECT_EQ(shownCounts, expected) << shown;
        const std::string ending = c.steps < total ? "stopped at the step limit after " : "completed after ";
        EXPECT_EQ(trace.end, ending + std::to_string(run) + " commands") << shown;
    }
}

TEST(BittraceOptions, TheWindowShowsTwiceItsWidthPlusOneCellsWithTheHeadMarked) {
    for (const int width : {0, 1, 8, 40}) {
        const ParsedTrace trace = traceOf({"--window", std::to_string(width), "echo.txt"}, "B\n");
        ASSERT_TRUE(trace.wellFormed) << width;
        for (const TracedCommand& traced : trace.commands) {
            EXPECT_EQ(traced.cells().size(), static_cast<size_t>(2 * width + 1)) << traced.window;
            EXPECT_EQ(std::count(traced.window.begin(), traced.window.end(), '['), 1) << traced.window;
            EXPECT_EQ(traced.window.find('['), static_cast<size_t>(width)) << traced.window;
            EXPECT_EQ(traced.window.find(']'), static_cast<size_t>(width) + 2) << traced.window;
        }
    }
}

TEST(BittraceCommandLine, HelpGoesToStandardOutputWithStatusZero) {
    const ProcessResult run = bittrace({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: bittrace", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(BittraceCommandLine, MistakesAreNamedOnStandardErrorWithStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus", "hello.txt"}, "--bogus"},
        {{"--window", "wide", "hello.txt"}, "'wide'"},
        {{"hello.txt", "jump.txt"}, "jump.txt"},
    };
    for (const auto& [args, named] : cases) {
        const ProcessResult run = bittrace(args);
        EXPECT_EQ(run.status, 2) << named;
        EXPECT_EQ(run.out, "") << named;
        EXPECT_EQ(run.err.rfind("bittrace: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("bittrace --help"), std::string::npos) << run.err;
    }
}

TEST(BittraceCommandLine, AMissingProgramFileIsAnErrorWithStatusOne) {
    const ProcessResult run = bittrace({"no-such-program.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no-such-program.txt"), std::string::npos) << run.err;
}

ProcessResult textprog(std::vector<std::string> args, const std::string& input = "") {
    return runProcess(std::move(args), input, "", kTextprog);
}

TEST(TextprogCommandLine, HelpAndUnknownOptions) {
    const ProcessResult help = textprog({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: textprog", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    const ProcessResult unknown = textprog({"Good", "--loud"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("--loud"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("textprog --help"), std::string::npos) << unknown.err;
}

// Words are text unless they start with "--" before a "--": the program from
// the arguments is the one made from the same text on standard input.
TEST(TextprogCommandLine, PlainWordsAndWordsAfterTheEndOfOptionsAreText) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"Good", "morning"}, "Good morning"},
        {{"--", "--loud"}, "--loud"},
        {{"say", "--", "--help", "--"}, "say --help --"},
    };
    for (const auto& [args, text] : cases) {
        const ProcessResult fromArguments = textprog(args);
        EXPECT_EQ(fromArguments.status, 0) << text;
        EXPECT_EQ(fromArguments.out, textprog({}, text).out) << text;
    }
}

}  // namespace
