// The string helper module.  Positions arrive 1-based and are turned into
// the 0-based bounds of ovStringSlice and ovStringFind in 64 bits, so that no
// Int argument, however extreme, can wrap on the way.
#include "runtime/strhelp.h"

#include <algorithm>

#include "runtime/exception.h"
#include "runtime/string_internal.h"

String* Substring(String* s, int32_t position, int32_t count) {
    const int64_t length = s->length;
    if (position > length) return &ovEmptyString;
    int64_t p = static_cast<int64_t>(position) - 1;
    if (count < 0) return ovStringSliceWide(s, p, length);
    int64_t n = count;
    if (p < 0) {
        n += p;
        p = 0;
    }
    n = std::min(n, length - p);
    return ovStringSliceWide(s, p, p + n);
}

int32_t PositionOf(String* s, String* sub, int32_t start) {
    const int64_t from = std::max<int64_t>(static_cast<int64_t>(start) - 1, 0);
    return ovStringFind(s, sub, static_cast<int32_t>(from)) + 1;
}

String* LeftPart(String* s, int32_t n) { return ovStringSliceWide(s, 0, std::min(n, s->length)); }

String* RightPart(String* s, int32_t n) {
    const int64_t m = std::min(n, s->length);
    return ovStringSliceWide(s, s->length - m, s->length);
}

String* AlignLeft(String* s, int32_t n) { return ovStringSliceWide(s, 0, n); }

String* AlignRight(String* s, int32_t n) {
    return ovStringSliceWide(s, static_cast<int64_t>(s->length) - n, s->length);
}

String* ReplaceAll(String* s, String* find, String* with) { return ovStringReplace(s, find, with); }
String* TrimBlanks(String* s) { return ovStringTrim(s); }
String* LowerCase(String* s) { return ovStringToLower(s); }
String* UpperCase(String* s) { return ovStringToUpper(s); }

namespace {

// The low digitCount digits of value in base 2^bitsPerDigit, most significant
// first, gathered on the stack.
String* fixedDigits(uint64_t value, int32_t digitCount, int32_t bitsPerDigit) {
    uint16_t digits[64];
    const uint64_t mask = (uint64_t{1} << bitsPerDigit) - 1;
    for (int32_t i = digitCount - 1; i >= 0; --i) {
        const auto digit = static_cast<uint16_t>(value & mask);
        digits[i] = static_cast<uint16_t>(digit < 10 ? u'0' + digit : u'A' + digit - 10);
        value >>= bitsPerDigit;
    }
    return ovStringFromShorts(digits, digitCount);
}

}  // namespace

String* IntToHex(int32_t value) { return fixedDigits(static_cast<uint32_t>(value), 8, 4); }
String* IntToBin(int32_t value) { return fixedDigits(static_cast<uint32_t>(value), 32, 1); }
String* LongToHex(int64_t value) { return fixedDigits(static_cast<uint64_t>(value), 16, 4); }
String* LongToBin(int64_t value) { return fixedDigits(static_cast<uint64_t>(value), 64, 1); }

namespace {

void (*umbrellaInitializer)() = nullptr;

}  // namespace

void ovSetUmbrellaInitializer(void (*initializer)()) { umbrellaInitializer = initializer; }

// The umbrella initialiser reaches modules that may come back here.
int32_t ovStrHelpModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        if (umbrellaInitializer != nullptr) umbrellaInitializer();
    });
    return 0;
}
