#include "runtime/fault.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "runtime/exception.h"

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGTRAP};

// Room for the handler and whatever the stop hook and the sanitizers' runtime
// do inside it; the page below it is kept inaccessible.
constexpr size_t kAltStackSize = 256 * 1024;

// Below the lowest address the main thread's stack may grow to lies the
// kernel's guard gap (1 MiB by default); a fault anywhere from there up to a
// little above the limit is the stack running out.
constexpr uintptr_t kGuardBelow = 1024 * 1024;
constexpr uintptr_t kGuardAbove = 64 * 1024;

std::atomic<ovFaultFlushHook> flushHook{nullptr};
// The thread that is writing a report, 0 while none is.
std::atomic<pid_t> reporter{0};
uintptr_t stackLimit = 0;  // lowest address of the main thread's stack, 0 if unknown
void* altStack = nullptr;

void writeAll(const char* text) {
    size_t left = strlen(text);
    while (left > 0) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// Stands in for acknowledging the report's box: reads standard input up to
// the end of the line.
void waitForEnter() {
    char c = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') return;
    }
}

// Makes the calling thread the one that reports.  A fault inside the report
// ends the process at once; a fault on another thread while one is reported
// waits for that report to end the process.
void claimReport(int signo) {
    const pid_t self = gettid();
    pid_t expected = 0;
    if (reporter.compare_exchange_strong(expected, self)) return;
    if (expected == self) _exit(128 + signo);
    for (;;) pause();
}

bool inStackGuard(const void* address) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    return stackLimit != 0 && a + kGuardBelow >= stackLimit && a < stackLimit + kGuardAbove;
}

void onFault(int signo, siginfo_t* info, void*) {
    const bool guard = signo == SIGSEGV && inStackGuard(info->si_addr);
    ovFaultReport(signo, ovFaultName(signo, info->si_code, guard));
}

uintptr_t currentStackLimit() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    const int failed = pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    return failed ? 0 : reinterpret_cast<uintptr_t>(low);
}

// Maps the alternate stack once, with an inaccessible page below it, and
// makes it the calling thread's.  Returns false when no alternate stack can
// be had; the handlers then run on the faulting stack.
bool installAltStack() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (altStack == nullptr) {
        void* block = mmap(nullptr, kAltStackSize + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) return false;
        mprotect(block, page, PROT_NONE);
        altStack = static_cast<char*>(block) + page;
    }
    stack_t stack{};
    stack.ss_sp = altStack;
    stack.ss_size = kAltStackSize;
    return sigaltstack(&stack, nullptr) == 0;
}

const char* segvName(bool guard) { return guard ? "EXCEPTION_STACK_OVERFLOW" : "EXCEPTION_ACCESS_VIOLATION"; }

const char* fpeName(int code) {
    switch (code) {
    case FPE_INTDIV: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case FPE_INTOVF: return "EXCEPTION_INT_OVERFLOW";
    case FPE_FLTDIV: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case FPE_FLTOVF: return "EXCEPTION_FLT_OVERFLOW";
    case FPE_FLTUND: return "EXCEPTION_FLT_UNDERFLOW";
    case FPE_FLTRES: return "EXCEPTION_FLT_INEXACT_RESULT";
    case FPE_FLTINV: return "EXCEPTION_FLT_INVALID_OPERATION";
    case FPE_FLTSUB: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    default: return "EXCEPTION_UNKNOWN";
    }
}

const char* illName(int code) {
    const bool privileged = code == ILL_PRVOPC || code == ILL_PRVREG;
    return privileged ? "EXCEPTION_PRIV_INSTRUCTION" : "EXCEPTION_ILLEGAL_INSTRUCTION";
}

const char* busName(int code) {
    return code == BUS_ADRALN ? "EXCEPTION_DATATYPE_MISALIGNMENT" : "EXCEPTION_IN_PAGE_ERROR";
}

const char* trapName(int code) { return code == TRAP_TRACE ? "EXCEPTION_SINGLE_STEP" : "EXCEPTION_BREAKPOINT"; }

}  // namespace

const char* ovFaultName(int signo, int code, bool inStackGuard) {
    switch (signo) {
    case SIGSEGV: return segvName(inStackGuard);
    case SIGFPE: return fpeName(code);
    case SIGILL: return illName(code);
    case SIGBUS: return busName(code);
    case SIGTRAP: return trapName(code);
    default: return "EXCEPTION_UNKNOWN";
    }
}

void ovFaultSetFlushHook(ovFaultFlushHook hook) { flushHook.store(hook); }

void ovFaultReport(int signo, const char* name) {
    claimReport(signo);
    if (const ovFaultFlushHook flush = flushHook.load()) flush();
    writeAll("Windows exception: ");
    writeAll(name != nullptr ? name : "EXCEPTION_UNKNOWN");
    writeAll("\n");
    if (isatty(STDIN_FILENO)) waitForEnter();
    if (ovHooks.stop != nullptr) ovHooks.stop();
    _exit(128 + signo);
}

void ovInstallFaultHandlers() {
    stackLimit = currentStackLimit();
    struct sigaction action {};
    action.sa_sigaction = onFault;
    // A fault inside the report must reach the handler again (which then
    // ends the process) rather than be held back by the blocked signal.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    if (installAltStack()) action.sa_flags |= SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signo : kFaultSignals) sigaction(signo, &action, nullptr);
}
