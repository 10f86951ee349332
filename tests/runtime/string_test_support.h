// Shared by the String and string helper tests: Strings from C++ text and
// back, and the text of a runtime error raised by a call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/string.h"

// A new String of the units of text.
inline String* str(const std::u16string& text) {
    return ovStringFromShorts(reinterpret_cast<const uint16_t*>(text.data()), static_cast<int32_t>(text.size()));
}

inline std::u16string text(String* s) { return std::u16string(reinterpret_cast<const char16_t*>(s->units()), s->length); }

// The text of the String that the call throws, or "(no error)".
inline std::u16string raisedText(const std::function<void()>& call) {
    std::u16string raised = u"(no error)";
    OV_TRY { call(); }
    OV_CATCH(e) {
        if (e != ovNull && e->cls == &StringType) raised = text(static_cast<String*>(e));
        else raised = u"(not a String)";
    }
    OV_END_TRY
    return raised;
}

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
