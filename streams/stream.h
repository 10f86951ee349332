// The stream core: the raw I/O class TIO, the stream class TStream with its
// typed and text operations, the forwarding wrapper TStreamWrapper, the
// non-closing wrapper TStreamStream, the stream exceptions, and the module
// functions that forward to the methods, load and save whole targets and copy
// between streams.
//
// A concrete stream overrides the raw operations of TIO (Read, Write and the
// position queries); every typed operation of TStream is written in terms of
// the virtual Read, Write, ReadBytes and WriteBytes, so it works on any
// stream.  Typed values travel in little-endian order (the machine's own).
#pragma once

#include <cstdint>

#include "runtime/object.h"

struct TIO;
struct TStream;
struct TStreamWrapper;
struct TStreamStream;

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

struct TStreamException : Object {};
struct TStreamReadException : TStreamException {};    // "Error reading from stream"
struct TStreamWriteException : TStreamException {};   // "Error writing to stream"

extern const ObjectClass& TStreamExceptionType;
extern const ObjectClass& TStreamReadExceptionType;
extern const ObjectClass& TStreamWriteExceptionType;

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

struct TStreamWrapperClass : TStreamClass {
    int32_t (*SetStream)(TStreamWrapper* self, TStream* stream);
};

struct TStreamStreamClass : TStreamWrapperClass {
    TStreamStream* (*Create)(TStream* stream);  // class function
};

extern const TIOClass& TIOType;
extern const TStreamClass& TStreamType;
extern const TStreamWrapperClass& TStreamWrapperType;
extern const TStreamStreamClass& TStreamStreamType;

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

// Forwards the raw and typed operations to _stream (a counted reference, Null
// at creation).  ReadBytes, WriteBytes, SkipBytes, ReadLong and WriteLong are
// not forwarded: the TStream versions run over the wrapper's own Read/Write.
struct TStreamWrapper : TStream {
    TStream* _stream;

    inline int32_t SetStream(TStream* stream);
};

// A wrapper whose Close detaches instead of closing the wrapped stream.
struct TStreamStream : TStreamWrapper {};

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

inline int32_t TStreamWrapper::SetStream(TStream* stream) {
    return record<TStreamWrapperClass>()->SetStream(this, stream);
}

// The Null object seen as a stream reference (the initial value of stream
// fields and the "no stream" result of the open functions).
inline TStream* ovNullStream() { return static_cast<TStream*>(ovNull); }

// ---------------------------------------------------------------------------
// Operations of the classes, for subclasses that extend them
// ---------------------------------------------------------------------------

// The New and Delete of TIO and TStream, for the constructor and destructor
// chains of subclasses (New stores the class's own record in word 0).
int32_t TIONew(Object* self);
int32_t TIODelete(Object* self);
int32_t TStreamNew(Object* self);
int32_t TStreamDelete(Object* self);

// A new TStreamStream over the stream (retained), closing only itself.
TStreamStream* TStreamStreamCreate(TStream* stream);

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

// Whole targets: anything StreamOpen accepts (a name, a stream, a bank...).
// A target that cannot be opened throws TStreamReadException for the loads
// and TStreamWriteException for the saves.
Array* LoadBytes(Object* target);  // a "b" array of every byte up to the end
String* LoadStringBytes(Object* target);
int32_t SaveStringBytes(String* text, Object* target);
int32_t SaveBytes(Array* bytes, Object* target);
Object* LoadObjectFrom(Object* target);
int32_t SaveObjectTo(Object* object, Object* target);

// Copies until from reaches its end (or a read returns nothing).
int32_t StreamCopyAll(TStream* from, TStream* to, int32_t bufferSize);
// Copies exactly count bytes; a short source throws TStreamReadException.
int32_t StreamCopyCount(TStream* from, TStream* to, int32_t count, int32_t bufferSize);

// The stream module's initialiser: runs the core and standard-C modules'
// initialisers, then registers the stream classes (TStreamException ...
// TCStream, TStreamFactory) once.
void ovStreamModuleInit();
