// Shared by the String and string helper tests: Strings from C++ text and
// back, and the text of a runtime error raised by a call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
