// Where the characters of "." go.
//
// On a terminal each one is written and flushed at once, so a user sees it
// as it is produced.  Anywhere else (a file, a pipe) they are gathered in a
// buffer, which is written out before any read of standard input, before
// the interpreter's own lines, at exit, before a fault report and when the
// process is ended by SIGINT, SIGTERM or SIGHUP; no character is lost and
// the order with the interpreter's own lines is kept.  A write that fails
// (a full disk, a closed descriptor) is remembered for the end of the run.
#pragma once

#include <cstdint>

// Chooses the mode by standard output and, when buffering, installs what
// writes the buffer out at exit, on a fault and on the three signals.
void ProgramOutputStart();
void ProgramOutputPut(uint8_t code);
// Writes out whatever is buffered.
void ProgramOutputFlush();
// Writes out whatever is buffered and flushes standard output.  Returns the
// errno of the first write of standard output that failed, by "." or by the
// console stream, or 0 when everything reached it.
int ProgramOutputFinish();
