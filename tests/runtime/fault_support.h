// Shared by the tests whose death statements end in the fault report.
#pragma once

#include <fcntl.h>
#include <unistd.h>

// The report waits for Enter when standard input is a terminal; a death
// test's child must not, even when the suite is run from one.
inline void detachStdinFromTerminal() {
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
}
