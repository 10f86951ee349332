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
struct TStreamReadException : TStreamException {};    // "Error reading from stream"
struct TStreamWriteException : TStreamException {};   // "Error writing to stream"

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

// TIO's operations, in slot order.  The defaults: Eof is Pos = Size, Pos -1,
// Size 0, Seek -1 (cannot seek), Flush and Close 0, and Read and Write raise
// "Stream is not readable" / "Stream is not writeable".
struct TIOClass : ObjectClass {
    int32_t (*Eof)(TIO* self);
    int32_t (*Pos)(TIO* self);
    int32_t (*Size)(TIO* self);
    int32_t (*Seek)(TIO* self, int32_t pos);
    int32_t (*Flush)(TIO* self);
    int32_t (*Close)(TIO* self);
    int32_t (*Read)(TIO* self, uint8_t* buf, int32_t count);
    int32_t (*Write)(TIO* self, const uint8_t* buf, int32_t count);
};

// TStream's own operations, appended in slot order.
struct TStreamClass : TIOClass {
    int32_t (*ReadBytes)(TStream* self, uint8_t* buf, int32_t count);
    int32_t (*WriteBytes)(TStream* self, const uint8_t* buf, int32_t count);
    int32_t (*SkipBytes)(TStream* self, int32_t count);
    int32_t (*ReadByte)(TStream* self);
    int32_t (*WriteByte)(TStream* self, int32_t n);
    int32_t (*ReadShort)(TStream* self);
    int32_t (*WriteShort)(TStream* self, int32_t n);
    int32_t (*ReadInt)(TStream* self);
    int32_t (*WriteInt)(TStream* self, int32_t n);
    int64_t (*ReadLong)(TStream* self);
    int32_t (*WriteLong)(TStream* self, int64_t n);
    float (*ReadFloat)(TStream* self);
    int32_t (*WriteFloat)(TStream* self, float n);
    double (*ReadDouble)(TStream* self);
    int32_t (*WriteDouble)(TStream* self, double n);
    String* (*ReadLine)(TStream* self);
    int32_t (*WriteLine)(TStream* self, String* text);
    String* (*ReadString)(TStream* self, int32_t length);
    int32_t (*WriteString)(TStream* self, String* text);
    Object* (*ReadObject)(TStream* self);
    int32_t (*WriteObject)(TStream* self, Object* obj);
};


// ---------------------------------------------------------------------------
// Instances
// ---------------------------------------------------------------------------

struct TIO : Object {
    inline int32_t Eof();
    inline int32_t Pos();
    inline int32_t Size();
    inline int32_t Seek(int32_t pos);
    inline int32_t Flush();
    inline int32_t Close();
    inline int32_t Read(uint8_t* buf, int32_t count);
    inline int32_t Write(const uint8_t* buf, int32_t count);
};

struct TStream : TIO {
    inline int32_t ReadBytes(uint8_t* buf, int32_t count);
    inline int32_t WriteBytes(const uint8_t* buf, int32_t count);
    inline int32_t SkipBytes(int32_t count);
    inline int32_t ReadByte();
    inline int32_t WriteByte(int32_t n);
    inline int32_t ReadShort();
    inline int32_t WriteShort(int32_t n);
    inline int32_t ReadInt();
    inline int32_t WriteInt(int32_t n);
    inline int64_t ReadLong();
    inline int32_t WriteLong(int64_t n);
    inline float ReadFloat();
    inline int32_t WriteFloat(float n);
    inline double ReadDouble();
    inline int32_t WriteDouble(double n);
    inline String* ReadLine();
    inline int32_t WriteLine(String* text);
    inline String* ReadString(int32_t length);
    inline int32_t WriteString(String* text);
    inline Object* ReadObject();
    inline int32_t WriteObject(Object* obj);
};

inline int32_t TIO::Eof() { return record<TIOClass>()->Eof(this); }
inline int32_t TIO::Pos() { return record<TIOClass>()->Pos(this); }
inline int32_t TIO::Size() { return record<TIOClass>()->Size(this); }
inline int32_t TIO::Seek(int32_t pos) { return record<TIOClass>()->Seek(this, pos); }
inline int32_t TIO::Flush() { return record<TIOClass>()->Flush(this); }
inline int32_t TIO::Close() { return record<TIOClass>()->Close(this); }
inline int32_t TIO::Read(uint8_t* buf, int32_t count) { return record<TIOClass>()->Read(this, buf, count); }
inline int32_t TIO::Write(const uint8_t* buf, int32_t count) { return record<TIOClass>()->Write(this, buf, count); }

inline int32_t TStream::ReadBytes(uint8_t* buf, int32_t count) {
    return record<TStreamClass>()->ReadBytes(this, buf, count);
}
inline int32_t TStream::WriteBytes(const uint8_t* buf, int32_t count) {
    return record<TStreamClass>()->WriteBytes(this, buf, count);
}
inline int32_t TStream::SkipBytes(int32_t count) { return record<TStreamClass>()->SkipBytes(this, count); }
inline int32_t TStream::ReadByte() { return record<TStreamClass>()->ReadByte(this); }
inline int32_t TStream::WriteByte(int32_t n) { return record<TStreamClass>()->WriteByte(this, n); }
inline int32_t TStream::ReadShort() { return record<TStreamClass>()->ReadShort(this); }
inline int32_t TStream::WriteShort(int32_t n) { return record<TStreamClass>()->WriteShort(this, n); }
inline int32_t TStream::ReadInt() { return record<TStreamClass>()->ReadInt(this); }
inline int32_t TStream::WriteInt(int32_t n) { return record<TStreamClass>()->WriteInt(this, n); }
inline int64_t TStream::ReadLong() { return record<TStreamClass>()->ReadLong(this); }
inline int32_t TStream::WriteLong(int64_t n) { return record<TStreamClass>()->WriteLong(this, n); }
inline float TStream::ReadFloat() { return record<TStreamClass>()->ReadFloat(this); }
inline int32_t TStream::WriteFloat(float n) { return record<TStreamClass>()->WriteFloat(this, n); }
inline double TStream::ReadDouble() { return record<TStreamClass>()->ReadDouble(this); }
inline int32_t TStream::WriteDouble(double n) { return record<TStreamClass>()->WriteDouble(this, n); }
inline String* TStream::ReadLine() { return record<TStreamClass>()->ReadLine(this); }
inline int32_t TStream::WriteLine(String* text) { return record<TStreamClass>()->WriteLine(this, text); }
inline String* TStream::ReadString(int32_t length) { return record<TStreamClass>()->ReadString(this, length); }
inline int32_t TStream::WriteString(String* text) { return record<TStreamClass>()->WriteString(this, text); }
inline Object* TStream::ReadObject() { return record<TStreamClass>()->ReadObject(this); }
inline int32_t TStream::WriteObject(Object* obj) { return record<TStreamClass>()->WriteObject(this, obj); }

// The Null object as a stream; net/ still names it so, everything else
// says ovNullOf<TStream>().
inline TStream* ovNullStream() { return ovNullOf<TStream>(); }

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------
//
// The operations of TIO and TStream by their slot names, for the records
// below and for subclasses that extend them.  TIO's defaults: Eof is
// Pos = Size, Pos -1, Size 0, Seek -1 (cannot seek), Flush and Close 0, and
// Read and Write raise "Stream is not readable" / "Stream is not writeable".

int32_t TIONew(Object* self);
int32_t TIODelete(Object* self);
int32_t TIOEof(TIO* self);
int32_t TIOPos(TIO* self);
int32_t TIOSize(TIO* self);
int32_t TIOSeek(TIO* self, int32_t pos);
int32_t TIOFlush(TIO* self);
int32_t TIOClose(TIO* self);
int32_t TIORead(TIO* self, uint8_t* buf, int32_t count);
int32_t TIOWrite(TIO* self, const uint8_t* buf, int32_t count);

int32_t TStreamNew(Object* self);
int32_t TStreamDelete(Object* self);
int32_t TStreamReadBytes(TStream* self, uint8_t* buf, int32_t count);
int32_t TStreamWriteBytes(TStream* self, const uint8_t* buf, int32_t count);
int32_t TStreamSkipBytes(TStream* self, int32_t count);
int32_t TStreamReadByte(TStream* self);
int32_t TStreamWriteByte(TStream* self, int32_t n);
int32_t TStreamReadShort(TStream* self);
int32_t TStreamWriteShort(TStream* self, int32_t n);
int32_t TStreamReadInt(TStream* self);
int32_t TStreamWriteInt(TStream* self, int32_t n);
int64_t TStreamReadLong(TStream* self);
int32_t TStreamWriteLong(TStream* self, int64_t n);
float TStreamReadFloat(TStream* self);
int32_t TStreamWriteFloat(TStream* self, float n);
double TStreamReadDouble(TStream* self);
int32_t TStreamWriteDouble(TStream* self, double n);
String* TStreamReadLine(TStream* self);
int32_t TStreamWriteLine(TStream* self, String* text);
String* TStreamReadString(TStream* self, int32_t length);
int32_t TStreamWriteString(TStream* self, String* text);
Object* TStreamReadObject(TStream* self);
int32_t TStreamWriteObject(TStream* self, Object* obj);

extern const ovScope TIOScope, TStreamScope;
extern const TIOClass TIOType;
extern const TStreamClass TStreamType;

inline constexpr TIOClass TIOType = ovMakeClass<TIOClass, TIO>(ObjectType, &TIOScope, [](auto& r) {
    r.New = TIONew;
    r.Delete = TIODelete;
    r.Eof = TIOEof;
    r.Pos = TIOPos;
    r.Size = TIOSize;
    r.Seek = TIOSeek;
    r.Flush = TIOFlush;
    r.Close = TIOClose;
    r.Read = TIORead;
    r.Write = TIOWrite;
});

inline constexpr TStreamClass TStreamType = ovMakeClass<TStreamClass, TStream>(TIOType, &TStreamScope, [](auto& r) {
    r.New = TStreamNew;
    r.Delete = TStreamDelete;
    r.ReadBytes = TStreamReadBytes;
    r.WriteBytes = TStreamWriteBytes;
    r.SkipBytes = TStreamSkipBytes;
    r.ReadByte = TStreamReadByte;
    r.WriteByte = TStreamWriteByte;
    r.ReadShort = TStreamReadShort;
    r.WriteShort = TStreamWriteShort;
    r.ReadInt = TStreamReadInt;
    r.WriteInt = TStreamWriteInt;
    r.ReadLong = TStreamReadLong;
    r.WriteLong = TStreamWriteLong;
    r.ReadFloat = TStreamReadFloat;
    r.WriteFloat = TStreamWriteFloat;
    r.ReadDouble = TStreamReadDouble;
    r.WriteDouble = TStreamWriteDouble;
    r.ReadLine = TStreamReadLine;
    r.WriteLine = TStreamWriteLine;
    r.ReadString = TStreamReadString;
    r.WriteString = TStreamWriteString;
    r.ReadObject = TStreamReadObject;
    r.WriteObject = TStreamWriteObject;
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

