#include "tests/support/text_test_support.h"

#include "runtime/string.h"

String* ovTestString(std::u16string_view text) {
    return ovStringFromShorts(reinterpret_cast<const uint16_t*>(text.data()), static_cast<int32_t>(text.size()));
}

String* ovTestAscii(const std::string& text) {
    return ovStringFromBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

String* ovTestPath(const std::string& path) { return ovStringFromUTF8String(path.c_str()); }

std::u16string ovTestUnits(String* s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s->units()), static_cast<size_t>(s->length));
}

std::string ovTestText(String* s) {
    std::string text;
    for (int32_t i = 0; i < s->length; ++i) text.push_back(static_cast<char>(s->units()[i]));
    return text;
}
