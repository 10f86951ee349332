// Growing buffers for the working directory and link targets.
#include "runtime/platform_path.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// Calls fill(buffer, capacity) with a buffer that doubles until fill reports
// a length that fits: fill returns the path's length, -1 when the buffer is
// too small, or -2 on any other failure.
template <class Fill>
std::string readGrowing(Fill&& fill) {
    std::string buffer(256, '\0');
    for (;;) {
        const long length = fill(buffer.data(), buffer.size());
        if (length >= 0) {
            buffer.resize(static_cast<size_t>(length));
            return buffer;
        }
        if (length != -1 || buffer.size() > (SIZE_MAX >> 2)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string ovPlatformWorkingDirectory() {
    return readGrowing([](char* buffer, size_t capacity) -> long {
        if (getcwd(buffer, capacity) != nullptr) return static_cast<long>(std::strlen(buffer));
        return errno == ERANGE ? -1 : -2;
    });
}

std::string ovPlatformReadLink(const char* path) {
    return readGrowing([path](char* buffer, size_t capacity) -> long {
        const ssize_t length = readlink(path, buffer, capacity);
        if (length < 0) return -2;
        // A target that fills the buffer may have been cut: try a larger one.
        return static_cast<size_t>(length) < capacity ? static_cast<long>(length) : -1;
    });
}
