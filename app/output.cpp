#include "app/output.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "runtime/fault.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

bool buffering = false;
unsigned char buffer[kBufferSize];
// Bytes in the buffer.  A signal handler reads it, so every change is a
// single atomic store, made after the byte itself is in place.
std::atomic<size_t> buffered{0};

// Async-signal-safe: only write(2).  A failing descriptor (a closed pipe
// with SIGPIPE ignored, a full disk) drops the bytes rather than retrying
// for ever, as stdio would.
void writeOut(const unsigned char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
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
    std::fflush(stdout);
    std::atexit(flushAtExit);
    ovFaultSetFlushHook(writeBuffer);
    installEndingHandlers();
}

void ProgramOutputPut(uint8_t code) {
    if (!buffering) {
        std::fputc(code, stdout);
        std::fflush(stdout);
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
