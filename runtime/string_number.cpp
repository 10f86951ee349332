// Numbers to Strings and back.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
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

// 10^0 to 10^19: every power of ten that fits in 64 bits.
constexpr auto kPowersOfTen = [] {
    std::array<uint64_t, 20> powers{};
    uint64_t power = 1;
    for (auto& p : powers) {
        p = power;
        power *= 10;  // wraps harmlessly after the last
    }
    return powers;
}();

// The number of decimal digits, without a loop: 1233 / 4096 is just above
// log10(2), so the bit length gives the digit count or one more, and one
// comparison with a power of ten settles it.  Setting the lowest bit changes
// no comparison with a power of ten above 1 and gives zero its one digit.
int32_t decimalLength(uint64_t value) {
    const uint64_t odd = value | 1;
    const int bits = 64 - __builtin_clzll(odd);
    const int guess = (bits * 1233) >> 12;
    return guess + 1 - (odd < kPowersOfTen[guess] ? 1 : 0);
}

inline void writePair(uint16_t* at, uint32_t pair) {
    std::memcpy(at, kDigitPairs.units + 2 * pair, 2 * sizeof(uint16_t));
}

// The four digits of a value below 10000, leading zeros included.
inline void writeFourDigits(uint16_t* at, uint32_t value) {
    writePair(at, value / 100);
    writePair(at + 2, value % 100);
}

// Writes the digits of the magnitude backwards from end: eight at a time, as
// two halves of four whose divisions do not wait for each other, then two at
// a time.  Divisions by constants compile to multiplications; the rest below
// 10^8 is divided in 32 bits, which is cheaper than 64.
template <class Unsigned>
void writeDigitsBackwards(Unsigned magnitude, uint16_t* end) {
    for (; magnitude >= 100000000; magnitude /= 100000000) {
        const auto eight = static_cast<uint32_t>(magnitude % 100000000);
        end -= 8;
        writeFourDigits(end, eight / 10000);
        writeFourDigits(end + 4, eight % 10000);
    }
    auto rest = static_cast<uint32_t>(magnitude);
    for (; rest >= 100; rest /= 100) {
        end -= 2;
        writePair(end, rest % 100);
    }
    if (rest >= 10)
        writePair(end - 2, rest);
    else
        end[-1] = static_cast<uint16_t>(u'0' + rest);
}

// The digits go straight into the String, sized first, so the text takes one
// allocation and no copy.  Negating in unsigned arithmetic gives the
// magnitude of the most negative value too, so that needs no special case.
template <class Unsigned>
String* formatDecimal(Unsigned magnitude, bool negative) {
    const int32_t sign = negative ? 1 : 0;
    String* s = ovStringNewChecked(sign + decimalLength(magnitude));
    uint16_t* units = s->units();
    if (negative) units[0] = u'-';
    writeDigitsBackwards(magnitude, units + s->length);
    return s;
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

// value * Base + digit over the digits from units[i] on, wrapping silently
// or, when Saturate, stopping at the type's largest value; stops at the
// first unit that is no digit of the base.
template <class Unsigned, unsigned Base, bool Saturate>
Unsigned accumulate(const uint16_t* units, int32_t i, int32_t n) {
    constexpr Unsigned kLargest = std::numeric_limits<Unsigned>::max();
    Unsigned value = 0;
    for (; i < n; ++i) {
        const int32_t digit = Base == 16 ? hexDigitValue(units[i]) : static_cast<int32_t>(units[i]) - u'0';
        if (digit < 0 || digit >= static_cast<int32_t>(Base)) break;
        if (Saturate && value > (kLargest - static_cast<Unsigned>(digit)) / Base) return kLargest;
        value = static_cast<Unsigned>(value * Base + static_cast<Unsigned>(digit));
    }
    return value;
}

// White space, one sign, an optional "%" or "$" prefix choosing the base,
// then the digits: the number they name, in the unsigned type, and whether
// the sign was "-".
template <class Unsigned, bool Saturate = false>
Unsigned parseMagnitude(String* s, bool& negative) {
    static_assert(std::is_unsigned_v<Unsigned>);
    const uint16_t* units = s->units();
    const int32_t n = s->length;
    int32_t i = 0;
    while (i < n && ovIsCWhiteSpace(units[i])) ++i;
    negative = false;
    if (i < n && (units[i] == u'+' || units[i] == u'-')) negative = units[i++] == u'-';
    if (i >= n) return 0;
    if (units[i] == u'%') return accumulate<Unsigned, 2, Saturate>(units, i + 1, n);
    if (units[i] == u'$') return accumulate<Unsigned, 16, Saturate>(units, i + 1, n);
    return accumulate<Unsigned, 10, Saturate>(units, i, n);
}

// Accumulates in the unsigned type of the result's width; the caller
// converts back to the signed type.
template <class Unsigned>
Unsigned parseInteger(String* s) {
    bool negative = false;
    const Unsigned value = parseMagnitude<Unsigned>(s, negative);
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

uint64_t ovStringIntMagnitude(String* s) {
    bool negative = false;
    return parseMagnitude<uint64_t, true>(s, negative);
}

float ovStringToFloat(String* s) { return static_cast<float>(parseWithC(s)); }

double ovStringToDouble(String* s) { return parseWithC(s); }
