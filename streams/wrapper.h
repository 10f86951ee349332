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

// The forwarding operations (TStreamWrapperEof ...), one for each operation
// the lists mark "forwards"; dispatching through a Null _stream throws
// TNullObjectException.
inline TStream* ovWrappedStream(Object* self) { return static_cast<TStreamWrapper*>(self)->_stream; }

#define OV_IF_WRAPPER_forwards(...) __VA_ARGS__
#define OV_IF_WRAPPER_runsOwn(...)
// Applies the maker to the operations a wrapper forwards.
#define OV_FORWARDED_BY_WRAPPER(Maker, Self, Result, Slot, Params, Args, Type, Wrapper) \
    OV_IF_WRAPPER_##Wrapper(Maker(Self, Result, Slot, Params, Args, Type))

#define OV_FORWARDING_FUNCTION(Self, Result, Slot, Params, Args, Type) \
    inline Result TStreamWrapper##Slot OV_WITH_SELF(Self* self, Params) { return ovWrappedStream(self)->Slot Args; }
#define OV_FILL_FORWARDING(Self, Result, Slot, ...) r.Slot = TStreamWrapper##Slot;

#define OV_DEFINE_FORWARDING(...) OV_FORWARDED_BY_WRAPPER(OV_FORWARDING_FUNCTION, __VA_ARGS__)
OV_IO_OPERATIONS(OV_DEFINE_FORWARDING)
OV_STREAM_OPERATIONS(OV_DEFINE_FORWARDING)
#undef OV_DEFINE_FORWARDING

#define OV_FILL_FORWARDED(...) OV_FORWARDED_BY_WRAPPER(OV_FILL_FORWARDING, __VA_ARGS__)
// The reflection entry of a forwarded operation (OV_LISTED_ENTRY is in
// runtime/reflection.h, which the units that build tables include).
#define OV_FORWARDED_ENTRY(...) OV_FORWARDED_BY_WRAPPER(OV_LISTED_ENTRY, __VA_ARGS__)

// Detaches only: the caller who handed the stream in still owns it.
int32_t TStreamStreamClose(TIO* self);

extern const ovScope TStreamWrapperScope, TStreamStreamScope;
extern const TStreamWrapperClass TStreamWrapperType;
extern const TStreamStreamClass TStreamStreamType;

inline constexpr TStreamWrapperClass TStreamWrapperType =
    ovMakeClass<TStreamWrapperClass, TStreamWrapper>(TStreamType, &TStreamWrapperScope, [](auto& r) {
        r.New = TStreamWrapperNew;
        r.Delete = TStreamWrapperDelete;
        OV_IO_OPERATIONS(OV_FILL_FORWARDED)
        OV_STREAM_OPERATIONS(OV_FILL_FORWARDED)
        r.SetStream = TStreamWrapperSetStream;
    });

inline constexpr TStreamStreamClass TStreamStreamType =
    ovMakeClass<TStreamStreamClass, TStreamStream>(TStreamWrapperType, &TStreamStreamScope, [](auto& r) {
        r.New = ovFieldlessNew<TStreamStreamType>;
        r.Delete = ovChainDelete<TStreamStreamType>;
        r.Close = TStreamStreamClose;
        r.Create = TStreamStreamCreate;
    });
