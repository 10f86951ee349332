// Shared by the String and string helper tests: Strings from C++ text and
// back, and the text of a runtime error raised by a call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/support/text_test_support.h"
#include "tests/support/thrown_test_support.h"

// Short names for the conversions of tests/support, which these tests use
// on almost every line.
inline String* str(std::u16string_view units) { return ovTestString(units); }
inline std::u16string text(String* s) { return ovTestUnits(s); }

inline std::u16string raisedText(const std::function<void()>& call) { return ovTestThrownText(call); }

// A deterministic source of texts over a small alphabet: with few letters,
// they are full of matches and near misses of short patterns.
struct TextScrambler {
    uint32_t seed;
    uint32_t next() { return (seed = seed * 1103515245u + 12345u) >> 16; }
    std::u16string text(size_t length, const std::u16string& alphabet) {
        std::u16string result(length, u' ');
        for (auto& unit : result) unit = alphabet[next() % alphabet.size()];
        return result;
    }
};

// Where pattern occurs in text from left to right, each occurrence beginning
// after the end of the one before, found the plain way.
inline std::vector<size_t> occurrencesOf(const std::u16string& text, const std::u16string& pattern) {
    std::vector<size_t> found;
    for (size_t at = text.find(pattern); at != std::u16string::npos; at = text.find(pattern, at + pattern.size()))
        found.push_back(at);
    return found;
}
