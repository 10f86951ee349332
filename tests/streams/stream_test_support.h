// Streams and helpers for the stream tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "streams/stream.h"
#include "tests/support/text_test_support.h"
#include "tests/support/thrown_test_support.h"

// A stream over bytes held in C++ memory.  Read hands out at most `chunk`
// bytes a call (0: no limit); Write accepts bytes until `writeLimit` bytes
// have been written in all (-1: no limit) and then returns 0.  With
// `eofNever` set, Eof stays 0 even at the end of the data; with `sizeUnknown`
// set, Pos is -1 (and Eof follows eofNever or the data's end).
struct TMemoryTestStream : TStream {
    std::string* input;
    std::string* output;
    int32_t pos;
    int32_t chunk;
    int32_t writeLimit;
    int32_t eofNever;
    int32_t sizeUnknown;
    int32_t reads;  // Read calls so far
};

TMemoryTestStream* ovTestMemoryStream(const std::string& input);

// A stream whose every operation records its name in ovSpyLog and returns
// a value of its own: Read fills the buffer with 'x' and returns the count,
// Write returns the count, Int operations return 7, ReadLine "spy".
struct TSpyStream : TStream {};
TSpyStream* ovTestSpyStream();
extern std::vector<std::string> ovSpyLog;

// The bytes of a "b" array.
std::string ovTestBytes(Array* a);


// The read end of a pipe that holds the data (up to the pipe's capacity) and
// whose write end is closed; null when the pipe cannot be made.
std::FILE* ovTestPipeHolding(const std::string& data);

// The stream module and the classes above, once.
void ovTestStreamsInit();
