// Numbers to Strings and back.
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "runtime/string.h"
#include "runtime/buffer.h"
#include "runtime/string_internal.h"

namespace {

// "00" to "99": the digits are produced two at a time.
constexpr auto kDigitPairs = [] {
    struct Pairs {
        uint16_t units[200];
    } pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs.units[2 * i] = static_cast<uint16_t>(u'0' + i / 10);
        pairs.units[2 * i + 1] = static_cast<uint16_t>(u'0' + i % 10);
    }
    return pairs;
}();

// The digits of the magnitude, written backwards into a stack buffer, then one
// allocation.  The magnitude comes in the width of its type, since 32-bit
// division is much cheaper than 64-bit.  Negating in unsigned arithmetic
// gives the magnitude of the most negative value too, so that needs no
// special case.
template <class Unsigned>
String* formatDecimal(Unsigned magnitude, bool negative) {
    uint16_t digits[21];
    uint16_t* const end = digits + sizeof(digits) / sizeof(digits[0]);
    uint16_t* first = end;
    while (magnitude >= 100) {
        const auto pair = static_cast<unsigned>(magnitude % 100);
        magnitude /= 100;
        first -= 2;
        first[0] = kDigitPairs.units[2 * pair];
        first[1] = kDigitPairs.units[2 * pair + 1];
    }
    if (magnitude >= 10) {
        first -= 2;
        first[0] = kDigitPairs.units[2 * magnitude];
        first[1] = kDigitPairs.units[2 * magnitude + 1];
    } else {
        *--first = static_cast<uint16_t>(u'0' + magnitude);
    }
    if (negative) *--first = u'-';
    return ovStringFromShorts(first, static_cast<int32_t>(end - first));
}

String* formatWithC(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return ovStringFromCString(text);
}

int32_t hexDigitValue(uint16_t u) {
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

// value * Base + digit over the digits from units[i] on, wrapping silently;
// stops at the first unit that is no digit of the base.
template <class Unsigned, unsigned Base>
Unsigned accumulate(const uint16_t* units, int32_t i, int32_t n) {
    Unsigned value = 0;
    for (; i < n; ++i) {
        const int32_t digit = Base == 16 ? hexDigitValue(units[i]) : static_cast<int32_t>(units[i]) - u'0';
        if (digit < 0 || digit >= static_cast<int32_t>(Base)) break;
        value = static_cast<Unsigned>(value * Base + static_cast<Unsigned>(digit));
    }
    return value;
}

// White space, one sign, an optional "%" or "$" prefix choosing the base,
// then the digits.  Accumulates in the unsigned type of the result's width;
// the caller converts back to the signed type.
template <class Unsigned>
Unsigned parseInteger(String* s) {
    static_assert(std::is_unsigned_v<Unsigned>);
    const uint16_t* units = s->units();
    const int32_t n = s->length;
    int32_t i = 0;
    while (i < n && ovIsCWhiteSpace(units[i])) ++i;
    bool negative = false;
    if (i < n && (units[i] == u'+' || units[i] == u'-')) negative = units[i++] == u'-';
    if (i >= n) return 0;
    Unsigned value;
    if (units[i] == u'%')
        value = accumulate<Unsigned, 2>(units, i + 1, n);
    else if (units[i] == u'$')
        value = accumulate<Unsigned, 16>(units, i + 1, n);
    else
        value = accumulate<Unsigned, 10>(units, i, n);
    return negative ? static_cast<Unsigned>(0 - value) : value;
}

// atof over the text narrowed to bytes; short texts need no heap buffer.
double parseWithC(String* s) {
    ovBuffer<char, 64> text;
    ovStringNarrowInto(s, text.resize(int64_t{s->length} + 1));
    return std::atof(text.data());
}

}  // namespace

String* ovStringFromInt(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    return formatDecimal(value < 0 ? 0u - bits : bits, value < 0);
}

String* ovStringFromLong(int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    return formatDecimal(value < 0 ? 0 - bits : bits, value < 0);
}

String* ovStringFromFloat(float value) { return formatWithC("%#.9g", static_cast<double>(value)); }

String* ovStringFromDouble(double value) { return formatWithC("%#.17lg", value); }

int32_t ovStringToInt(String* s) { return static_cast<int32_t>(parseInteger<uint32_t>(s)); }

int64_t ovStringToLong(String* s) { return static_cast<int64_t>(parseInteger<uint64_t>(s)); }

float ovStringToFloat(String* s) { return static_cast<float>(parseWithC(s)); }

double ovStringToDouble(String* s) { return parseWithC(s); }
