// The fault report: what a processor fault (an access violation, a stack
// overflow, a divide fault, an illegal instruction, a bus error, a
// breakpoint) ends the process with.
//
// The report is the caption "Windows exception" and the fault's name, written
// on standard error; when standard input is a terminal it then waits for
// Enter, so that a user at a console can read it.  Then hook entry 7 runs and
// the process ends with status 128 + the signal's number.  Everything on that
// path is async-signal-safe, since it runs inside the signal handlers.
#pragma once

// Runs just before the report is written, e.g. to write out buffered program
// output so that it is not lost.  It runs inside a signal handler: it may use
// async-signal-safe calls only (write(2), not stdio).
using ovFaultFlushHook = void (*)();

// Installs the handlers for SIGSEGV, SIGFPE, SIGILL, SIGBUS and SIGTRAP on an
// alternate signal stack (allocated once), so that a stack overflow is
// reported too.  Call it from the main thread at start-up: the stack guard
// that tells a stack overflow from other access violations is the calling
// thread's, and the alternate stack is installed for the calling thread.
void ovInstallFaultHandlers();

// Reports the fault of signal signo under the given name and ends the
// process, exactly as the handlers do; for faults detected in code, such as a
// zero divisor found before dividing.
[[noreturn]] void ovFaultReport(int signo, const char* name);

// The name a fault is reported under: by signal, by the signal's si_code, and
// for SIGSEGV by whether the fault address lies in the stack guard.  A signal
// this table does not know is "EXCEPTION_UNKNOWN".
const char* ovFaultName(int signo, int code, bool inStackGuard);

// Sets the hook run before every report (0: none).
void ovFaultSetFlushHook(ovFaultFlushHook hook);
