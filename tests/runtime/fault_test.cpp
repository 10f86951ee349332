#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/exception.h"
#include "runtime/fault.h"
#include "tests/runtime/fault_support.h"

namespace {

void writeStderr(const char* text) { (void)!write(STDERR_FILENO, text, strlen(text)); }

TEST(FaultNames, FollowTheSignalAndItsCode) {
    const struct {
        int signo, code;
        bool inStackGuard;
        const char* name;
    } cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, "EXCEPTION_ACCESS_VIOLATION"},
        {SIGSEGV, SEGV_MAPERR, true, "EXCEPTION_STACK_OVERFLOW"},
        {SIGFPE, FPE_INTDIV, false, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {SIGFPE, FPE_INTOVF, false, "EXCEPTION_INT_OVERFLOW"},
        {SIGFPE, FPE_FLTINV, false, "EXCEPTION_FLT_INVALID_OPERATION"},
        {SIGFPE, SI_USER, false, "EXCEPTION_UNKNOWN"},
        {SIGILL, ILL_PRVOPC, false, "EXCEPTION_PRIV_INSTRUCTION"},
        {SIGBUS, BUS_ADRALN, false, "EXCEPTION_DATATYPE_MISALIGNMENT"},
        {SIGTRAP, TRAP_TRACE, false, "EXCEPTION_SINGLE_STEP"},
        {SIGTRAP, SI_KERNEL, false, "EXCEPTION_BREAKPOINT"},
        {SIGUSR1, 0, false, "EXCEPTION_UNKNOWN"},
    };
    for (const auto& c : cases) EXPECT_STREQ(ovFaultName(c.signo, c.code, c.inStackGuard), c.name) << c.signo;
}

// A store to a page that allows no access: a genuine access violation that
// the sanitizers let through (a null store they would catch themselves).
void storeToInaccessiblePage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

using FaultReportDeathTest = testing::Test;

TEST_F(FaultReportDeathTest, FlushesThenReportsThenRunsTheStopHook) {
    EXPECT_EXIT(
        {
            detachStdinFromTerminal();
            ovFaultSetFlushHook([] { writeStderr("flushed\n"); });
            ovHooks.stop = [] { writeStderr("stopped\n"); };
            ovFaultReport(SIGFPE, "EXCEPTION_INT_OVERFLOW");
        },
        testing::ExitedWithCode(128 + SIGFPE), "^flushed\nWindows exception: EXCEPTION_INT_OVERFLOW\nstopped\n$");
}

TEST_F(FaultReportDeathTest, FaultInsideTheReportEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            detachStdinFromTerminal();
            ovInstallFaultHandlers();
            ovFaultSetFlushHook(storeToInaccessiblePage);
            ovFaultReport(SIGILL, "EXCEPTION_ILLEGAL_INSTRUCTION");
        },
        testing::ExitedWithCode(128 + SIGSEGV), "^$");
}

// Recursion without end that the optimiser can neither bound nor turn into a
// loop: the flag is never cleared, and work remains after the call.
volatile bool keepRecursing = true;

[[gnu::noinline]] int recurseForever(int depth) {
    volatile char frame[256];
    frame[depth % sizeof frame] = static_cast<char>(depth);
    if (!keepRecursing) return 0;
    return recurseForever(depth + 1) + frame[0];
}

void overflowTheStack() { recurseForever(0); }

// The processor's own faults; the same faults written in C++ would be caught
// by the sanitizers first.
void divideByZeroInHardware() {
#if defined(__x86_64__)
    int dividend = 1;
    int high = 0;
    const int zero = 0;
    asm volatile("idivl %2" : "+a"(dividend), "+d"(high) : "r"(zero));
#else
    raise(SIGFPE);
#endif
}

void touchAPageNoFileBacks() {
    const int emptyFile = memfd_create("empty", 0);
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, emptyFile, 0);
    *static_cast<volatile char*>(page) = 1;
}

using FaultHandlerDeathTest = testing::Test;

TEST_F(FaultHandlerDeathTest, ProcessorFaultsAreReportedByName) {
    const struct {
        void (*cause)();
        int signo;
        std::string name;
    } faults[] = {
        {storeToInaccessiblePage, SIGSEGV, "EXCEPTION_ACCESS_VIOLATION"},
        {overflowTheStack, SIGSEGV, "EXCEPTION_STACK_OVERFLOW"},  // needs the alternate stack
        {divideByZeroInHardware, SIGFPE, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {touchAPageNoFileBacks, SIGBUS, "EXCEPTION_IN_PAGE_ERROR"},
        {[] { __builtin_trap(); }, SIGILL, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    };
    for (const auto& fault : faults) {
        EXPECT_EXIT(
            {
                detachStdinFromTerminal();
                ovInstallFaultHandlers();
                fault.cause();
            },
            testing::ExitedWithCode(128 + fault.signo), "^Windows exception: " + fault.name + "\n$");
    }
}

// ---------------------------------------------------------------------------
// Waiting for Enter
// ---------------------------------------------------------------------------

// Makes standard input a terminal, or a pipe, holding one line that is ready
// to be read.
void stdinFromTerminalWithALine() {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || write(master, "\n", 1) != 1) _exit(1);
    pollfd ready{slave, POLLIN, 0};
    poll(&ready, 1, 10000);
    dup2(slave, STDIN_FILENO);
}

void stdinFromPipeWithALine() {
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], "\n", 1) != 1) _exit(1);
    dup2(ends[0], STDIN_FILENO);
}

// As hook entry 7, which runs after the wait: tells whether the line was read.
void tellWhetherTheLineWasRead() {
    int pending = -1;
    ioctl(STDIN_FILENO, FIONREAD, &pending);
    writeStderr(pending == 0 ? "read\n" : "left\n");
}

TEST_F(FaultReportDeathTest, WaitsForEnterOnlyWhenStandardInputIsATerminal) {
    EXPECT_EXIT(
        {
            stdinFromTerminalWithALine();
            ovHooks.stop = tellWhetherTheLineWasRead;
            ovFaultReport(SIGSEGV, "EXCEPTION_ACCESS_VIOLATION");
        },
        testing::ExitedWithCode(128 + SIGSEGV), "EXCEPTION_ACCESS_VIOLATION\nread\n$");
    EXPECT_EXIT(
        {
            stdinFromPipeWithALine();
            ovHooks.stop = tellWhetherTheLineWasRead;
            ovFaultReport(SIGSEGV, "EXCEPTION_ACCESS_VIOLATION");
        },
        testing::ExitedWithCode(128 + SIGSEGV), "EXCEPTION_ACCESS_VIOLATION\nleft\n$");
}

}  // namespace
