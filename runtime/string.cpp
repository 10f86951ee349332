// The String record, the empty string, allocation, creation from raw buffers,
// conversion out to C buffers and the ring of temporary conversions.
#include "runtime/string.h"

#include <atomic>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string_internal.h"

// Literal blocks lay out the same words by hand; the length must follow the
// header directly.  (offsetof on a derived struct is conditionally supported
// but exact on the compilers in use.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(String, length) == sizeof(Object));
#pragma GCC diagnostic pop

namespace {

// Compare takes any object; a non-String argument is ordered by address as
// Object's Compare does, rather than read as a String it is not.
int32_t compareSlot(Object* self, Object* other) {
    if (other == ovNull || other->cls != &StringType) return ovObjectCompare(self, other);
    return ovStringCompare(static_cast<String*>(self), static_cast<String*>(other));
}

}  // namespace

const ovScope StringScope = {OV_SCOPE_CLASS, "String", ovNoScopeEntries};

const StringClass StringType = {
    {
        &ObjectType,
        ovStringFree,
        &StringScope,
        0,
        nullptr,
        nullptr,
        ovStringToString,
        compareSlot,
        ovObjectSendMessage,
        {ovObjectReserved, ovObjectReserved, ovObjectReserved},
    },
    ovStringFind,
    ovStringFindLast,
    ovStringTrim,
    ovStringReplace,
    ovStringToLower,
    ovStringToUpper,
    ovStringToInt,
    ovStringToLong,
    ovStringToFloat,
    ovStringToDouble,
    ovStringToCString,
    ovStringToWString,
    ovStringFromInt,
    ovStringFromLong,
    ovStringFromFloat,
    ovStringFromDouble,
    ovStringFromCString,
    ovStringFromWString,
    ovStringFromBytes,
    ovStringFromShorts,
    ovStringStartsWith,
    ovStringEndsWith,
    ovStringContains,
    ovStringSplit,
    ovStringJoin,
    ovStringFromUTF8String,
    ovStringToUTF8String,
};

String ovEmptyString = {{&StringType, OV_STATIC_COUNT, 0}, 0};

// ---------------------------------------------------------------------------
// Allocation and lifetime
// ---------------------------------------------------------------------------

String* ovStringNew(int32_t n) { return ovStringNewChecked(n); }

void ovStringFree(Object* s) {
    if (s == &ovEmptyString) {
        s->refs = OV_STATIC_COUNT;
        return;
    }
    ovGCDeallocObject(s, static_cast<int32_t>(ovStringBlockSize(static_cast<String*>(s)->length)));
}

String* ovStringToString(Object* self) { return static_cast<String*>(self); }

// ---------------------------------------------------------------------------
// Creation from buffers
// ---------------------------------------------------------------------------

String* ovStringFromChar(int32_t c) {
    String* s = ovStringNew(1);
    s->units()[0] = static_cast<uint16_t>(c);
    return s;
}

String* ovStringFromBytes(const uint8_t* bytes, int32_t count) {
    String* s = ovStringNew(count);
    ovWidenBytes(s->units(), bytes, s->length);
    return s;
}

String* ovStringFromShorts(const uint16_t* units, int32_t count) {
    String* s = ovStringNew(count);
    if (s->length > 0) std::memcpy(s->units(), units, 2 * static_cast<size_t>(s->length));
    return s;
}

String* ovStringFromInts(const int32_t* values, int32_t count) {
    String* s = ovStringNew(count);
    uint16_t* units = s->units();
    for (int32_t i = 0; i < s->length; ++i) units[i] = static_cast<uint16_t>(values[i]);
    return s;
}

String* ovStringFromCString(const char* text) {
    if (text == nullptr) return &ovEmptyString;
    const size_t n = std::strlen(text);
    if (n > static_cast<size_t>(OV_STRING_MAX_LENGTH)) ovRuntimeError("String too long");
    return ovStringFromBytes(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(n));
}

String* ovStringFromWString(const uint16_t* text) {
    if (text == nullptr) return &ovEmptyString;
    int64_t n = 0;
    while (text[n] != 0) ++n;
    if (n > OV_STRING_MAX_LENGTH) ovRuntimeError("String too long");
    return ovStringFromShorts(text, static_cast<int32_t>(n));
}

// ---------------------------------------------------------------------------
// Conversion out
// ---------------------------------------------------------------------------

void ovStringNarrowInto(String* s, char* bytes) {
    const size_t n = static_cast<size_t>(s->length);
    const uint16_t* units = s->units();
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(units[i] & 0xFF);
    bytes[n] = '\0';
}

char* ovStringToCString(String* s) {
    char* buffer = static_cast<char*>(ovMemAlloc(static_cast<size_t>(s->length) + 1));
    ovStringNarrowInto(s, buffer);
    return buffer;
}

uint16_t* ovStringToWString(String* s) {
    const size_t n = static_cast<size_t>(s->length);
    auto* buffer = static_cast<uint16_t*>(ovMemAlloc(2 * n + 2));
    std::memcpy(buffer, s->units(), 2 * n);
    buffer[n] = 0;
    return buffer;
}

// ---------------------------------------------------------------------------
// Temporary buffer ring
// ---------------------------------------------------------------------------

namespace {

constexpr uint32_t kRingSlots = 32;

std::atomic<uint32_t> ringCounter{0};
// Each slot is swapped atomically, so two threads that land on the same slot
// (possible only with more than 32 conversions in flight) never free one
// buffer twice.
std::atomic<void*> ring[kRingSlots];

template <class T>
T* keepInRing(T* buffer) {
    const uint32_t slot = ringCounter.fetch_add(1) & (kRingSlots - 1);
    void* old = ring[slot].exchange(buffer);
    if (old != nullptr) ovMemFree(old);
    return buffer;
}

}  // namespace

char* ovTmpCString(String* s) { return keepInRing(ovStringToCString(s)); }
uint16_t* ovTmpWString(String* s) { return keepInRing(ovStringToWString(s)); }
char* ovTmpUTF8String(String* s) { return keepInRing(ovStringToUTF8String(s)); }

int32_t ovTmpRingHolds(const void* buffer) {
    for (const auto& slot : ring)
        if (slot.load() == buffer) return 1;
    return 0;
}
