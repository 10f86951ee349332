// Text to String and back: platform bytes (UTF-8 with surrogate escape),
// runtime UTF-8, 16-bit units and one-byte text.  Each conversion returns
// what went in where the encoding can carry it.
#include <cstring>

#include "fuzz/fuzz_support.h"

namespace {

std::u16string unitsOf(const uint8_t* data, size_t size) {
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    return units;
}

// Any bytes, a NUL among them, name the same bytes again.
void checkPlatformBytes(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    String* s = ovStringFromPlatformBytes(bytes, size, 1);
    const ovPlatformText back(s, 1);
    const size_t kept = strnlen(bytes, size);
    OV_FUZZ_CHECK(back.size() == kept);  // the platform text ends at the first NUL
    OV_FUZZ_CHECK(std::memcmp(back.c_str(), bytes, kept) == 0);
}

// Every unit but 0 survives UTF-8, a lone surrogate as its own three bytes.
void checkUtf8(const std::u16string& units) {
    String* s = ovFuzzString(units.substr(0, units.find(u'\0')));
    char* utf8 = ovStringToUTF8String(s);
    String* back = ovStringFromUTF8String(utf8);
    ovMemFree(utf8);
    OV_FUZZ_CHECK(ovFuzzSame(back, s));
}

// Arbitrary bytes as runtime UTF-8: a String or the out-of-range error.
void checkUtf8Bytes(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    OV_TRY { ovStringFromUTF8String(text.c_str()); }
    OV_CATCH(e) { OV_FUZZ_CHECK(ovIsInstance(e, &StringType)); }
    OV_END_TRY
}

void checkUnitsAndBytes(const uint8_t* data, size_t size, const std::u16string& units) {
    String* wide = ovFuzzString(units);
    OV_FUZZ_CHECK(ovFuzzUnits(wide) == units);
    uint16_t* terminated = ovStringToWString(wide);
    OV_FUZZ_CHECK(ovFuzzUnits(ovStringFromWString(terminated)) == units.substr(0, units.find(u'\0')));
    ovMemFree(terminated);

    String* narrow = ovStringFromBytes(data, static_cast<int32_t>(size));
    char* bytes = ovStringToCString(narrow);
    OV_FUZZ_CHECK(std::memcmp(bytes, data, size) == 0 && bytes[size] == 0);
    ovMemFree(bytes);
}

}  // namespace

const size_t ovFuzzMaxInput = 8192;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    const std::u16string units = unitsOf(data, size);
    checkPlatformBytes(data, size);
    checkUtf8(units);
    checkUtf8Bytes(data, size);
    checkUnitsAndBytes(data, size, units);
}
