// TCStandardIO, ConsoleStream, PrintLine and InputLine at the byte level.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/stdio.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

// Points the layer's standard streams at temporary files for one test.
class StandardIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovStdioModuleInit();
        savedIn_ = ovStdin;
        savedOut_ = ovStdout;
        ovStdin = in_ = std::tmpfile();
        ovStdout = out_ = std::tmpfile();
        ASSERT_NE(in_, nullptr);
        ASSERT_NE(out_, nullptr);
    }
    void TearDown() override {
        ovStdin = savedIn_;
        ovStdout = savedOut_;
        std::fclose(in_);
        std::fclose(out_);
    }

    void typeInput(const std::string& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), in_);
        std::rewind(in_);
    }

    // Everything written to standard output so far.
    std::string output() {
        std::fflush(out_);
        std::string bytes;
        std::rewind(out_);
        for (int c = std::fgetc(out_); c != EOF; c = std::fgetc(out_)) bytes.push_back(static_cast<char>(c));
        return bytes;
    }

private:
    std::FILE* savedIn_ = nullptr;
    std::FILE* savedOut_ = nullptr;
    std::FILE* in_ = nullptr;
    std::FILE* out_ = nullptr;
};

using StandardIOStream = StandardIOTest;
using PrintLineOutput = StandardIOTest;
using InputLineInput = StandardIOTest;

TEST_F(StandardIOStream, HasNoPositionNeverEndsAndNeverCloses) {
    auto* io = ovNew<TCStandardIO>(&TCStandardIOType);
    EXPECT_EQ(io->Pos(), -1);
    EXPECT_EQ(io->Size(), 0);
    EXPECT_EQ(io->Eof(), 0);
    EXPECT_EQ(io->Seek(0), -1);
    EXPECT_EQ(io->Close(), 0);
    EXPECT_EQ(io->Write(reinterpret_cast<const uint8_t*>("ok"), 2), 2);
    EXPECT_EQ(output(), "ok");
    uint8_t byte;
    EXPECT_EQ(io->Read(&byte, 1), 0);
    EXPECT_EQ(io->Eof(), 0);
}

TEST_F(StandardIOStream, TheConsoleIsAUtf8TextStreamOverStandardIO) {
    ASSERT_TRUE(ovIsInstance(ConsoleStream, &TTextStreamType));
    EXPECT_EQ(ConsoleStream->_encoding, TTextStream::UTF8);
    EXPECT_TRUE(ovIsInstance(ConsoleStream->_stream, &TCStandardIOType));
    TTextStream* before = ConsoleStream;
    ovStdioModuleInit();
    EXPECT_EQ(ConsoleStream, before);
}

TEST_F(PrintLineOutput, WritesUtf8AndCarriageReturnLineFeed) {
    EXPECT_EQ(PrintLine(&ovEmptyString), 0);
    EXPECT_EQ(output(), "\r\n");
    PrintLine(ovLiteral(u"caf\u00e9 \u20ac"));
    EXPECT_EQ(output(), "\r\ncaf\xc3\xa9 \xe2\x82\xac\r\n");
}

TEST_F(PrintLineOutput, FlushesSoTheLineIsVisibleAtOnce) {
    PrintLine(ovLiteral(u"now"));
    // Read through a separate handle, which sees only what was flushed.
    std::FILE* other = std::fopen(("/proc/self/fd/" + std::to_string(fileno(ovStdout))).c_str(), "rb");
    ASSERT_NE(other, nullptr);
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, other), 5u);
    EXPECT_EQ(std::string(buf), "now\r\n");
    std::fclose(other);
}

TEST_F(InputLineInput, ShowsThePromptAndReturnsTheLineWithoutItsEnd) {
    typeInput("first line\r\n\xc3\xa9t\xc3\xa9\n");
    EXPECT_EQ(ovTestText(InputLine(ovLiteral(u">"))), "first line");
    EXPECT_EQ(output(), ">");
    String* second = InputLine(ovLiteral(u"? "));
    ASSERT_EQ(second->length, 3);
    EXPECT_EQ(second->units()[0], 0xE9);
    EXPECT_EQ(output(), ">? ");
}

TEST_F(InputLineInput, TheEndOfInputThrowsReadError) {
    Object* thrown = ovTestThrown([] { InputLine(ovLiteral(u">")); });
    EXPECT_TRUE(ovIsInstance(thrown, &TStreamReadExceptionType));
    EXPECT_EQ(output(), ">");
}

// The real standard streams, redirected in a child process: the console
// reads the process's stdin and writes its stdout.
TEST(StandardIOProcess, TheConsoleUsesTheProcesssStandardStreams) {
    ovTestTempDir dir;
    const std::string in = dir / "in.txt";
    const std::string out = dir / "out.txt";
    ovTestWriteFile(in, "typed\r\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!std::freopen(in.c_str(), "rb", stdin) || !std::freopen(out.c_str(), "wb", stdout)) _exit(2);
        ovStdioModuleInit();
        PrintLine(InputLine(ovLiteral(u"> ")));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ovTestReadFile(out), "> typed\r\n");
}

}  // namespace
