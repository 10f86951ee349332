// Text streams: a wrapper that turns any stream into a stream of characters
// in Latin-1, UTF-8, UTF-16BE or UTF-16LE.
//
// Characters, lines and strings go through the encoding; numbers are written
// and read as decimal lines; raw bytes (Read, Write and everything TStream
// builds on them) travel as upper-case hexadecimal text, 32 bytes a line.
// Decoding validates nothing: bytes are combined by the encoding's formula as
// they come, and each 16-bit unit is one character.
//
// The module also serves the stream protocols "latin1", "utf8", "utf16be" and
// "utf16le" ("utf8::notes.txt" is a UTF-8 text stream over notes.txt), and
// loads and saves whole texts with byte-order-mark detection.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/factory.h"
#include "streams/stream.h"
#include "streams/wrapper.h"

struct TTextStream;

// TTextStream's own operations, in slot order (see "Lists of operations" in
// runtime/object.h), with the class function Create between the two lists.
// ReadFile gives every character up to the end of the data, line ends
// included; ReadChar one character decoded from the wrapped stream's bytes.
#define OV_TEXT_OPERATIONS(X)                        \
    X(TTextStream, String*, ReadFile, (), (), "()$") \
    X(TTextStream, int32_t, ReadChar, (), (), "()i") \
    X(TTextStream, int32_t, WriteChar, (int32_t c), (c), "(i)i")

// One raw byte of the wrapped stream (its ReadByte and WriteByte), and the
// end of a pending hexadecimal line: consume its line end / write it.
#define OV_TEXT_BYTE_OPERATIONS(X)                                \
    X(TTextStream, int32_t, _ReadByte, (), (), "()i")             \
    X(TTextStream, int32_t, _WriteByte, (int32_t n), (n), "(i)i") \
    X(TTextStream, int32_t, _FlushRead, (), (), "()i")            \
    X(TTextStream, int32_t, _FlushWrite, (), (), "()i")

struct TTextStreamClass : TStreamWrapperClass {
    OV_TEXT_OPERATIONS(OV_SLOT)
    TTextStream* (*Create)(TStream* stream, int32_t encoding);  // class function
    OV_TEXT_BYTE_OPERATIONS(OV_SLOT)
};

struct TTextStream : TStreamWrapper {
    static constexpr int32_t LATIN1 = 1;
    static constexpr int32_t UTF8 = 2;
    static constexpr int32_t UTF16BE = 3;
    static constexpr int32_t UTF16LE = 4;

    int32_t _encoding;
    int32_t _bufcount;  // bytes in the current hexadecimal line, 0 to 32

    OV_TEXT_OPERATIONS(OV_DISPATCH)
    OV_TEXT_BYTE_OPERATIONS(OV_DISPATCH)
};

// The factory of the four encoding protocols; no fields of its own.
struct TTextStreamFactory : TStreamFactory {};

// A new text stream in the encoding (one of the TTextStream constants) over
// the stream, which it holds but never closes on its own: closing the text
// stream closes the wrapped one, dropping it does not.
TTextStream* TTextStreamCreate(TStream* stream, int32_t encoding);

// The whole text of the target: UTF-16BE, UTF-16LE or UTF-8 after the
// matching byte-order mark (the mark not included), else one character per
// byte.  Throws TStreamReadException when the target cannot be opened.
String* LoadTextAuto(Object* target);
// Saves the text one byte per character when every character fits, else as
// the bytes FF FE and UTF-16LE.  Throws TStreamWriteException when the target
// cannot be opened.  Returns 1.
int32_t SaveTextAuto(String* text, Object* target);

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

int32_t TTextStreamNew(Object* self);
int32_t TTextStreamRead(TIO* self, uint8_t* buf, int32_t count);
int32_t TTextStreamWrite(TIO* self, const uint8_t* buf, int32_t count);
// Numbers travel as decimal lines: ReadByte, ReadShort and ReadInt are
// ReadInt, and the same for the writes.
int32_t TTextStreamReadInt(TStream* self);
int32_t TTextStreamWriteInt(TStream* self, int32_t n);
int64_t TTextStreamReadLong(TStream* self);
int32_t TTextStreamWriteLong(TStream* self, int64_t n);
float TTextStreamReadFloat(TStream* self);
int32_t TTextStreamWriteFloat(TStream* self, float n);
double TTextStreamReadDouble(TStream* self);
int32_t TTextStreamWriteDouble(TStream* self, double n);
String* TTextStreamReadLine(TStream* self);
int32_t TTextStreamWriteLine(TStream* self, String* text);
String* TTextStreamReadString(TStream* self, int32_t length);
int32_t TTextStreamWriteString(TStream* self, String* text);
OV_TEXT_OPERATIONS(OV_DECLARE_OWN)
OV_TEXT_BYTE_OPERATIONS(OV_DECLARE_OWN)
TStream* TTextStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                        int32_t readable, int32_t writeable);

extern const ovScope TTextStreamScope, TTextStreamFactoryScope;
extern const TTextStreamClass TTextStreamType;
extern const TStreamFactoryClass TTextStreamFactoryType;

inline constexpr TTextStreamClass TTextStreamType =
    ovMakeClass<TTextStreamClass, TTextStream>(TStreamWrapperType, &TTextStreamScope, [](auto& r) {
        r.New = TTextStreamNew;
        r.Read = TTextStreamRead;
        r.Write = TTextStreamWrite;
        r.ReadByte = TTextStreamReadInt;
        r.WriteByte = TTextStreamWriteInt;
        r.ReadShort = TTextStreamReadInt;
        r.WriteShort = TTextStreamWriteInt;
        r.ReadInt = TTextStreamReadInt;
        r.WriteInt = TTextStreamWriteInt;
        r.ReadLong = TTextStreamReadLong;
        r.WriteLong = TTextStreamWriteLong;
        r.ReadFloat = TTextStreamReadFloat;
        r.WriteFloat = TTextStreamWriteFloat;
        r.ReadDouble = TTextStreamReadDouble;
        r.WriteDouble = TTextStreamWriteDouble;
        r.ReadLine = TTextStreamReadLine;
        r.WriteLine = TTextStreamWriteLine;
        r.ReadString = TTextStreamReadString;
        r.WriteString = TTextStreamWriteString;
        OV_TEXT_OPERATIONS(OV_FILL_OWN)
        r.Create = TTextStreamCreate;
        OV_TEXT_BYTE_OPERATIONS(OV_FILL_OWN)
    });
inline constexpr TStreamFactoryClass TTextStreamFactoryType =
    ovFactoryClass<TTextStreamFactoryType>(&TTextStreamFactoryScope, TTextStreamFactoryCreateStream);

// The text stream module's initialiser: runs the core and stream modules'
// initialisers, registers TTextStream and TTextStreamFactory and links the
// one factory into the chain, once.
void ovTextStreamModuleInit();
