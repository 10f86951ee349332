// The stream core: the raw I/O class TIO, the stream class TStream with its
// typed and text operations, the stream exceptions, and the module functions
// that forward to the methods and copy between streams.  The wrappers live in
// streams/wrapper.h, opening by name in streams/factory.h, and loading and
// saving whole targets in streams/load_save.h.
//
// A concrete stream overrides the raw operations of TIO (Read, Write and the
// position queries); every typed operation of TStream is written in terms of
// the virtual Read, Write, ReadBytes and WriteBytes, so it works on any
// stream.  Typed values travel in little-endian order (the machine's own).
#pragma once

#include <cstdint>

#include "runtime/exception.h"
#include "runtime/object.h"

struct TIO;
struct TStream;

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

struct TStreamException : Object {};
struct TStreamReadException : TStreamException {};   // "Error reading from stream"
struct TStreamWriteException : TStreamException {};  // "Error writing to stream"

String* TStreamReadExceptionToString(Object* self);
String* TStreamWriteExceptionToString(Object* self);

extern const ovScope TStreamExceptionScope, TStreamReadExceptionScope, TStreamWriteExceptionScope;
extern const ObjectClass TStreamExceptionType, TStreamReadExceptionType, TStreamWriteExceptionType;

inline constexpr ObjectClass TStreamExceptionType =
    ovExceptionClass<TStreamExceptionType>(ObjectType, &TStreamExceptionScope);
inline constexpr ObjectClass TStreamReadExceptionType = ovExceptionClass<TStreamReadExceptionType>(
    TStreamExceptionType, &TStreamReadExceptionScope, TStreamReadExceptionToString);
inline constexpr ObjectClass TStreamWriteExceptionType = ovExceptionClass<TStreamWriteExceptionType>(
    TStreamExceptionType, &TStreamWriteExceptionScope, TStreamWriteExceptionToString);

// Throw a new TStreamReadException / TStreamWriteException.
[[noreturn]] void ovThrowStreamRead();
[[noreturn]] void ovThrowStreamWrite();

// ---------------------------------------------------------------------------
// Class records
// ---------------------------------------------------------------------------

// TIO's operations, in slot order (see "Lists of operations" in
// runtime/object.h).  The defaults: Eof is Pos = Size, Pos -1, Size 0, Seek
// -1 (cannot seek), Flush and Close 0, and Read and Write raise "Stream is
// not readable" / "Stream is not writeable".  The last column says what a
// wrapper does with the operation: forwards it to the stream it wraps, or
// runs TStream's own over its own Read and Write.
#define OV_IO_OPERATIONS(X)                                                                  \
    X(TIO, int32_t, Eof, (), (), "()i", forwards)                                            \
    X(TIO, int32_t, Pos, (), (), "()i", forwards)                                            \
    X(TIO, int32_t, Size, (), (), "()i", forwards)                                           \
    X(TIO, int32_t, Seek, (int32_t pos), (pos), "(i)i", forwards)                            \
    X(TIO, int32_t, Flush, (), (), "()i", forwards)                                          \
    X(TIO, int32_t, Close, (), (), "()i", forwards)                                          \
    X(TIO, int32_t, Read, (uint8_t * buf, int32_t count), (buf, count), "(*b,i)i", forwards) \
    X(TIO, int32_t, Write, (const uint8_t* buf, int32_t count), (buf, count), "(*b,i)i", forwards)

// TStream's own operations, appended in slot order.
#define OV_STREAM_OPERATIONS(X)                                                                            \
    X(TStream, int32_t, ReadBytes, (uint8_t * buf, int32_t count), (buf, count), "(*b,i)i", runsOwn)       \
    X(TStream, int32_t, WriteBytes, (const uint8_t* buf, int32_t count), (buf, count), "(*b,i)i", runsOwn) \
    X(TStream, int32_t, SkipBytes, (int32_t count), (count), "(i)i", runsOwn)                              \
    X(TStream, int32_t, ReadByte, (), (), "()i", forwards)                                                 \
    X(TStream, int32_t, WriteByte, (int32_t n), (n), "(i)i", forwards)                                     \
    X(TStream, int32_t, ReadShort, (), (), "()i", forwards)                                                \
    X(TStream, int32_t, WriteShort, (int32_t n), (n), "(i)i", forwards)                                    \
    X(TStream, int32_t, ReadInt, (), (), "()i", forwards)                                                  \
    X(TStream, int32_t, WriteInt, (int32_t n), (n), "(i)i", forwards)                                      \
    X(TStream, int64_t, ReadLong, (), (), "()l", runsOwn)                                                  \
    X(TStream, int32_t, WriteLong, (int64_t n), (n), "(l)i", runsOwn)                                      \
    X(TStream, float, ReadFloat, (), (), "()f", forwards)                                                  \
    X(TStream, int32_t, WriteFloat, (float n), (n), "(f)i", forwards)                                      \
    X(TStream, double, ReadDouble, (), (), "()d", forwards)                                                \
    X(TStream, int32_t, WriteDouble, (double n), (n), "(d)i", forwards)                                    \
    X(TStream, String*, ReadLine, (), (), "()$", forwards)                                                 \
    X(TStream, int32_t, WriteLine, (String * text), (text), "($)i", forwards)                              \
    X(TStream, String*, ReadString, (int32_t length), (length), "(i)$", forwards)                          \
    X(TStream, int32_t, WriteString, (String * text), (text), "($)i", forwards)                            \
    X(TStream, Object*, ReadObject, (), (), "():Object", forwards)                                         \
    X(TStream, int32_t, WriteObject, (Object * obj), (obj), "(:Object)i", forwards)

struct TIOClass : ObjectClass {
    OV_IO_OPERATIONS(OV_SLOT)
};

struct TStreamClass : TIOClass {
    OV_STREAM_OPERATIONS(OV_SLOT)
};

// ---------------------------------------------------------------------------
// Instances
// ---------------------------------------------------------------------------

struct TIO : Object {
    OV_IO_OPERATIONS(OV_DISPATCH)
};

struct TStream : TIO {
    OV_STREAM_OPERATIONS(OV_DISPATCH)
};

// True while the stream's class still holds base's operation in the slot (no
// class between them replaced it), so a fast path may do what that operation
// does without dispatching.  base is the record of a class the stream's
// class may derive from; slot is named by the record that introduced it:
//
//     ovUsesOperationOf(stream, &TStreamClass::ReadLine, TCStreamType)
template <class Record, class Slot, class BaseRecord>
inline bool ovUsesOperationOf(TIO* stream, Slot Record::*slot, const BaseRecord& base) {
    return stream->record<Record>()->*slot == static_cast<const Record&>(base).*slot;
}

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------
//
// TIO's and TStream's own functions (TIOEof ... TStreamWriteObject), for
// the records below and for subclasses that extend them.

int32_t TIONew(Object* self);
int32_t TIODelete(Object* self);
OV_IO_OPERATIONS(OV_DECLARE_OWN)

int32_t TStreamNew(Object* self);
int32_t TStreamDelete(Object* self);
OV_STREAM_OPERATIONS(OV_DECLARE_OWN)

extern const ovScope TIOScope, TStreamScope;
extern const TIOClass TIOType;
extern const TStreamClass TStreamType;

inline constexpr TIOClass TIOType = ovMakeClass<TIOClass, TIO>(ObjectType, &TIOScope, [](auto& r) {
    r.New = TIONew;
    r.Delete = TIODelete;
    OV_IO_OPERATIONS(OV_FILL_OWN)
});

inline constexpr TStreamClass TStreamType = ovMakeClass<TStreamClass, TStream>(TIOType, &TStreamScope, [](auto& r) {
    r.New = TStreamNew;
    r.Delete = TStreamDelete;
    OV_STREAM_OPERATIONS(OV_FILL_OWN)
});

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

// Forward to the method of the same meaning.  The reading ones return the
// method's result; StreamFlush, StreamClose and the writing ones return 0.
int32_t StreamEof(TStream* stream);
int32_t StreamPosition(TStream* stream);
int32_t StreamLength(TStream* stream);
int32_t StreamSeek(TStream* stream, int32_t pos);
int32_t StreamFlush(TStream* stream);
int32_t StreamClose(TStream* stream);
int32_t StreamReadByte(TStream* stream);
int32_t StreamReadShort(TStream* stream);
int32_t StreamReadInt(TStream* stream);
int64_t StreamReadLong(TStream* stream);
float StreamReadFloat(TStream* stream);
double StreamReadDouble(TStream* stream);
String* StreamReadString(TStream* stream, int32_t length);
String* StreamReadLine(TStream* stream);
int32_t StreamWriteByte(TStream* stream, int32_t n);
int32_t StreamWriteShort(TStream* stream, int32_t n);
int32_t StreamWriteInt(TStream* stream, int32_t n);
int32_t StreamWriteLong(TStream* stream, int64_t n);
int32_t StreamWriteFloat(TStream* stream, float n);
int32_t StreamWriteDouble(TStream* stream, double n);
int32_t StreamWriteString(TStream* stream, String* text);
int32_t StreamWriteLine(TStream* stream, String* text);

// Copies until from reaches its end (or a read returns nothing).
int32_t StreamCopyAll(TStream* from, TStream* to, int32_t bufferSize);
// Copies exactly count bytes; a short source throws TStreamReadException.
int32_t StreamCopyCount(TStream* from, TStream* to, int32_t count, int32_t bufferSize);

// ---------------------------------------------------------------------------
// Closing by construction
// ---------------------------------------------------------------------------

// Closes a stream on every way out of the scope that opened it.  The normal
// way out calls close() and sees its result; when an exception leaves the
// scope, the destructor closes the stream, and an error of that close gives
// way to the exception already in flight, so no handle waits for a later
// collection.
class ovStreamCloser {
public:
    explicit ovStreamCloser(TIO* stream) : stream_(stream) {}
    ~ovStreamCloser();
    ovStreamCloser(const ovStreamCloser&) = delete;
    ovStreamCloser& operator=(const ovStreamCloser&) = delete;

    // Closes now and returns what Close returned; the destructor then does
    // nothing.
    int32_t close();
    // Closes a stream that a save or copy wrote into.  A close that reports
    // lost data (the last flush failed, as on a full disk with small data)
    // throws TStreamWriteException, as a short write does.
    void closeWritten();

private:
    TIO* stream_;
};
