// bitrun: chooses the program file, loads it, runs it and ends the process.
#pragma once

#include <cstdint>

#include "app/program.h"

struct Array;
struct String;
struct TStream;

// The application entry that start-up runs: once, the core module's
// initialiser, then RunInterpreter.
int32_t InterpreterEntry();
// Runs once (a second call returns 0): the module initialisers, then the
// whole run; it ends the process itself.
int32_t RunInterpreter();

// The interpreter's module imports, once each: core, file system, string
// helpers (which bring up every other module).
void InitInterpreterModules();

// The program file the arguments name: the first non-Null element after
// element 0 (the executable's path), or "code.txt" when there is none.
String* ChooseProgramFile(Array* arguments);

// Opens the program file for reading: the name as it is (relative names
// resolve against the executable's directory, the working directory), and
// for a plain relative name found nowhere there, the same name in the
// directory the process was started from.  The Null object when neither
// opens.
TStream* OpenProgramFile(String* name);

// The bound bitrun puts on the connect and on each wait for data of a
// program named with the "tcp" or "http" protocol.
inline constexpr int32_t kNetworkWaitMs = 30000;

// kNotFound: the file could not be opened, or its data stopped coming before
// its end (a wait ran out, a read failed).
enum class LoadResult { kLoaded, kNotFound, kTooLong };
// Loads the commands of every line of the file into the program.  A name
// with the "tcp" or "http" protocol is read straight from its connection,
// under the bound its socket starts with (SockSetDefaultTimeout).
LoadResult LoadProgram(String* name, Program& program);
