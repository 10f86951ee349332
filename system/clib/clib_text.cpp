// Text at the platform boundary: Strings to platform bytes and back, and the
// character classes of the C locale.
#include <cstdlib>
#include <cstring>

#include "runtime/charclass.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "system/clib/clib_utf8_internal.h"

// ---------------------------------------------------------------------------
// UTF-8 with surrogate escape
// ---------------------------------------------------------------------------

namespace {

constexpr bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The range the second byte of a sequence must lie in, which rules out
// overlong forms, encoded surrogates and values beyond U+10FFFF.
struct SecondByteRange {
    uint8_t low;
    uint8_t high;
};

constexpr SecondByteRange secondByteRange(uint8_t lead) {
    switch (lead) {
        case 0xE0: return {0xA0, 0xBF};
        case 0xED: return {0x80, 0x9F};
        case 0xF0: return {0x90, 0xBF};
        case 0xF4: return {0x80, 0x8F};
        default: return {0x80, 0xBF};
    }
}

}  // namespace

int ovUTF8SequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

int ovUTF8Check(const uint8_t* bytes, size_t available) {
    const int length = ovUTF8SequenceLength(bytes[0]);
    if (length <= 1) return length;
    const size_t present = available < static_cast<size_t>(length) ? available : static_cast<size_t>(length);
    if (present >= 2) {
        const SecondByteRange range = secondByteRange(bytes[0]);
        if (bytes[1] < range.low || bytes[1] > range.high) return 0;
    }
    for (size_t k = 2; k < present; ++k)
        if (!isContinuation(bytes[k])) return 0;
    return present == static_cast<size_t>(length) ? length : -1;
}

uint32_t ovUTF8Value(const uint8_t* bytes, int length) {
    static constexpr uint8_t kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t value = bytes[0] & kLeadMask[length];
    for (int k = 1; k < length; ++k) value = (value << 6) | (bytes[k] & 0x3Fu);
    return value;
}

int ovUTF16FromValue(uint32_t value, uint16_t* units) {
    if (value < 0x10000) {
        units[0] = static_cast<uint16_t>(value);
        return 1;
    }
    value -= 0x10000;
    units[0] = static_cast<uint16_t>(0xD800 + (value >> 10));
    units[1] = static_cast<uint16_t>(0xDC00 + (value & 0x3FF));
    return 2;
}

namespace {

constexpr bool isHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool isLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
constexpr bool isEscapedByte(uint32_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

// Walks the units up to the first 0 unit and hands each platform byte to the
// sink; the one walk serves both for measuring and for filling.
template <class Sink>
void encodeEscaped(const uint16_t* units, int32_t count, Sink&& put) {
    for (int32_t i = 0; i < count; ++i) {
        uint32_t u = units[i];
        if (u == 0) return;
        if (u < 0x80) {
            put(u);
        } else if (u < 0x800) {
            put(0xC0 | (u >> 6));
            put(0x80 | (u & 0x3F));
        } else if (isHighSurrogate(u) && i + 1 < count && isLowSurrogate(units[i + 1])) {
            const uint32_t value = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00u);
            put(0xF0 | (value >> 18));
            put(0x80 | ((value >> 12) & 0x3F));
            put(0x80 | ((value >> 6) & 0x3F));
            put(0x80 | (value & 0x3F));
        } else if (isEscapedByte(u)) {
            put(u - 0xDC00);
        } else {
            put(0xE0 | (u >> 12));
            put(0x80 | ((u >> 6) & 0x3F));
            put(0x80 | (u & 0x3F));
        }
    }
}

template <class Sink>
void encodeNarrow(const uint16_t* units, int32_t count, Sink&& put) {
    for (int32_t i = 0; i < count && units[i] != 0; ++i) put(units[i] & 0xFFu);
}

// Decodes the bytes and hands each unit to the sink: valid UTF-8 as its
// units, every other byte as U+DC00 + byte.
template <class Sink>
void decodeEscaped(const uint8_t* bytes, size_t count, Sink&& put) {
    size_t i = 0;
    while (i < count) {
        const int length = ovUTF8Check(bytes + i, count - i);
        if (length <= 0) {
            put(0xDC00u + bytes[i]);
            ++i;
            continue;
        }
        uint16_t units[2];
        const int n = ovUTF16FromValue(ovUTF8Value(bytes + i, length), units);
        for (int k = 0; k < n; ++k) put(units[k]);
        i += static_cast<size_t>(length);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Strings to platform text
// ---------------------------------------------------------------------------

ovPlatformText::ovPlatformText(String* text) : ovPlatformText(text, ovUseWideApi) {}

ovPlatformText::ovPlatformText(String* text, int32_t wide) : data_(inline_), size_(0) { convert(text, wide); }

ovPlatformText::~ovPlatformText() {
    if (data_ != inline_) std::free(data_);
}

void ovPlatformText::convert(String* text, int32_t wide) {
    inline_[0] = 0;
    if (text == nullptr || text->length <= 0) return;
    const uint16_t* units = text->units();
    const int32_t count = text->length;
    size_t needed = 0;
    auto measure = [&needed](uint32_t) { ++needed; };
    if (wide) encodeEscaped(units, count, measure);
    else encodeNarrow(units, count, measure);
    if (needed + 1 > kInlineBytes) {
        data_ = static_cast<char*>(std::malloc(needed + 1));
        if (data_ == nullptr) {
            // Without memory the call goes out with an empty text and fails
            // the way the platform fails for it.
            data_ = inline_;
            return;
        }
    }
    auto fill = [this](uint32_t byte) { data_[size_++] = static_cast<char>(byte); };
    if (wide) encodeEscaped(units, count, fill);
    else encodeNarrow(units, count, fill);
    data_[size_] = 0;
}

// ---------------------------------------------------------------------------
// Platform text to Strings
// ---------------------------------------------------------------------------

String* ovStringFromPlatformBytes(const char* bytes, size_t count, int32_t wide) {
    if (bytes == nullptr || count == 0) return &ovEmptyString;
    // No byte gives more than one unit, so this bound keeps every result
    // within the String limit.
    if (count > static_cast<size_t>(OV_STRING_MAX_LENGTH)) count = OV_STRING_MAX_LENGTH;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes);
    if (!wide) return ovStringFromBytes(data, static_cast<int32_t>(count));
    int32_t units = 0;
    decodeEscaped(data, count, [&units](uint32_t) { ++units; });
    String* s = ovStringNew(units);
    uint16_t* out = s->units();
    decodeEscaped(data, count, [&out](uint32_t u) { *out++ = static_cast<uint16_t>(u); });
    return s;
}

String* ovStringFromPlatform(const char* text) {
    if (text == nullptr) return &ovEmptyString;
    return ovStringFromPlatformBytes(text, std::strlen(text), ovUseWideApi);
}

// ---------------------------------------------------------------------------
// Character classes
// ---------------------------------------------------------------------------

namespace {

enum CharClassBit : uint16_t {
    kSpace = 1 << 0,
    kBlank = 1 << 1,
    kDigit = 1 << 2,
    kXDigit = 1 << 3,
    kUpper = 1 << 4,
    kLower = 1 << 5,
    kPunct = 1 << 6,
    kPrint = 1 << 7,
    kCntrl = 1 << 8,
};

constexpr uint16_t classesOf(int c) {
    uint16_t bits = 0;
    if (ovIsCWhiteSpace(static_cast<uint32_t>(c))) bits |= kSpace;
    if (c == ' ' || c == '\t') bits |= kBlank;
    if (c >= '0' && c <= '9') bits |= kDigit | kXDigit;
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) bits |= kXDigit;
    if (c >= 'A' && c <= 'Z') bits |= kUpper;
    if (c >= 'a' && c <= 'z') bits |= kLower;
    if (c >= 32 && c <= 126) bits |= kPrint;
    if (c < 32 || c == 127) bits |= kCntrl;
    const bool alnum = (bits & (kDigit | kUpper | kLower)) != 0;
    if ((bits & kPrint) && !alnum && c != ' ') bits |= kPunct;
    return bits;
}

struct CharClassTable {
    uint16_t bits[256];
};

constexpr CharClassTable kCharClasses = [] {
    CharClassTable table{};
    for (int c = 0; c < 128; ++c) table.bits[c] = classesOf(c);
    return table;
}();

int32_t hasClass(int32_t c, uint16_t bits) {
    if (c < 0 || c > 255) return 0;
    return (kCharClasses.bits[c] & bits) != 0 ? 1 : 0;
}

}  // namespace

int32_t ovCharIsSpace(int32_t c) { return hasClass(c, kSpace); }
int32_t ovCharIsBlank(int32_t c) { return hasClass(c, kBlank); }
int32_t ovCharIsDigit(int32_t c) { return hasClass(c, kDigit); }
int32_t ovCharIsXDigit(int32_t c) { return hasClass(c, kXDigit); }
int32_t ovCharIsAlpha(int32_t c) { return hasClass(c, kUpper | kLower); }
int32_t ovCharIsAlnum(int32_t c) { return hasClass(c, kUpper | kLower | kDigit); }
int32_t ovCharIsUpper(int32_t c) { return hasClass(c, kUpper); }
int32_t ovCharIsLower(int32_t c) { return hasClass(c, kLower); }
int32_t ovCharIsPunct(int32_t c) { return hasClass(c, kPunct); }
int32_t ovCharIsPrint(int32_t c) { return hasClass(c, kPrint); }
int32_t ovCharIsCntrl(int32_t c) { return hasClass(c, kCntrl); }
