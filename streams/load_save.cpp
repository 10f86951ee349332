// Loading and saving whole targets, and the stream module's initialiser.
#include "streams/load_save.h"

#include <algorithm>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/bytes_internal.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "streams/wrapper.h"
#include "system/clib/clib.h"

namespace {

constexpr int32_t kSmallLoadSize = 1024;

TStream* openForLoad(Object* target) {
    TStream* stream = StreamOpenRead(target);
    if (stream == ovNull) ovThrowStreamRead();
    return stream;
}

TStream* openForSave(Object* target) {
    TStream* stream = StreamOpenWrite(target);
    if (stream == ovNull) ovThrowStreamWrite();
    return stream;
}

// The first load buffer: room for all a stream of known size still holds, so
// that a file is read by one call and never copied to grow; 1024 bytes when
// the size is unknown (or small).
int32_t firstLoadSize(TStream* stream) {
    const int32_t pos = stream->Pos();
    const int64_t remaining = int64_t{stream->Size()} - pos;
    return pos >= 0 && remaining > kSmallLoadSize ? static_cast<int32_t>(remaining) : kSmallLoadSize;
}

// The next size of the load buffer (3/2), kept within the Int range.
int32_t grownLoadSize(int32_t size) {
    const int64_t grown = std::min<int64_t>(int64_t{size} * 3 / 2, INT32_MAX);
    if (grown == size) ovThrowStreamRead();  // the data does not fit an array
    return static_cast<int32_t>(grown);
}

// Saves what write puts into a stream opened for the target.
template <class Write>
int32_t saveTo(Object* target, Write write) {
    TStream* stream = openForSave(target);
    ovStreamCloser closer(stream);
    write(stream);
    ovCloseSavedStream(closer);
    return 0;
}

}  // namespace

void ovCloseSavedStream(ovStreamCloser& closer) {
    if (closer.close() != 0) ovThrowStreamWrite();
}

Array* LoadBytes(Object* target) {
    TStream* stream = openForLoad(target);
    ovStreamCloser closer(stream);
    const int32_t firstSize = firstLoadSize(stream);
    Array* buffer = ovArrayAlloc("b", 1, &firstSize);  // bytes past the length are never read
    int32_t length = 0;
    while (!stream->Eof()) {
        if (length == buffer->count()) buffer = ovArraySlice("b", buffer, 0, grownLoadSize(length));
        const int32_t n = stream->Read(buffer->elements<uint8_t>() + length, buffer->count() - length);
        if (n <= 0) break;
        length += n;
    }
    closer.close();
    return length == buffer->count() ? buffer : ovArraySlice("b", buffer, 0, length);
}

String* LoadStringBytes(Object* target) { return ovStringFromArray(LoadBytes(target)); }

int32_t SaveStringBytes(String* text, Object* target) {
    return saveTo(target, [text](TStream* stream) {
        ovByteBuffer bytes;
        ovNarrowInto(bytes, text);
        stream->WriteBytes(bytes.data(), bytes.size());
    });
}

int32_t SaveBytes(Array* bytes, Object* target) {
    return saveTo(target, [bytes](TStream* stream) {
        stream->WriteBytes(bytes->elements<uint8_t>(), bytes->dataSize);
        ovKeepAlive(bytes);
    });
}

Object* LoadObjectFrom(Object* target) {
    TStream* stream = openForLoad(target);
    ovStreamCloser closer(stream);
    Object* object = stream->ReadObject();
    closer.close();
    return object;
}

int32_t SaveObjectTo(Object* object, Object* target) {
    return saveTo(target, [object](TStream* stream) { stream->WriteObject(object); });
}

void ovStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStdCModuleInit();
        ovObjectRegisterTypes({&TStreamExceptionType, &TStreamReadExceptionType, &TStreamWriteExceptionType, &TIOType,
                               &TStreamType, &TStreamWrapperType, &TStreamStreamType, &TCStreamType,
                               &TStreamFactoryType});
    });
}
