// The stream wrappers' construction, their scopes, and TStreamStream.
#include "streams/wrapper.h"

#include <string_view>

#include "runtime/reflection.h"
#include "streams/stream_scope_internal.h"

namespace {

// TStream's methods that a wrapper runs itself over its own Read and Write
// instead of forwarding them.
constexpr bool isForwarded(const ovScopeEntry& entry) {
    for (std::string_view own : {"ReadBytes", "WriteBytes", "SkipBytes", "ReadLong", "WriteLong"})
        if (own == entry.name) return false;
    return true;
}

constexpr ovScopeEntry wrapperOwnEntries[] = {
    OV_FIELD_ENTRY(TStreamWrapper, _stream, ":TStream"),
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    OV_METHOD_ENTRY(TStreamWrapperClass, SetStream, "(:TStream)i"),
    ovScopeEndEntry,
};
constexpr auto wrapperEntries =
    ovJoinScopeEntries(isForwarded, wrapperOwnEntries, TIOMethodEntries, TStreamMethodEntries);

constexpr ovScopeEntry streamStreamEntries[] = {
    OV_METHOD_ENTRY(TIOClass, Close, "()i"),
    OV_FUNCTION_ENTRY(TStreamStreamClass, Create, "(:TStream):TStreamStream"),
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TStreamWrapperScope = {OV_SCOPE_CLASS, "TStreamWrapper", wrapperEntries.data()};
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
