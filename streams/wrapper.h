// Stream wrappers: TStreamWrapper forwards the raw and typed operations to
// the stream it wraps, and TStreamStream is a wrapper whose Close detaches
// instead of closing the wrapped stream (StreamOpen hands one out for a
// stream given as the target).
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/stream.h"

struct TStreamWrapper;
struct TStreamStream;

struct TStreamWrapperClass : TStreamClass {
    int32_t (*SetStream)(TStreamWrapper* self, TStream* stream);
};

struct TStreamStreamClass : TStreamWrapperClass {
    TStreamStream* (*Create)(TStream* stream);  // class function
};

// Forwards the raw and typed operations to _stream (Null at creation).
// ReadBytes, WriteBytes, SkipBytes, ReadLong and WriteLong are not forwarded:
// the TStream versions run over the wrapper's own Read and Write.
struct TStreamWrapper : TStream {
    ovRef<TStream> _stream;

    inline int32_t SetStream(TStream* stream);
};

// A wrapper whose Close detaches instead of closing the wrapped stream.
struct TStreamStream : TStreamWrapper {};

inline int32_t TStreamWrapper::SetStream(TStream* stream) {
    return record<TStreamWrapperClass>()->SetStream(this, stream);
}

// A new TStreamStream over the stream (retained), closing only itself.
TStreamStream* TStreamStreamCreate(TStream* stream);

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

int32_t TStreamWrapperNew(Object* self);
// Releases the wrapped stream without closing it.
int32_t TStreamWrapperDelete(Object* self);
int32_t TStreamWrapperSetStream(TStreamWrapper* self, TStream* stream);

// The forwarding operations; dispatching through a Null _stream throws
// TNullObjectException.
inline TStream* ovWrappedStream(Object* self) { return static_cast<TStreamWrapper*>(self)->_stream; }
inline int32_t TStreamWrapperEof(TIO* self) { return ovWrappedStream(self)->Eof(); }
inline int32_t TStreamWrapperPos(TIO* self) { return ovWrappedStream(self)->Pos(); }
inline int32_t TStreamWrapperSize(TIO* self) { return ovWrappedStream(self)->Size(); }
inline int32_t TStreamWrapperSeek(TIO* self, int32_t pos) { return ovWrappedStream(self)->Seek(pos); }
inline int32_t TStreamWrapperFlush(TIO* self) { return ovWrappedStream(self)->Flush(); }
inline int32_t TStreamWrapperClose(TIO* self) { return ovWrappedStream(self)->Close(); }
inline int32_t TStreamWrapperRead(TIO* self, uint8_t* buf, int32_t count) {
    return ovWrappedStream(self)->Read(buf, count);
}
inline int32_t TStreamWrapperWrite(TIO* self, const uint8_t* buf, int32_t count) {
    return ovWrappedStream(self)->Write(buf, count);
}
inline int32_t TStreamWrapperReadByte(TStream* self) { return ovWrappedStream(self)->ReadByte(); }
inline int32_t TStreamWrapperWriteByte(TStream* self, int32_t n) { return ovWrappedStream(self)->WriteByte(n); }
inline int32_t TStreamWrapperReadShort(TStream* self) { return ovWrappedStream(self)->ReadShort(); }
inline int32_t TStreamWrapperWriteShort(TStream* self, int32_t n) { return ovWrappedStream(self)->WriteShort(n); }
inline int32_t TStreamWrapperReadInt(TStream* self) { return ovWrappedStream(self)->ReadInt(); }
inline int32_t TStreamWrapperWriteInt(TStream* self, int32_t n) { return ovWrappedStream(self)->WriteInt(n); }
inline float TStreamWrapperReadFloat(TStream* self) { return ovWrappedStream(self)->ReadFloat(); }
inline int32_t TStreamWrapperWriteFloat(TStream* self, float n) { return ovWrappedStream(self)->WriteFloat(n); }
inline double TStreamWrapperReadDouble(TStream* self) { return ovWrappedStream(self)->ReadDouble(); }
inline int32_t TStreamWrapperWriteDouble(TStream* self, double n) { return ovWrappedStream(self)->WriteDouble(n); }
inline String* TStreamWrapperReadLine(TStream* self) { return ovWrappedStream(self)->ReadLine(); }
inline int32_t TStreamWrapperWriteLine(TStream* self, String* text) { return ovWrappedStream(self)->WriteLine(text); }
inline String* TStreamWrapperReadString(TStream* self, int32_t length) {
    return ovWrappedStream(self)->ReadString(length);
}
inline int32_t TStreamWrapperWriteString(TStream* self, String* text) {
    return ovWrappedStream(self)->WriteString(text);
}
inline Object* TStreamWrapperReadObject(TStream* self) { return ovWrappedStream(self)->ReadObject(); }
inline int32_t TStreamWrapperWriteObject(TStream* self, Object* obj) {
    return ovWrappedStream(self)->WriteObject(obj);
}

// Detaches only: the caller who handed the stream in still owns it.
int32_t TStreamStreamClose(TIO* self);

extern const ovScope TStreamWrapperScope, TStreamStreamScope;
extern const TStreamWrapperClass TStreamWrapperType;
extern const TStreamStreamClass TStreamStreamType;

inline constexpr TStreamWrapperClass TStreamWrapperType =
    ovMakeClass<TStreamWrapperClass, TStreamWrapper>(TStreamType, &TStreamWrapperScope, [](auto& r) {
        r.New = TStreamWrapperNew;
        r.Delete = TStreamWrapperDelete;
        r.Eof = TStreamWrapperEof;
        r.Pos = TStreamWrapperPos;
        r.Size = TStreamWrapperSize;
        r.Seek = TStreamWrapperSeek;
        r.Flush = TStreamWrapperFlush;
        r.Close = TStreamWrapperClose;
        r.Read = TStreamWrapperRead;
        r.Write = TStreamWrapperWrite;
        r.ReadByte = TStreamWrapperReadByte;
        r.WriteByte = TStreamWrapperWriteByte;
        r.ReadShort = TStreamWrapperReadShort;
        r.WriteShort = TStreamWrapperWriteShort;
        r.ReadInt = TStreamWrapperReadInt;
        r.WriteInt = TStreamWrapperWriteInt;
        r.ReadFloat = TStreamWrapperReadFloat;
        r.WriteFloat = TStreamWrapperWriteFloat;
        r.ReadDouble = TStreamWrapperReadDouble;
        r.WriteDouble = TStreamWrapperWriteDouble;
        r.ReadLine = TStreamWrapperReadLine;
        r.WriteLine = TStreamWrapperWriteLine;
        r.ReadString = TStreamWrapperReadString;
        r.WriteString = TStreamWrapperWriteString;
        r.ReadObject = TStreamWrapperReadObject;
        r.WriteObject = TStreamWrapperWriteObject;
        r.SetStream = TStreamWrapperSetStream;
    });

inline constexpr TStreamStreamClass TStreamStreamType =
    ovMakeClass<TStreamStreamClass, TStreamStream>(TStreamWrapperType, &TStreamStreamScope, [](auto& r) {
        r.New = ovFieldlessNew<TStreamStreamType>;
        r.Delete = ovChainDelete<TStreamStreamType>;
        r.Close = TStreamStreamClose;
        r.Create = TStreamStreamCreate;
    });
