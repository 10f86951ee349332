#include "runtime/process.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/charclass.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "runtime/thread.h"

namespace {

int32_t writeText(String* text, FILE* stream) {
    char* bytes = ovStringToCString(text);
    std::fputs(bytes, stream);
    std::fflush(stream);
    ovMemFree(bytes);
    return 0;
}

}  // namespace

int32_t ovWriteStdout(String* text) { return writeText(text, stdout); }
int32_t ovWriteStderr(String* text) { return writeText(text, stderr); }

String* ovReadStdin() {
    constexpr int kChunkBuffer = 256;
    std::string gathered;
    char buffer[kChunkBuffer];
    for (;;) {
        if (ovBlockingCall([&] { return std::fgets(buffer, kChunkBuffer, stdin); }) == nullptr) break;
        size_t length = std::strlen(buffer);
        if (const char* lineFeed = static_cast<const char*>(std::memchr(buffer, '\n', length))) {
            length = static_cast<size_t>(lineFeed - buffer);
            if (length > 0 && ovIsCWhiteSpace(static_cast<unsigned char>(buffer[length - 1]))) --length;
        }
        gathered.append(buffer, length);
        if (length <= kChunkBuffer - 2) break;
    }
    return ovStringFromBytes(reinterpret_cast<const uint8_t*>(gathered.data()), static_cast<int32_t>(gathered.size()));
}

int32_t ovMillisecs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int32_t ovDelay(int32_t milliseconds) {
    if (milliseconds < 0) return 0;
    timespec pause = {milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    ovBlockingCall([&] {
        while (nanosleep(&pause, &pause) != 0) {
        }
        return 0;
    });
    return 0;
}

void ovEnd() { ovEndWithStatus(0); }

void ovEndWithStatus(int32_t status) { std::exit(status); }

void ovCAssertFailed() { ovRuntimeError("C Assert failed"); }
