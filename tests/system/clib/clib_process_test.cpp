// Command lines and child processes, the console, the environment, calendar
// time and the module initialiser of the C-library layer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/process.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tests/support/system_test_support.h"

namespace {

using Words = std::vector<std::string>;

TEST(CommandLine, SplitsAsAWindowsProgramDoes) {
    EXPECT_EQ(ovSplitCommandLine("prog a  b\tc"), (Words{"prog", "a", "b", "c"}));
    EXPECT_EQ(ovSplitCommandLine("  \"C:\\Program Files\\x.exe\" \"one two\" three"),
              (Words{"C:\\Program Files\\x.exe", "one two", "three"}));
    EXPECT_EQ(ovSplitCommandLine("p a\\\\b \\\"q\\\" x\\\\\"y z\""), (Words{"p", "a\\\\b", "\"q\"", "x\\y z"}));
    EXPECT_EQ(ovSplitCommandLine("p a\\\\\\\"b"), (Words{"p", "a\\\"b"}));
    EXPECT_EQ(ovSplitCommandLine("p \"a\"\"b\" \"\""), (Words{"p", "a\"b", ""}));
    EXPECT_EQ(ovSplitCommandLine("p ab\"c d\"e"), (Words{"p", "abc de"}));
    EXPECT_EQ(ovSplitCommandLine("dir\\\\\"x y\"\\\\ z"), (Words{"dir\\\\x y\\\\", "z"}));
    EXPECT_EQ(ovSplitCommandLine(""), (Words{""}));
}

TEST(RunCommand, GivesTheExitStatusOrTheStartError) {
    EXPECT_EQ(ovRunCommand(ovLiteral(u"sh -c \"exit 3\"")), 3);
    EXPECT_EQ(ovRunCommand(ovLiteral(u"true")), 0);
    EXPECT_EQ(ovRunCommand(ovLiteral(u"sh -c \"kill -9 $$\"")), 128 + 9);
    EXPECT_EQ(ovRunCommand(ovLiteral(u"ov-no-such-program-here arg")), 2);
    EXPECT_EQ(ovRunCommand(&ovEmptyString), 2);
}

TEST(RunCommand, PassesArgumentsThroughUnchanged) {
    ovTestTempDir dir;
    const std::string out = dir / "out";
    String* line = ovTestString(u"sh -c \"printf '%s|' \\\"$@\\\" > " + ovTestUnits(ovTestAscii(out)) +
                                u"\" sh \"a b\" caf\u00e9 \"\"");
    ovUseWideApi = 1;
    ASSERT_EQ(ovRunCommand(line), 0);
    EXPECT_EQ(ovTestReadFile(out), "a b|caf\xc3\xa9||");
}

// Standard input comes from a file for these tests (each runs in its own
// process).
void feedStandardInput(const ovTestTempDir& dir, const std::string& bytes) {
    ovTestWriteFile(dir / "stdin", bytes);
    ASSERT_NE(std::freopen((dir / "stdin").c_str(), "rb", stdin), nullptr);
}

TEST(ConsoleGetChar, WideDecodesUtf8AndEscapesBrokenBytes) {
    ovTestTempDir dir;
    feedStandardInput(dir, "a\xc3\xa9\xf0\x9f\x98\x80\xe2\x82" "A\xff");
    ovUseWideApi = 1;
    const std::vector<int32_t> expected = {'a', 0xE9, 0xD83D, 0xDE00, 0xDCE2, 0xDC82, 'A', 0xDCFF, 65535, 65535};
    for (int32_t unit : expected) EXPECT_EQ(ovConsoleGetChar(), unit);
}

TEST(ConsoleGetChar, NarrowGivesBytesThenMinusOne) {
    ovTestTempDir dir;
    feedStandardInput(dir, "\x01\xc3\xff");
    ovUseWideApi = 0;
    for (int32_t byte : {0x01, 0xC3, 0xFF, -1, -1}) EXPECT_EQ(ovConsoleGetChar(), byte);
}

TEST(ConsolePutLine, WritesTheTextAndALineFeed) {
    ovTestTempDir dir;
    // Standard output goes to a file for the call and comes back afterwards.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int file = open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(dup2(file, STDOUT_FILENO), 0);
    ovUseWideApi = 1;
    const int32_t result = ovConsolePutLine(ovTestString(u"caf\u00e9"));
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(file);
    EXPECT_GE(result, 0);
    EXPECT_EQ(ovTestReadFile(dir / "stdout"), "caf\xc3\xa9\n");
}

TEST(Environment, PutSetsAndRemovesGetReadsBack) {
    ovUseWideApi = 1;
    EXPECT_EQ(ovEnvPut(ovTestString(u"OV_TEST_VAR=x=\u00e9")), 0);
    EXPECT_EQ(ovTestUnits(ovEnvGet(ovLiteral(u"OV_TEST_VAR"))), u"x=\u00e9");
    EXPECT_STREQ(std::getenv("OV_TEST_VAR"), "x=\xc3\xa9");
    EXPECT_EQ(ovEnvPut(ovLiteral(u"OV_TEST_VAR=")), 0);
    EXPECT_EQ(std::getenv("OV_TEST_VAR"), nullptr);
    EXPECT_EQ(ovEnvGet(ovLiteral(u"OV_TEST_VAR"))->length, 0);
    EXPECT_EQ(ovEnvPut(ovLiteral(u"OV_TEST_VAR")), -1);
    EXPECT_EQ(ovEnvPut(ovLiteral(u"=value")), -1);
}

TEST(CalendarTime, NowLocalTimeAndFormatting) {
    time_t stored = 0;
    const time_t before = std::time(nullptr);
    const time_t now = ovTimeNow(&stored);
    const time_t after = std::time(nullptr);
    EXPECT_EQ(now, stored);
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    EXPECT_EQ(ovLocalTime(nullptr), nullptr);
    ASSERT_NE(ovLocalTime(&now), nullptr);

    struct tm date = {};
    date.tm_year = 2024 - 1900;
    date.tm_mon = 1;
    date.tm_mday = 29;
    char buffer[32];
    EXPECT_EQ(ovFormatTime(buffer, sizeof buffer, ovLiteral(u"%Y-%m-%d"), &date), 10);
    EXPECT_STREQ(buffer, "2024-02-29");
    EXPECT_EQ(ovFormatTime(buffer, 5, ovLiteral(u"%Y-%m-%d"), &date), 0);
    EXPECT_EQ(ovFormatTime(buffer, sizeof buffer, ovLiteral(u"%Y"), nullptr), 0);
    EXPECT_EQ(ovFormatTime(nullptr, 10, ovLiteral(u"%Y"), &date), 0);
}

TEST(StdCModule, InitialiserPublishesTheStandardStreamsOnce) {
    ovStdCModuleInit();
    EXPECT_EQ(ovStdin, stdin);
    EXPECT_EQ(ovStdout, stdout);
    EXPECT_EQ(ovStderr, stderr);
    ovStdout = nullptr;
    ovStdCModuleInit();
    EXPECT_EQ(ovStdout, nullptr);
    ovStdout = stdout;
}

}  // namespace
