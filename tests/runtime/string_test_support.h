// Shared by the String and string helper tests: Strings from C++ text and
// back, and the text of a runtime error raised by a call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/support/text_test_support.h"
#include "tests/support/thrown_test_support.h"

// Short names for the conversions of tests/support, which these tests use
// on almost every line.
inline String* str(std::u16string_view units) { return ovTestString(units); }
inline std::u16string text(String* s) { return ovTestUnits(s); }

inline std::u16string raisedText(const std::function<void()>& call) { return ovTestThrownText(call); }
