// The runtime's console primitives, clock and process end.
#pragma once

#include <cstdint>

struct String;

// Writes the text (one byte per unit, low 8 bits; a unit 0 ends it) to
// standard output or standard error and flushes the stream.
int32_t ovWriteStdout(String* text);
int32_t ovWriteStderr(String* text);
// One line of standard input without its line end; "" at end of input.
String* ovReadStdin();
// A monotonic millisecond count.
int32_t ovMillisecs();
// Sleeps for the given milliseconds; a negative value returns at once.
int32_t ovDelay(int32_t milliseconds);
// Ends the process with status 0 through exit, so C streams are flushed.
[[noreturn]] void ovEnd();
// Ends the process the same way with the given status.
[[noreturn]] void ovEndWithStatus(int32_t status);
// The failure of a C-level consistency check: raises "C Assert failed".
[[noreturn]] void ovCAssertFailed();
