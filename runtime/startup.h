// Start-up: the road from the C runtime's main to the application and the
// process-wide globals it records on the way.
//
// The application sits above the runtime core, so it registers its entry
// (and the platform's text decoding, which the C-library layer provides) by
// function pointer before it hands control to ovEntry:
//
//     int main(int argc, char** argv) {
//         ovSetApplicationEntry(applicationEntry);
//         ovSetPlatformTextDecoder(decodePlatformText);
//         return ovEntry(argc, argv);
//     }
#pragma once

#include <cstdint>

#include "runtime/array.h"
#include "runtime/string.h"

// Globals filled once by ovStartup and read-only afterwards; each String and
// the argument array is held with a reference for the life of the process.
extern ovRef<Array> ovAppArguments;     // "$" array: the executable's path as passed, then the arguments
extern ovRef<String> ovAppPath;         // full path of the executable, "\" turned into "/"
extern ovRef<String> ovAppDirectory;    // directory part of ovAppPath, by ovAppDirectoryOf
extern ovRef<String> ovStartDirectory;  // working directory at start, "\" turned into "/"
extern ovRef<String> ovAppTitle;        // "Orvane Application"
// 1: the system layer uses the UTF-8 ("wide") variant of each platform call,
// 0: the one-byte-per-character variant.  Start-up sets it to 1.
extern int32_t ovUseWideApi;
extern int32_t ovMainThreadId;  // kernel id of the thread that ran start-up

using ovApplicationEntry = int32_t (*)();
// Turns bytes from the platform (arguments, paths) into a String.
using ovPlatformTextDecoder = String* (*)(const char* bytes);

void ovSetApplicationEntry(ovApplicationEntry entry);
// Until one is set, platform text is taken one character per byte.
void ovSetPlatformTextDecoder(ovPlatformTextDecoder decoder);

// Installs the fault report, runs ovStartup, then the application entry.
// The application normally ends the process itself; should it return,
// ovEntry returns 0.
int32_t ovEntry(int argc, char** argv);
// Fills the globals above, in order: stack base, thread system, memory
// manager, ovUseWideApi, ovStartDirectory, ovAppPath, ovAppDirectory, change
// of the working directory to it (a failure is ignored), ovAppTitle,
// ovAppArguments, ovMainThreadId.
void ovStartup(int argc, char** argv);

// 1 when called on the thread that ran start-up, else 0.
int32_t ovIsMainThread();

// The directory part of an executable's path: empty when its last "/" is at
// index 0 or there is none; otherwise the text before that "/", keeping the
// "/" itself after a drive colon ("C:/x.exe" gives "C:/").
String* ovAppDirectoryOf(String* appPath);
