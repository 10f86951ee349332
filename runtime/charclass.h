// The C library's white space (tab, line feed, vertical tab, form feed,
// carriage return and space), decided on the unsigned code so that bytes of
// 128 and above and UTF-16 units are never white space.  Number parsing,
// console line reading and the C-library layer's class table all use it.
#pragma once

#include <cstdint>

inline constexpr bool ovIsCWhiteSpace(uint32_t c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D); }
