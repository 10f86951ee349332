// Strings from C++ text and back, for every suite.
#pragma once

#include <string>
#include <string_view>

struct String;

// A new String of the units of text.
String* ovTestString(std::u16string_view text);
// A String of the bytes, one unit per byte (for ASCII paths from the tests).
String* ovTestAscii(const std::string& text);
// A String of a path's UTF-8 bytes (the platform text of file names).
String* ovTestPath(const std::string& path);
// The units of a String.
std::u16string ovTestUnits(String* s);
// The text of a String as bytes (low 8 bits of each unit).
std::string ovTestText(String* s);
