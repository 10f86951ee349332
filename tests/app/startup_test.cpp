#include "runtime/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <thread>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/process.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tests/support/system_test_support.h"
#include "tests/support/text_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

std::u16string widen(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

String* textOf(const char* text) { return ovStringFromCString(text); }

TEST(AppDirectory, FollowsTheLastSeparatorRule) {
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("C:/x.exe"))), u"C:/");
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("C:/tools/x.exe"))), u"C:/tools");
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("x.exe"))), u"");
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("/bitrun"))), u"");
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("/usr/local/bin/bitrun"))), u"/usr/local/bin");
    EXPECT_EQ(ovTestUnits(ovAppDirectoryOf(textOf("a/b/"))), u"a/b");
}

std::string executablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string workingDirectory() {
    char buffer[PATH_MAX + 1];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// Runs start-up as the process's entry would, from a working directory
// whose name holds a backslash, and keeps the test's own stack base.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(chdir(root_.dir("in\\side").c_str()), 0); }
    void startUp(std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        void* base = ovGCStackBase();
        ovSetPlatformTextDecoder(ovStringFromPlatform);
        ovStartup(static_cast<int>(argv.size()), argv.data());
        ovGCSetStackBaseAt(base);
    }
    ovTestTempDir root_;
};

TEST_F(StartupTest, RecordsDirectoriesPathAndTitleAndMovesToTheExecutablesDirectory) {
    startUp({"prog"});
    const std::string exe = executablePath();
    const std::string directory = exe.substr(0, exe.rfind('/'));
    EXPECT_EQ(ovTestUnits(ovStartDirectory), widen(root_ / "in/side"));
    EXPECT_EQ(ovTestUnits(ovAppPath), widen(exe));
    EXPECT_EQ(ovTestUnits(ovAppDirectory), widen(directory));
    EXPECT_EQ(workingDirectory(), directory);
    EXPECT_EQ(ovTestUnits(ovAppTitle), u"Orvane Application");
    EXPECT_EQ(ovUseWideApi, 1);
}

TEST_F(StartupTest, DecodesArgumentsAsUtf8KeepingInvalidBytes) {
    startUp({"./bitrun", "caf\xC3\xA9.bit", "", "\xFF"});
    ASSERT_EQ(ovAppArguments->count(), 4);
    String** elements = ovAppArguments->elements<String*>();
    EXPECT_EQ(ovTestUnits(elements[0]), u"./bitrun");
    EXPECT_EQ(ovTestUnits(elements[1]), u"caf\u00E9.bit");
    EXPECT_EQ(elements[2]->length, 0);
    EXPECT_EQ(ovTestUnits(elements[3]), u"\xDCFF");
}

TEST_F(StartupTest, KnowsItsMainThread) {
    startUp({"prog"});
    EXPECT_EQ(ovMainThreadId, static_cast<int32_t>(gettid()));
    EXPECT_EQ(ovIsMainThread(), 1);
    int32_t onOther = -1;
    std::thread other([&] { onOther = ovIsMainThread(); });
    other.join();
    EXPECT_EQ(onOther, 0);
}

// Standard input replaced by a file of the given bytes.
void feedStdin(const std::string& bytes) {
    const ovTestTempDir dir;
    ASSERT_NE(std::freopen(dir.file("stdin", bytes).c_str(), "rb", stdin), nullptr);
}

TEST(ReadStdin, DropsTheLineEndAndOneWhiteSpaceBeforeIt) {
    feedStdin("abc \nabc\r\n\nab\t \n\xE9\xA0\n");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"abc");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"abc");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"ab\t");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"\u00E9\u00A0");
}

TEST(ReadStdin, GathersLongLinesChunkByChunk) {
    const std::string long300(300, 'x');
    const std::string exact255(255, 'y');
    // A chunk that fills the buffer has no line feed in it, so its last
    // byte is kept even when it is white space.
    const std::string spaceAtChunkEnd = std::string(254, 'z') + " ";
    feedStdin(long300 + "\n" + exact255 + "\n" + spaceAtChunkEnd + "\n" + std::string(253, 'w') + " \n");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), widen(long300));
    EXPECT_EQ(ovTestUnits(ovReadStdin()), widen(exact255));
    EXPECT_EQ(ovTestUnits(ovReadStdin()), widen(spaceAtChunkEnd));
    EXPECT_EQ(ovTestUnits(ovReadStdin()), widen(std::string(253, 'w')));
}

TEST(ReadStdin, GivesWhatItHasAtEndOfInput) {
    feedStdin("last");
    EXPECT_EQ(ovTestUnits(ovReadStdin()), u"last");
    EXPECT_EQ(ovReadStdin()->length, 0);
    EXPECT_EQ(ovReadStdin()->length, 0);
}

std::string captured(FILE* stream, const char* path) {
    std::fflush(stream);
    FILE* f = std::fopen(path, "rb");
    std::string bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(f);
    return bytes;
}

TEST(WriteConsole, WritesLowBytesUpToTheFirstZeroUnit) {
    const ovTestTempDir dir;
    const std::string out = dir / "stdout";
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_NE(std::freopen(out.c_str(), "wb", stdout), nullptr);
    const uint16_t units[] = {'a', 0x00E9, 0x0142, 0, 'z'};
    ovWriteStdout(ovStringFromShorts(units, 5));
    ovWriteStdout(ovLiteral(u"!"));
    const std::string written = captured(stdout, out.c_str());
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(written, "a\xE9\x42!");
}

// A negative time returns at once: read as unsigned it would be weeks, and
// the test would never end.
TEST(Process, DelayWaitsOnlyForNonNegativeTimes) {
    EXPECT_EQ(ovDelay(-5), 0);
    EXPECT_EQ(ovDelay(INT32_MIN), 0);
    const int32_t before = ovMillisecs();
    ovDelay(30);
    EXPECT_GE(ovMillisecs() - before, 30);
}

TEST(Process, CAssertRaisesItsText) {
    EXPECT_EQ(ovTestThrownText([] { ovCAssertFailed(); }), u"C Assert failed");
}

TEST(ProcessDeathTest, EndsWithTheGivenStatusFlushingStreams) {
    EXPECT_EXIT(
        {
            std::fputs("pending", stderr);
            ovEndWithStatus(3);
        },
        ::testing::ExitedWithCode(3), "pending");
    EXPECT_EXIT(ovEnd(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
