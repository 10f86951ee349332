// The stream wrappers' construction, their scopes, and TStreamStream.
#include "streams/wrapper.h"

#include "runtime/reflection.h"
#include "streams/stream_scope_internal.h"

namespace {

constexpr ovScopeEntry wrapperEntries[] = {
    OV_FIELD_ENTRY(TStreamWrapper, _stream, ":TStream"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_METHOD_ENTRY(TStreamWrapperClass, SetStream, "(:TStream)i"),
    OV_IO_OPERATIONS(OV_FORWARDED_ENTRY) OV_STREAM_OPERATIONS(OV_FORWARDED_ENTRY) ovScopeEndEntry,
};

constexpr ovScopeEntry streamStreamEntries[] = {
    ovStreamEntry::Close,
    OV_FUNCTION_ENTRY(TStreamStreamClass, Create, "(:TStream):TStreamStream"),
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TStreamWrapperScope = {OV_SCOPE_CLASS, "TStreamWrapper", wrapperEntries};
constexpr ovScope TStreamStreamScope = {OV_SCOPE_CLASS, "TStreamStream", streamStreamEntries};

int32_t TStreamWrapperNew(Object* self) {
    ovChainNew<TStreamWrapper, TStreamWrapperType>(self)->_stream.init(ovNullOf<TStream>());
    return 0;
}

int32_t TStreamWrapperDelete(Object* self) {
    static_cast<TStreamWrapper*>(self)->_stream.release();
    return ovChainDelete<TStreamWrapperType>(self);
}

int32_t TStreamWrapperSetStream(TStreamWrapper* self, TStream* stream) {
    self->_stream.set(stream);
    return 0;
}

int32_t TStreamStreamClose(TIO* self) { return static_cast<TStreamWrapper*>(self)->SetStream(ovNullOf<TStream>()); }

TStreamStream* TStreamStreamCreate(TStream* stream) {
    auto* wrapper = ovNew<TStreamStream>(&TStreamStreamType);
    wrapper->SetStream(stream);
    return wrapper;
}
