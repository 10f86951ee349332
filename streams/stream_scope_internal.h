// The method entries of TIO's and TStream's scopes, for the scopes of the
// classes that inherit or forward them.  Only units that build reflection
// tables include this.
#pragma once

#include "runtime/object.h"
#include "runtime/reflection.h"
#include "streams/stream.h"

#define OV_IO_METHOD(slot, type) OV_METHOD_ENTRY(TIOClass, slot, type)
#define OV_STREAM_METHOD(slot, type) OV_METHOD_ENTRY(TStreamClass, slot, type)

inline constexpr ovScopeEntry TIOMethodEntries[] = {
    OV_IO_METHOD(Eof, "()i"),
    OV_IO_METHOD(Pos, "()i"),
    OV_IO_METHOD(Size, "()i"),
    OV_IO_METHOD(Seek, "(i)i"),
    OV_IO_METHOD(Flush, "()i"),
    OV_IO_METHOD(Close, "()i"),
    OV_IO_METHOD(Read, "(*b,i)i"),
    OV_IO_METHOD(Write, "(*b,i)i"),
    ovScopeEndEntry,
};

inline constexpr ovScopeEntry TStreamMethodEntries[] = {
    OV_STREAM_METHOD(ReadBytes, "(*b,i)i"),
    OV_STREAM_METHOD(WriteBytes, "(*b,i)i"),
    OV_STREAM_METHOD(SkipBytes, "(i)i"),
    OV_STREAM_METHOD(ReadByte, "()i"),
    OV_STREAM_METHOD(WriteByte, "(i)i"),
    OV_STREAM_METHOD(ReadShort, "()i"),
    OV_STREAM_METHOD(WriteShort, "(i)i"),
    OV_STREAM_METHOD(ReadInt, "()i"),
    OV_STREAM_METHOD(WriteInt, "(i)i"),
    OV_STREAM_METHOD(ReadLong, "()l"),
    OV_STREAM_METHOD(WriteLong, "(l)i"),
    OV_STREAM_METHOD(ReadFloat, "()f"),
    OV_STREAM_METHOD(WriteFloat, "(f)i"),
    OV_STREAM_METHOD(ReadDouble, "()d"),
    OV_STREAM_METHOD(WriteDouble, "(d)i"),
    OV_STREAM_METHOD(ReadLine, "()$"),
    OV_STREAM_METHOD(WriteLine, "($)i"),
    OV_STREAM_METHOD(ReadString, "(i)$"),
    OV_STREAM_METHOD(WriteString, "($)i"),
    OV_STREAM_METHOD(ReadObject, "():Object"),
    OV_STREAM_METHOD(WriteObject, "(:Object)i"),
    ovScopeEndEntry,
};

#undef OV_IO_METHOD
#undef OV_STREAM_METHOD
