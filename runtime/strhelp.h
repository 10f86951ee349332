// The string helper module: text functions that count positions from 1,
// built on the 0-based String operations.  An empty result is always
// ovEmptyString; out-of-range positions and counts never fail.
#pragma once

#include <cstdint>

#include "runtime/string.h"

// The units from position on, at most count of them (a negative count: up to
// the end).  A position below 1 drops the part before the text, except with a
// negative count, where it is padded with spaces.
String* Substring(String* s, int32_t position, int32_t count);
// Position of the first occurrence of sub at or after position start, or 0.
int32_t PositionOf(String* s, String* sub, int32_t start);
// The first (last) n units, or all of s when n >= length.
String* LeftPart(String* s, int32_t n);
String* RightPart(String* s, int32_t n);
// max(n, 0) units: the first (last) n of s, padded with spaces on the right
// (left).
String* AlignLeft(String* s, int32_t n);
String* AlignRight(String* s, int32_t n);

String* ReplaceAll(String* s, String* find, String* with);
String* TrimBlanks(String* s);
String* LowerCase(String* s);
String* UpperCase(String* s);

// Every digit of the two's-complement bits, most significant first:
// 8 and 32 digits for an Int, 16 and 64 for a Long; hex digits upper case.
String* IntToHex(int32_t value);
String* IntToBin(int32_t value);
String* LongToHex(int64_t value);
String* LongToBin(int64_t value);

// The umbrella initialiser that brings up every standard module lives above
// the runtime core; start-up registers it here.
void ovSetUmbrellaInitializer(void (*initializer)());
// Runs once: the core module's initialiser, then the umbrella initialiser (if
// one is registered).  Returns 0.
int32_t ovStrHelpModuleInit();
