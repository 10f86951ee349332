// Raw byte transfers on a C file handle for the streams over C handles.
//
// A stream object is used by one thread at a time, so the handle's lock is
// not taken; a one-byte transfer (the line readers' and text writers' path)
// goes straight to the handle's buffer.
#pragma once

#include <cstdint>
#include <cstdio>

// Bytes read (0 at the end or on an error); count must be above 0.
inline int32_t ovCFileRead(std::FILE* handle, uint8_t* buf, int32_t count) {
    if (count == 1) {
        const int c = getc_unlocked(handle);
        if (c == EOF) return 0;
        buf[0] = static_cast<uint8_t>(c);
        return 1;
    }
    return static_cast<int32_t>(fread_unlocked(buf, 1, static_cast<size_t>(count), handle));
}

// Bytes written (fewer on an error); count must be above 0.
inline int32_t ovCFileWrite(std::FILE* handle, const uint8_t* buf, int32_t count) {
    if (count == 1) return putc_unlocked(buf[0], handle) == EOF ? 0 : 1;
    return static_cast<int32_t>(fwrite_unlocked(buf, 1, static_cast<size_t>(count), handle));
}
