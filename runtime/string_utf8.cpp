// UTF-8 to Strings and back, one 16-bit unit per character.
//
// The decoder is lenient: continuation bytes are not checked for their
// 10xxxxxx pattern and overlong forms are accepted; only characters beyond
// the 16-bit range are refused.
#include <algorithm>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "runtime/buffer.h"
#include "runtime/string_internal.h"

namespace {

// Continuation bytes that follow a lead byte.
int trailCount(uint32_t lead) {
    if (lead <= 0x7F) return 0;
    if (lead <= 0xDF) return 1;
    if (lead <= 0xEF) return 2;
    return 3;
}

uint32_t combine(uint32_t lead, const uint32_t* trail, int count) {
    switch (count) {
        case 0:
            return lead;
        case 1:
            return ((lead & 0x1F) << 6) | trail[0];
        case 2:
            return ((lead << 12) | (trail[0] << 6) | trail[1]) & 0xFFFF;
        default:
            return ((lead & 0x07) << 18) | (trail[0] << 12) | (trail[1] << 6) | trail[2];
    }
}

// Decodes into units (room for one unit per byte) and returns the number of
// units.  A sequence cut short by the terminating NUL is dropped: the NUL
// ends the text and no byte after it is read.
int64_t decode(const uint8_t* bytes, uint16_t* units) {
    int64_t n = 0;
    while (*bytes != 0) {
        const uint32_t lead = *bytes++;
        const int count = trailCount(lead);
        uint32_t trail[3];
        for (int k = 0; k < count; ++k) {
            if (*bytes == 0) return n;
            trail[k] = *bytes++ & 0x3Fu;
        }
        const uint32_t value = combine(lead, trail, count);
        if ((value & 0x1F0000u) != 0) ovRuntimeError("Unicode character out of UCS-2 range");
        units[n++] = static_cast<uint16_t>(value);
    }
    return n;
}

}  // namespace

String* ovStringFromUTF8String(const char* text) {
    if (text == nullptr) return &ovEmptyString;
    const size_t length = std::strlen(text);
    // One unit per byte at most.
    ovBuffer<uint16_t, 256> work(INT32_MAX, "String too long");
    uint16_t* units = work.resize(static_cast<int64_t>(std::min<size_t>(length, INT64_MAX)));
    const int64_t n = decode(reinterpret_cast<const uint8_t*>(text), units);
    if (n > OV_STRING_MAX_LENGTH) ovRuntimeError("String too long");
    return ovStringFromShorts(units, static_cast<int32_t>(n));
}

char* ovStringToUTF8String(String* s) {
    const size_t n = static_cast<size_t>(s->length);
    auto* out = static_cast<uint8_t*>(ovMemAlloc(3 * n + 1));
    uint8_t* p = out;
    const uint16_t* units = s->units();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t u = units[i];
        if (u <= 0x7F) {
            *p++ = static_cast<uint8_t>(u);
        } else if (u <= 0x7FF) {
            *p++ = static_cast<uint8_t>(0xC0 | (u >> 6));
            *p++ = static_cast<uint8_t>(0x80 | (u & 0x3F));
        } else {
            *p++ = static_cast<uint8_t>(0xE0 | (u >> 12));
            *p++ = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<uint8_t>(0x80 | (u & 0x3F));
        }
    }
    *p = 0;
    return reinterpret_cast<char*>(out);
}
