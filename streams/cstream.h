// TCStream: a stream over a C-library file handle.
//
// Position and size are kept by the object (Int, so files up to 2 GiB - 1).
// Over a handle that cannot seek (pipe, FIFO, terminal) Pos is -1 and Size 0,
// and Eof turns true only once a read has returned nothing.
#pragma once

#include <cstdint>
#include <cstdio>

#include "runtime/object.h"
#include "streams/stream.h"

struct TCStream;

// TCStream's class functions, in slot order (see "Lists of operations" in
// runtime/object.h).  OpenFile opens the file ("rb", "wb" or "r+b" by the
// flags); the Null object when it cannot be opened or names a directory.
// CreateWithCStream gives a stream that owns the open handle, starting at
// the handle's position; the Null object for a null handle.
#define OV_CSTREAM_FUNCTIONS(X)                                                            \
    X(TCStream, TCStream*, OpenFile, (String * path, int32_t readable, int32_t writeable), \
      (path, readable, writeable), "($,i,i):TCStream")                                     \
    X(TCStream, TCStream*, CreateWithCStream, (std::FILE * cstream, int32_t mode), (cstream, mode), "(*b,i):TCStream")

struct TCStreamClass : TStreamClass {
    OV_CSTREAM_FUNCTIONS(OV_FUNCTION_SLOT)
};

struct TCStream : TStream {
    static constexpr int32_t MODE_READ = 1;
    static constexpr int32_t MODE_WRITE = 2;

    int32_t _pos;
    int32_t _size;
    std::FILE* _cstream;   // 0 once closed
    int32_t _mode;         // MODE_READ, MODE_WRITE or both, as opened
    int32_t _unseekable;   // 1 over a pipe, FIFO or terminal: Pos -1, Size 0
    int32_t _atEnd;        // unseekable handles only: the last read brought nothing
    int32_t _writeFailed;  // 1 once a flush or the close failed: written data was lost
};

OV_CSTREAM_FUNCTIONS(OV_DECLARE_OWN_FUNCTION)

// The operations of TCStream.  Dropping the last reference closes the file;
// a closed stream is at its end (Pos and Size 0, Eof 1) and touches no handle.
// Flush and Close return 0, or -1 once a flush or the close has failed (a
// full disk takes small writes into the C buffer and fails only there): the
// data written was lost, and a later Flush or the Close still says so.
int32_t TCStreamNew(Object* self);
int32_t TCStreamDelete(Object* self);
int32_t TCStreamEof(TIO* self);
int32_t TCStreamPos(TIO* self);
int32_t TCStreamSize(TIO* self);
int32_t TCStreamSeek(TIO* self, int32_t pos);
int32_t TCStreamRead(TIO* self, uint8_t* buf, int32_t count);
int32_t TCStreamWrite(TIO* self, const uint8_t* buf, int32_t count);
int32_t TCStreamFlush(TIO* self);
int32_t TCStreamClose(TIO* self);
// TStream's ReadLine, its stops searched sixteen bytes a step in the handle's buffer
// instead of one dispatched Read: the same line, position and end.  A
// subclass that replaces Read gets TStream's ReadLine over its own Read.
String* TCStreamReadLine(TStream* self);

extern const ovScope TCStreamScope;
extern const TCStreamClass TCStreamType;

inline constexpr TCStreamClass TCStreamType =
    ovMakeClass<TCStreamClass, TCStream>(TStreamType, &TCStreamScope, [](auto& r) {
        r.New = TCStreamNew;
        r.Delete = TCStreamDelete;
        r.Eof = TCStreamEof;
        r.Pos = TCStreamPos;
        r.Size = TCStreamSize;
        r.Seek = TCStreamSeek;
        r.Read = TCStreamRead;
        r.Write = TCStreamWrite;
        r.Flush = TCStreamFlush;
        r.Close = TCStreamClose;
        r.ReadLine = TCStreamReadLine;
        OV_CSTREAM_FUNCTIONS(OV_FILL_OWN)
    });

// True while the stream's ReadLine is TStream's or the file stream's (which
// reads the same bytes from the handle's buffer): a line is then its bytes,
// one character each, ended by LF, NUL or the data's end, with CRs dropped.
inline bool ovReadsLinesAsBytes(TStream* stream) {
    return ovUsesOperationOf(stream, &TStreamClass::ReadLine, TStreamType) ||
           ovUsesOperationOf(stream, &TStreamClass::ReadLine, TCStreamType);
}
