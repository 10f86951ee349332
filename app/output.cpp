#include "app/output.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "runtime/fault.h"
#include "streams/stdio.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

bool buffering = false;
unsigned char buffer[kBufferSize];
// Bytes in the buffer.  A signal handler reads it, so every change is a
// single atomic store, made after the byte itself is in place.
std::atomic<size_t> buffered{0};
// The errno of the first write of standard output that failed, 0 while none
// has; set from a signal handler too, hence atomic.
std::atomic<int> lostError{0};

void noteLost(int error) {
    int none = 0;
    lostError.compare_exchange_strong(none, error != 0 ? error : EIO, std::memory_order_relaxed);
}

// Async-signal-safe: only write(2).  A failing descriptor (a closed pipe
// with SIGPIPE ignored, a full disk) drops the bytes rather than retrying
// for ever, and the failure is remembered.
void writeOut(const unsigned char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return noteLost(n < 0 ? errno : EIO);
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

void flushStdio() {
    if (std::fflush(stdout) != 0) noteLost(errno);
}

void writeBuffer() {
    writeOut(buffer, buffered.load(std::memory_order_relaxed));
    buffered.store(0, std::memory_order_relaxed);
}

sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signo : kEndingSignals) sigaddset(&set, signo);
    return set;
}

// The normal flush blocks the ending signals, so that their handler never
// writes the same bytes a second time.
void flushWithSignalsBlocked() {
    const sigset_t set = endingSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    writeBuffer();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// Writes out the buffer, then lets the signal end the process as it would
// have, so the parent sees the process ended by it.
void onEndingSignal(int signo) {
    writeBuffer();
    signal(signo, SIG_DFL);
    raise(signo);
}

void flushAtExit() { flushWithSignalsBlocked(); }

void installEndingHandlers() {
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    action.sa_mask = endingSignals();
    for (const int signo : kEndingSignals) sigaction(signo, &action, nullptr);
}

}  // namespace

void ProgramOutputStart() {
    if (buffering || isatty(STDOUT_FILENO)) return;
    buffering = true;
    flushStdio();
    std::atexit(flushAtExit);
    ovFaultSetFlushHook(writeBuffer);
    installEndingHandlers();
}

void ProgramOutputPut(uint8_t code) {
    if (!buffering) {
        if (std::fputc(code, stdout) == EOF) noteLost(errno);
        flushStdio();
        return;
    }
    size_t n = buffered.load(std::memory_order_relaxed);
    if (n == kBufferSize) {
        flushWithSignalsBlocked();
        n = 0;
    }
    buffer[n] = code;
    std::atomic_signal_fence(std::memory_order_release);
    buffered.store(n + 1, std::memory_order_relaxed);
}

void ProgramOutputFlush() {
    if (buffering) flushWithSignalsBlocked();
}

int ProgramOutputFinish() {
    ProgramOutputFlush();
    flushStdio();
    const int lost = lostError.load(std::memory_order_relaxed);
    return lost != 0 ? lost : ConsoleOutputError();
}
