// The standard-C module: its initialiser, the standard streams, the console,
// the environment and text output.
#include "system/clib/clib.h"

#include <cstdlib>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "system/clib/clib_utf8_internal.h"

FILE* ovStdin = nullptr;
FILE* ovStdout = nullptr;
FILE* ovStderr = nullptr;

namespace {

// BSD sockets need no library shutdown; the exit handler keeps the place
// where the socket library's teardown belongs in the process's exit sequence.
void socketLibraryTeardown() {}

}  // namespace

// The socket library needs no start-up here: writes to sockets pass
// MSG_NOSIGNAL, so SIGPIPE keeps its default disposition process-wide.
void ovStdCModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        std::atexit(socketLibraryTeardown);
        ovStdin = stdin;
        ovStdout = stdout;
        ovStderr = stderr;
    });
}

// ---------------------------------------------------------------------------
// Console input
// ---------------------------------------------------------------------------

namespace {

constexpr int32_t kWideEndOfInput = 0xFFFF;

// Units decoded from standard input but not handed out yet: the second half
// of a surrogate pair, or the escapes of a sequence that broke off.
struct PendingUnits {
    uint16_t units[4];
    int count = 0;
    int next = 0;

    bool empty() const { return next == count; }
    int32_t take() { return units[next++]; }
    void fill(const uint16_t* from, int n) {
        for (int k = 0; k < n; ++k) units[k] = from[k];
        count = n;
        next = 0;
    }
};

thread_local PendingUnits pendingInput;

// Reads one UTF-8 sequence from standard input into units; a byte that breaks
// a sequence off is pushed back to start the next one, and the bytes before it
// become escapes, exactly as the platform text decoder treats them.
int readWideUnits(uint16_t* units) {
    uint8_t bytes[4];
    int read = 0;
    for (;;) {
        const int c = std::getc(stdin);
        if (c == EOF) break;
        bytes[read++] = static_cast<uint8_t>(c);
        const int length = ovUTF8Check(bytes, static_cast<size_t>(read));
        if (length > 0) return ovUTF16FromValue(ovUTF8Value(bytes, length), units);
        if (length == 0) {
            if (read > 1) std::ungetc(bytes[--read], stdin);
            break;
        }
    }
    for (int k = 0; k < read; ++k) units[k] = static_cast<uint16_t>(0xDC00 + bytes[k]);
    return read;
}

int32_t wideConsoleGetChar() {
    if (pendingInput.empty()) {
        uint16_t units[4];
        const int n = readWideUnits(units);
        if (n == 0) return kWideEndOfInput;
        pendingInput.fill(units, n);
    }
    return pendingInput.take();
}

}  // namespace

int32_t ovConsoleGetChar() {
    if (ovUseWideApi) return wideConsoleGetChar();
    const int c = std::getc(stdin);
    return c == EOF ? -1 : c;
}

// ---------------------------------------------------------------------------
// Text output and the environment
// ---------------------------------------------------------------------------

int32_t ovConsolePutLine(String* text) {
    ovPlatformText line(text);
    return std::puts(line.c_str());
}

int32_t ovFilePutText(String* text, FILE* stream) {
    if (stream == nullptr) return EOF;
    ovPlatformText bytes(text);
    return std::fputs(bytes.c_str(), stream);
}

int32_t ovEnvPut(String* assignment) {
    ovPlatformText text(assignment);
    const char* equals = std::strchr(text.c_str(), '=');
    if (equals == nullptr || equals == text.c_str()) return -1;
    const std::string name(text.c_str(), static_cast<size_t>(equals - text.c_str()));
    const char* value = equals + 1;
    // As with the C runtime's putenv, an empty value removes the variable.
    const int result = *value == 0 ? unsetenv(name.c_str()) : setenv(name.c_str(), value, 1);
    return result == 0 ? 0 : -1;
}

String* ovEnvGet(String* name) {
    ovPlatformText text(name);
    return ovStringFromPlatform(std::getenv(text.c_str()));
}
