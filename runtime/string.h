// Immutable UTF-16 strings.
//
// A String is a header followed by a signed 32-bit length and the code units,
// with no terminator.  The units start at byte 20, right after the length, so
// the block of a String with n units is 20 + 2n bytes.  Units are taken one
// by one everywhere: surrogate pairs get no special treatment.
//
// Every function that builds a String returns it without retaining it, and
// every empty result is ovEmptyString, so an empty result never allocates.
// Emptiness is a test of the length, not of identity: static literals of
// length 0 exist too.
#pragma once

#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/object.h"

struct String : Object {
    int32_t length;

    uint16_t* units() { return reinterpret_cast<uint16_t*>(reinterpret_cast<char*>(this) + kUnitsOffset); }
    const uint16_t* units() const {
        return reinterpret_cast<const uint16_t*>(reinterpret_cast<const char*>(this) + kUnitsOffset);
    }

    static constexpr int32_t kUnitsOffset = 20;
};

// Block size of a String of n units.
inline constexpr int64_t ovStringBlockSize(int64_t n) { return String::kUnitsOffset + 2 * n; }

// The longest String whose block size still fits the allocator's Int size.
inline constexpr int32_t OV_STRING_MAX_LENGTH = (INT32_MAX - String::kUnitsOffset) / 2;

// ---------------------------------------------------------------------------
// Class record
// ---------------------------------------------------------------------------

// The String record: Object's words, then the String operations in slot order
// (word 12 onward).  Methods take the String as receiver; the From... entries
// are class functions without receiver.
struct StringClass : ObjectClass {
    int32_t (*Find)(String* self, String* sub, int32_t start);
    int32_t (*FindLast)(String* self, String* sub, int32_t start);
    String* (*Trim)(String* self);
    String* (*Replace)(String* self, String* find, String* with);
    String* (*ToLower)(String* self);
    String* (*ToUpper)(String* self);
    int32_t (*ToInt)(String* self);
    int64_t (*ToLong)(String* self);
    float (*ToFloat)(String* self);
    double (*ToDouble)(String* self);
    char* (*ToCString)(String* self);
    uint16_t* (*ToWString)(String* self);
    String* (*FromInt)(int32_t value);
    String* (*FromLong)(int64_t value);
    String* (*FromFloat)(float value);
    String* (*FromDouble)(double value);
    String* (*FromCString)(const char* text);
    String* (*FromWString)(const uint16_t* text);
    String* (*FromBytes)(const uint8_t* bytes, int32_t count);
    String* (*FromShorts)(const uint16_t* units, int32_t count);
    int32_t (*StartsWith)(String* self, String* prefix);
    int32_t (*EndsWith)(String* self, String* suffix);
    int32_t (*Contains)(String* self, String* sub);
    Array* (*Split)(String* self, String* separator);
    String* (*Join)(String* self, Array* parts);
    String* (*FromUTF8String)(const char* text);
    char* (*ToUTF8String)(String* self);
};

extern const StringClass StringType;
extern const ovScope StringScope;

// The shared String of length 0 (static count 0x40000000).
extern String ovEmptyString;

// ---------------------------------------------------------------------------
// Static literals
// ---------------------------------------------------------------------------

// The storage of a literal: the String layout with the units inline (plus the
// literal's terminating 0, which lies past the length and is never read as a
// unit).  It lives in writable static data because retain and release change
// its count.
template <size_t N>
struct ovStringLiteralBlock {
    const ObjectClass* cls;
    int32_t refs;
    int32_t headerPad;
    int32_t length;
    uint16_t units[N];
};

template <size_t N>
struct ovLiteralText {
    char16_t text[N];
    constexpr ovLiteralText(const char16_t (&source)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = source[i];
    }
};

template <ovLiteralText Text>
constexpr auto ovMakeLiteralBlock() {
    constexpr size_t n = sizeof(Text.text) / sizeof(char16_t);
    ovStringLiteralBlock<n> block{&StringType, OV_LITERAL_COUNT, 0, static_cast<int32_t>(n - 1), {}};
    for (size_t i = 0; i < n; ++i) block.units[i] = static_cast<uint16_t>(Text.text[i]);
    return block;
}

// One block per distinct text, shared by every translation unit.
template <ovLiteralText Text>
inline auto ovLiteralBlock = ovMakeLiteralBlock<Text>();

template <ovLiteralText Text>
inline String* ovLiteralOf() {
    static_assert(offsetof(decltype(ovLiteralBlock<Text>), length) == sizeof(Object));
    static_assert(offsetof(decltype(ovLiteralBlock<Text>), units) == String::kUnitsOffset);
    return reinterpret_cast<String*>(&ovLiteralBlock<Text>);
}

// A static String literal with count 0x7fffffff: ovLiteral(u"text").
#define ovLiteral(text) (ovLiteralOf<text>())

// ---------------------------------------------------------------------------
// Allocation and lifetime
// ---------------------------------------------------------------------------

// A String of n units whose units the caller fills; ovEmptyString for n <= 0.
// A length above OV_STRING_MAX_LENGTH raises "String too long".
String* ovStringNew(int32_t n);
// The free function of the record: returns the block (ovEmptyString gets its
// static count back instead).
void ovStringFree(Object* s);
// The ToString slot: the String itself.
String* ovStringToString(Object* self);

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------

String* ovStringFromChar(int32_t c);
// One unit per byte (ISO 8859-1).
String* ovStringFromBytes(const uint8_t* bytes, int32_t count);
// The same widening into units the caller owns: units[i] = bytes[i].
// Sixteen bytes a step where the processor has 128-bit vectors
// (interleaving them with zero bytes gives their units), then eight, and a
// tail of fewer than eight as the last eight again.
inline void ovWidenBytes(uint16_t* units, const uint8_t* bytes, int32_t count) {
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_unpacklo_epi8(sixteen, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i + 8), _mm_unpackhi_epi8(sixteen, zero));
    }
    auto widenEight = [&](int32_t at) {
        const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + at), _mm_unpacklo_epi8(eight, zero));
    };
    if (count >= 8) {
        if (i + 8 <= count) widenEight(i);
        if (count % 8 != 0) widenEight(count - 8);
        return;
    }
#endif
    for (; i < count; ++i) units[i] = bytes[i];
}
String* ovStringFromShorts(const uint16_t* units, int32_t count);
// Unit i is the low 16 bits of values[i].
String* ovStringFromInts(const int32_t* values, int32_t count);
// The bytes, Shorts or Ints of a one-dimensional "b", "s" or "i" array;
// ovEmptyString for any other array.
String* ovStringFromArray(Array* array);
// NUL-terminated text, one unit per byte (no UTF-8 decoding); 0 gives "".
String* ovStringFromCString(const char* text);
// Units up to the first 0 unit; 0 gives "".
String* ovStringFromWString(const uint16_t* text);
// NUL-terminated UTF-8; 0 gives "".  A four-byte sequence beyond U+FFFF raises
// "Unicode character out of UCS-2 range".
String* ovStringFromUTF8String(const char* text);

String* ovStringFromInt(int32_t value);
String* ovStringFromLong(int64_t value);
// "%#.9g" of the value widened to Double.
String* ovStringFromFloat(float value);
// "%#.17lg".
String* ovStringFromDouble(double value);

// ---------------------------------------------------------------------------
// Conversion out
// ---------------------------------------------------------------------------

// Writes the low 8 bits of each unit and a NUL byte: length + 1 bytes.
void ovStringNarrowInto(String* s, char* bytes);

// Buffers from ovMemAlloc, owned by the caller (free with ovMemFree).
// Low 8 bits of each unit, then a NUL byte.
char* ovStringToCString(String* s);
// The units, then a 0 unit.
uint16_t* ovStringToWString(String* s);
// UTF-8 (each unit on its own, a surrogate unit as three bytes), then a NUL.
char* ovStringToUTF8String(String* s);

// The same buffers, kept in a ring of 32 slots instead of being handed over:
// each stays valid until 32 further temporary conversions (by any thread).
char* ovTmpCString(String* s);
uint16_t* ovTmpWString(String* s);
char* ovTmpUTF8String(String* s);
// 1 while the buffer is still held by the ring, else 0.
int32_t ovTmpRingHolds(const void* buffer);

// Decimal (with "+"/"-", and the "%" binary and "$" hexadecimal prefixes),
// wrapping silently; text without a number gives 0.
int32_t ovStringToInt(String* s);
int64_t ovStringToLong(String* s);
// The size of the number that the digits of such a text name, before any
// wrapping and without its sign, saturated at 2^64 - 1: '4294967376'
// converts to the Int 80 but names 4294967376.
uint64_t ovStringIntMagnitude(String* s);
// The C library's atof over the narrowed text.
float ovStringToFloat(String* s);
double ovStringToDouble(String* s);

// ---------------------------------------------------------------------------
// Queries and operations (0-based positions)
// ---------------------------------------------------------------------------

// Ordinal comparison: the first unit difference, else the length difference.
int32_t ovStringCompare(String* a, String* b);
int32_t ovStringStartsWith(String* s, String* prefix);
int32_t ovStringEndsWith(String* s, String* suffix);
// First occurrence at or after start (a negative start counts as 0), or -1.
int32_t ovStringFind(String* s, String* sub, int32_t start);
// Last occurrence beginning at or before length - start, or -1.
int32_t ovStringFindLast(String* s, String* sub, int32_t start);
int32_t ovStringContains(String* s, String* sub);
// The first unit, or -1 for an empty String.
int32_t ovStringAsc(String* s);

String* ovStringConcat(String* a, String* b);
// Units from to to - 1; indices outside the String contribute spaces.
String* ovStringSlice(String* s, int32_t from, int32_t to);
// Without leading and trailing units up to U+0020; s itself when none.
String* ovStringTrim(String* s);
// Every non-overlapping occurrence of find replaced; s itself when none.
String* ovStringReplace(String* s, String* find, String* with);
String* ovStringToLower(String* s);
String* ovStringToUpper(String* s);
// A new "$" array of the pieces between separators, or of the non-blank runs
// for an empty separator (ovEmptyArray when there is none).
Array* ovStringSplit(String* s, String* separator);
// The elements of a "$" array with the separator between them.
String* ovStringJoin(String* separator, Array* parts);
