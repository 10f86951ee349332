// bitrun as users run it: files, arguments, pipes, exit statuses.
#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include "bitrun_process.h"
#include "interpreter_test_support.h"
#include "tests/net/net_test_support.h"
#include "tools/textprog.h"

namespace {

int64_t commandsIn(const std::string& text) {
    return std::count_if(text.begin(), text.end(), [](char c) { return std::string("+<?,.").find(c) != std::string::npos; });
}

// A program that prints the text, then a byte v, and then jumps to itself
// for ever: the jump sits at index v + 1 and reads v ("+<+<" changes nothing).
std::string printThenLoop(const std::string& text, std::string* printed) {
    for (int v = 1; v < 256; ++v) {
        const std::string body = ProgramPrinting(text + static_cast<char>(v));
        const int64_t pad = v + 1 - commandsIn(body);
        if (pad < 0 || pad % 4 != 0) continue;
        *printed = text + static_cast<char>(v);
        std::string program = body;
        for (int64_t i = 0; i < pad / 4; ++i) program += "+<+<";
        return program + "?";
    }
    return "";
}

// Waits until the process has spent the given processor time (user and
// system) from now on, which a timer on its processor clock reports through a
// pipe; false when it ends first or has not got there within a minute.
bool waitForProcessorTime(pid_t pid, std::chrono::milliseconds spent) {
    clockid_t processorClock;
    int fired[2];
    if (clock_getcpuclockid(pid, &processorClock) != 0 || pipe(fired) != 0) return false;
    sigevent onExpiry{};
    onExpiry.sigev_notify = SIGEV_THREAD;
    onExpiry.sigev_value.sival_int = fired[1];
    onExpiry.sigev_notify_function = [](sigval pipeEnd) { (void)!write(pipeEnd.sival_int, "", 1); };
    itimerspec when{};
    when.it_value = {static_cast<time_t>(spent.count() / 1000), static_cast<long>(spent.count() % 1000 * 1000000)};
    timer_t timer;
    bool reached = false;
    if (timer_create(processorClock, &onExpiry, &timer) == 0) {
        const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        pollfd events[2] = {{fired[0], POLLIN, 0}, {ended, POLLIN, 0}};
        reached = timer_settime(timer, 0, &when, nullptr) == 0 && poll(events, 2, 60000) > 0 &&
                  (events[0].revents & POLLIN) != 0;
        timer_delete(timer);
        close(ended);
    }
    close(fired[0]);
    close(fired[1]);
    return reached;
}

TEST(BitrunFiles, RunsTheNamedFileAndFramesItsOutput) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("hello.txt", ProgramPrinting("Hello, world!\n"));
    const ProcessResult run = runProcess({program}, "\n");
    EXPECT_EQ(run.out, normalRun(program, "Hello, world!\n"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST(BitrunFiles, OnlyTheFirstArgumentCounts) {
    ovTestTempDir scratch;
    const std::string first = scratch.file("first.txt", ProgramPrinting("1"));
    const std::string second = scratch.file("second.txt", ProgramPrinting("2"));
    const ProcessResult run = runProcess({first, second, "third"});
    EXPECT_EQ(run.out, normalRun(first, "1"));
}

TEST(BitrunFiles, WithoutArgumentsRunsCodeTxtBesideTheExecutableFromAnywhere) {
    ovTestTempDir scratch;
    const std::string exe = bitrunCopyIn(scratch, "install");
    scratch.file("install/code.txt", ProgramPrinting("from beside"));
    const std::string elsewhere = scratch.dir("elsewhere");
    scratch.file("elsewhere/code.txt", ProgramPrinting("from the start directory"));
    const ProcessResult run = runProcess({}, "", elsewhere, exe);
    EXPECT_EQ(run.out, normalRun("code.txt", "from beside"));
    EXPECT_EQ(run.status, 0);
}

TEST(BitrunFiles, TheBuiltDefaultProgramGreetsTheUser) {
    ovTestTempDir scratch;
    const ProcessResult run = runProcess({}, "\n", scratch.path());
    EXPECT_EQ(run.out.rfind("Executing code.txt\r\n\r\nHello from bitrun!", 0), 0u) << run.out;
    EXPECT_EQ(run.status, 0);
}

TEST(BitrunFiles, ARelativeNameMissingBesideTheExecutableIsTakenFromTheStartDirectory) {
    ovTestTempDir scratch;
    const std::string exe = bitrunCopyIn(scratch, "install");
    const std::string work = scratch.dir("work");
    scratch.dir("work/sub");
    scratch.file("work/sub/prog.txt", ProgramPrinting("found"));
    EXPECT_EQ(runProcess({"sub/prog.txt"}, "", work, exe).out, normalRun("sub/prog.txt", "found"));
    // A backslash separates too, and the banner keeps the name as given.
    EXPECT_EQ(runProcess({"sub\\prog.txt"}, "", work, exe).out, normalRun("sub\\prog.txt", "found"));
}

TEST(BitrunFiles, NamesAreUtf8AndOddBytesSurvive) {
    ovTestTempDir scratch;
    scratch.file("caf\xC3\xA9.txt", ProgramPrinting("accent"));
    scratch.file("raw\xFF.txt", ProgramPrinting("raw byte"));
    EXPECT_EQ(runProcess({"caf\xC3\xA9.txt"}, "", scratch.path()).out, normalRun("caf\xC3\xA9.txt", "accent"));
    // A byte that is not UTF-8 still names its file; the banner, being
    // UTF-8 text, shows it as the three-byte form of its escape unit U+DCFF.
    EXPECT_EQ(runProcess({"raw\xFF.txt"}, "", scratch.path()).out, normalRun("raw\xED\xB3\xBF.txt", "raw byte"));
}

TEST(BitrunFiles, AMissingFileIsReportedWithStatusOneAndNoRun) {
    ovTestTempDir scratch;
    const ProcessResult run = runProcess({"x.txt"}, "\n", scratch.path());
    EXPECT_EQ(run.out, "Could not load x.txt\r\n>");
    EXPECT_EQ(run.status, 1);
    const ProcessResult directory = runProcess({scratch.path()}, "", scratch.path());
    EXPECT_EQ(directory.out, "Could not load " + scratch.path() + "\r\n>");
    EXPECT_EQ(directory.err, "");
    EXPECT_EQ(directory.status, 1);
    // An empty argument is a name like any other.
    EXPECT_EQ(runProcess({""}, "", scratch.path()).out, "Could not load \r\n>");
}

TEST(BitrunFiles, EmptyAndCommandlessFilesRunNothing) {
    ovTestTempDir scratch;
    for (const std::string& bytes : {std::string(), std::string("no commands here\r\nat all\n"), std::string("\0\0", 2)}) {
        const std::string program = scratch.file("empty.txt", bytes);
        const ProcessResult run = runProcess({program}, "\n");
        EXPECT_EQ(run.out, normalRun(program, ""));
        EXPECT_EQ(run.status, 0);
    }
}

TEST(BitrunFiles, CarriageReturnsNulsAndOtherTextAreSkipped) {
    ovTestTempDir scratch;
    std::string program = ProgramPrinting("Mixed lines\n", 10);
    std::string noisy;
    for (const char c : program) noisy += c == '\n' ? std::string("\r\n# comment\0x", 13) : std::string(1, c) + "a";
    const std::string file = scratch.file("noisy.txt", noisy);
    EXPECT_EQ(runProcess({file}).out, normalRun(file, "Mixed lines\n"));
}

TEST(BitrunFiles, AProgramFromAPipeIsReadWhole) {
    ovTestTempDir scratch;
    const std::string text(3000, 'p');
    const std::string program = ProgramPrinting(text);
    const std::string fifo = scratch.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << program; });
    const ProcessResult run = runProcess({fifo});
    writer.join();
    EXPECT_EQ(run.out, normalRun(fifo, text));
}

// Each wait for data has its own bound, so a program that keeps coming,
// however slowly, loads whole.
TEST(BitrunFiles, AProgramFromASlowButSteadyServerLoadsWhole) {
    const std::string text = "over the network\n";
    const std::string program = ProgramPrinting(text);
    LoopbackServer server([&program](int connection) {
        ovTestReceiveRequest(connection);
        ovTestSendAll(connection, "HTTP/1.0 200 OK\r\n\r\n");
        constexpr size_t kPieces = 10;
        const size_t piece = program.size() / kPieces + 1;
        for (size_t at = 0; at < program.size(); at += piece) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ovTestSendAll(connection, program.substr(at, piece));
        }
    });
    const std::string name = "http::127.0.0.1:" + std::to_string(server.port()) + "/prog.txt";
    EXPECT_EQ(runProcess({name}).out, normalRun(name, text));
}

// A pipe's end shows only when a read comes back empty, through a text
// protocol too.
TEST(BitrunFiles, AProgramFromAFifoRunsThroughEveryTextProtocol) {
    ovTestTempDir scratch;
    const std::string program = ProgramPrinting("piped\n");
    const std::string fifo = scratch.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& protocol : kTextProtocols) {
        std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << encodedFor(protocol, program); });
        const std::string name = protocol + "::" + fifo;
        const ProcessResult run = runProcess({name});
        writer.join();
        EXPECT_EQ(run.out, normalRun(name, "piped\n")) << protocol;
        EXPECT_EQ(run.err, "") << protocol;
        EXPECT_EQ(run.status, 0) << protocol;
    }
}

TEST(BitrunCommands, ReadStoresBitsThatPrintComesBackMirrored) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("echo.txt", ",.,.,.");
    const ProcessResult run = runProcess({program}, "A\n\nB\n");
    // "A" (01000001) mirrored is 130; an empty line stores eight ones.
    EXPECT_EQ(run.out, normalRun(program, "\x82\xFF" "B"));
    EXPECT_EQ(run.status, 0);
}

TEST(BitrunCommands, EndOfInputReadsAsEightOnesAndTheRunEndsNormally) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("read.txt", ",.");
    const ProcessResult run = runProcess({program}, "");
    EXPECT_EQ(run.out, normalRun(program, "\xFF"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST(BitrunCommands, PrintOfZeroCellsAndAJumpOnThemWriteNothing) {
    ovTestTempDir scratch;
    // The jump reads 0 and resumes at index 1, the print: nothing either way.
    const std::string program = scratch.file("zero.txt", "?.");
    EXPECT_EQ(runProcess({program}).out, normalRun(program, ""));
}

// Output waiting in the buffer goes out before the program reads input, so
// a user sees a question before answering it.
TEST(BitrunOutput, IsWrittenBeforeEachRead) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("ask.txt", ProgramPrinting("?") + ",.");
    const ProcessResult run = runProcess({program}, "", "", kBitrun, [](const std::string& out) {
        return out.find("\r\n\r\n?") != std::string::npos ? std::string("B\n") : std::string();
    });
    EXPECT_EQ(run.out, normalRun(program, "?B"));
}

TEST(BitrunOutput, LargeOutputThroughAPipeIsComplete) {
    ovTestTempDir scratch;
    std::string text;
    for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 26);
    const std::string program = scratch.file("big.txt", ProgramPrinting(text));
    const ProcessResult run = runProcess({program});
    EXPECT_EQ(run.out, normalRun(program, text));
}

TEST(BitrunOutput, IsWrittenOutWhenTheProcessIsEndedBySignal) {
    ovTestTempDir scratch;
    std::string printed;
    const std::string program = scratch.file("loop.txt", printThenLoop("still here", &printed));
    ASSERT_FALSE(printed.empty());
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
            execIn("", kBitrun, {program});
        }
        close(in[0]);
        close(out[1]);
        std::string seen;
        char buffer[4096];
        // The banner comes first, flushed; the program's bytes stay buffered
        // while it loops.
        while (seen.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            seen.append(buffer, static_cast<size_t>(n));
        }
        // The prints come first in the program; once it has spent processor
        // time in the loop after the banner, its bytes are in the buffer.
        const bool looping = waitForProcessorTime(child, std::chrono::milliseconds(20));
        kill(child, signo);
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(n));
        int waitStatus = 0;
        waitpid(child, &waitStatus, 0);
        close(in[1]);
        close(out[0]);
        EXPECT_TRUE(looping) << signo;
        EXPECT_EQ(seen, "Executing " + program + "\r\n\r\n" + printed) << signo;
        EXPECT_EQ(statusOf(waitStatus), 128 + signo);
    }
}

// Runs bitrun on the program with nothing on standard input and standard
// output on outFd (closed when -1), SIGPIPE ignored or at its default;
// gathers standard error.
ProcessResult runWithStandardOutput(const std::string& program, int outFd, bool ignoreSigpipe) {
    int err[2];
    if (pipe(err) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, 0);
        dup2(err[1], 2);
        if (outFd >= 0) dup2(outFd, 1); else close(1);
        for (const int fd : {nothing, err[0], err[1], outFd})
            if (fd > 2) close(fd);
        signal(SIGPIPE, ignoreSigpipe ? SIG_IGN : SIG_DFL);
        std::vector<std::string> args{program};
        std::vector<char*> argv = argvOf(kBitrun, args);
        execv(kBitrun.c_str(), argv.data());
        _exit(120);
    }
    close(err[1]);
    ProcessResult result;
    char buffer[4096];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) result.err.append(buffer, static_cast<size_t>(n));
    close(err[0]);
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    result.status = statusOf(waitStatus);
    return result;
}

// The write end of a pipe whose reader has gone.
int pipeWithoutReader() {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    close(ends[0]);
    return ends[1];
}

// Banners and program output that never reached standard output make the
// run a failure, the missing file's message too.
TEST(BitrunOutput, LostStandardOutputIsReportedWithStatusOne) {
    ovTestTempDir scratch;
    const std::string hello = scratch.file("hello.txt", ProgramPrinting("Hello\n"));
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const int broken = pipeWithoutReader();
    ASSERT_GE(broken, 0);
    const struct {
        const char* what;
        int fd;
        int error;
    } cases[] = {{"a full disk", full, ENOSPC}, {"a closed descriptor", -1, EBADF}, {"a reader gone", broken, EPIPE}};
    for (const auto& c : cases) {
        const std::string message = std::string("bitrun: cannot write standard output: ") + std::strerror(c.error) + "\n";
        for (const std::string& program : {hello, scratch.path() + "/missing.txt"}) {
            const ProcessResult run = runWithStandardOutput(program, c.fd, true);
            EXPECT_EQ(run.err, message) << c.what << " " << program;
            EXPECT_EQ(run.status, 1) << c.what << " " << program;
        }
    }
    close(full);
    close(broken);
}

// With SIGPIPE at its default a reader that goes away ends the process by
// the signal, as it ends any Unix program writing to it.
TEST(BitrunOutput, AReaderThatGoesAwayEndsTheRunBySigpipe) {
    ovTestTempDir scratch;
    const std::string hello = scratch.file("hello.txt", ProgramPrinting("Hello\n"));
    const int broken = pipeWithoutReader();
    ASSERT_GE(broken, 0);
    const ProcessResult run = runWithStandardOutput(hello, broken, false);
    close(broken);
    EXPECT_EQ(run.status, 128 + SIGPIPE);
    EXPECT_EQ(run.err, "");
}

TEST(BitrunGenerator, ProgramsPrintEveryByteTheyWereMadeFor) {
    ovTestTempDir scratch;
    std::string text;
    for (int c = 255; c >= 1; --c) text += static_cast<char>(c);
    text += text.substr(0, 40) + "aaaa";
    const std::string program = scratch.file("all.txt", ProgramPrinting(text));
    EXPECT_EQ(runProcess({program}).out, normalRun(program, text));
}

// The programs under examples/ with their input and expected output.
TEST(BitrunExamples, ProduceTheirExpectedOutput) {
    for (const std::string name : {"hello", "echo", "jump"}) {
        const std::string base = std::string(OV_EXAMPLES) + "/" + name;
        const ProcessResult run = runProcess({name + ".txt"}, readFile(base + ".in"), OV_EXAMPLES);
        EXPECT_EQ(run.out, readFile(base + ".out")) << name;
        EXPECT_EQ(run.status, 0) << name;
    }
}

}  // namespace
