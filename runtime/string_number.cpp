// Numbers to Strings and back.
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "runtime/string.h"
#include "runtime/string_internal.h"

namespace {

// Digits of the magnitude written backwards into a stack buffer, then one
// allocation.  Negating in unsigned arithmetic gives the magnitude of the
// most negative value too, so it needs no special case.
String* formatDecimal(uint64_t magnitude, bool negative) {
    uint16_t digits[21];
    uint16_t* end = digits + sizeof(digits) / sizeof(digits[0]);
    uint16_t* first = end;
    do {
        *--first = static_cast<uint16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) *--first = u'-';
    return ovStringFromShorts(first, static_cast<int32_t>(end - first));
}

String* formatWithC(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return ovStringFromCString(text);
}

int32_t digitValue(uint16_t u) {
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return 99;  // a digit of no base
}

// Parses with wrapping accumulation in the unsigned type of the result's
// width; the caller converts back to the signed type.
template <class Unsigned>
Unsigned parseInteger(String* s) {
    static_assert(std::is_unsigned_v<Unsigned>);
    const uint16_t* units = s->units();
    const int32_t n = s->length;
    int32_t i = 0;
    while (i < n && ovIsSpaceUnit(units[i])) ++i;
    bool negative = false;
    if (i < n && (units[i] == u'+' || units[i] == u'-')) negative = units[i++] == u'-';
    if (i >= n) return 0;
    Unsigned base = 10;
    if (units[i] == u'%') {
        base = 2;
        ++i;
    } else if (units[i] == u'$') {
        base = 16;
        ++i;
    }
    Unsigned value = 0;
    for (; i < n; ++i) {
        const int32_t digit = digitValue(units[i]);
        if (digit >= static_cast<int32_t>(base)) break;
        value = value * base + static_cast<Unsigned>(digit);
    }
    return negative ? static_cast<Unsigned>(0 - value) : value;
}

// atof over the text narrowed to bytes; short texts need no heap buffer.
double parseWithC(String* s) {
    ovScratch<64> text(static_cast<size_t>(s->length) + 1);
    ovStringNarrowInto(s, text.as<char>());
    return std::atof(text.as<char>());
}

}  // namespace

String* ovStringFromInt(int32_t value) {
    const bool negative = value < 0;
    const uint64_t bits = static_cast<uint32_t>(value);
    return formatDecimal(negative ? (0x100000000ull - bits) : bits, negative);
}

String* ovStringFromLong(int64_t value) {
    const bool negative = value < 0;
    const uint64_t bits = static_cast<uint64_t>(value);
    return formatDecimal(negative ? 0 - bits : bits, negative);
}

String* ovStringFromFloat(float value) { return formatWithC("%#.9g", static_cast<double>(value)); }

String* ovStringFromDouble(double value) { return formatWithC("%#.17lg", value); }

int32_t ovStringToInt(String* s) { return static_cast<int32_t>(parseInteger<uint32_t>(s)); }

int64_t ovStringToLong(String* s) { return static_cast<int64_t>(parseInteger<uint64_t>(s)); }

float ovStringToFloat(String* s) { return static_cast<float>(parseWithC(s)); }

double ovStringToDouble(String* s) { return parseWithC(s); }
