// Standard I/O: the process's console stream and the line functions on it.
//
// ConsoleStream is a UTF-8 text stream over a TCStandardIO, the raw stream of
// the C library's standard input and output.  It is created once by the
// module's initialiser and held for the life of the process.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/stream.h"

struct TTextStream;

// Reads standard input and writes standard output.  Everything else is
// TStream's: Pos -1, Size 0, so Eof is never true, Seek is -1 and Close does
// nothing (the standard streams are never closed).
struct TCStandardIO : TStream {};

// Flush returns -1 when the flush failed (what it held is lost); Write
// returns the bytes written, fewer on a failure.
int32_t TCStandardIOFlush(TIO* self);
// 0 at the end of input, which makes the whole-value reads of TStream throw.
int32_t TCStandardIORead(TIO* self, uint8_t* buf, int32_t count);
int32_t TCStandardIOWrite(TIO* self, const uint8_t* buf, int32_t count);

// The errno of the first write or flush of standard output through a
// TCStandardIO that failed, 0 while none has.
int ConsoleOutputError();

extern const ovScope TCStandardIOScope;
extern const TStreamClass TCStandardIOType;

inline constexpr TStreamClass TCStandardIOType =
    ovMakeClass<TStreamClass, TCStandardIO>(TStreamType, &TCStandardIOScope, [](auto& r) {
        r.New = ovFieldlessNew<TCStandardIOType>;
        r.Delete = ovChainDelete<TCStandardIOType>;
        r.Flush = TCStandardIOFlush;
        r.Read = TCStandardIORead;
        r.Write = TCStandardIOWrite;
    });

// The console stream; the Null object until the module is initialised.
extern ovRef<TTextStream> ConsoleStream;

// Writes the text and a line end (CR LF) in UTF-8 and flushes.  Returns 0.
int32_t PrintLine(String* text);
// Writes the prompt (no line end), flushes, and returns the next line of
// input without its line end (carriage returns dropped).  At the end of input
// it throws TStreamReadException; the characters of the unfinished line are
// lost.
String* InputLine(String* prompt);

// The standard I/O module's initialiser: runs the core, stream and text
// stream modules' initialisers, registers TCStandardIO and creates
// ConsoleStream, once.
void ovStdioModuleInit();
