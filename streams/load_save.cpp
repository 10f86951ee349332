// Loading and saving whole targets, and the stream module's initialiser.
#include "streams/load_save.h"

#include <algorithm>
#include <cstring>

#include "runtime/array.h"
#include "runtime/buffer.h"
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

// Room for all a stream of known size still holds (a file is then read by
// one call into its array); 0 when the size is unknown or small.
int32_t knownLoadSize(TStream* stream) {
    const int32_t pos = stream->Pos();
    const int64_t remaining = int64_t{stream->Size()} - pos;
    return pos >= 0 && remaining > kSmallLoadSize ? static_cast<int32_t>(remaining) : 0;
}

constexpr int32_t kArrayHeader = static_cast<int32_t>(ovArrayHeaderSize(1));

// Reads until the end or a read of nothing, after the head already read.
// The bytes gather behind room for an array header in a C block that the C
// heap grows in place where it can, and a large block then becomes the array
// itself: no byte is copied on the way.
Array* loadRest(TStream* stream, const uint8_t* head, int32_t headLength) {
    ovBuffer<uint8_t, kSmallLoadSize> bytes;
    uint8_t* headRoom = bytes.resize(int64_t{kArrayHeader} + headLength) + kArrayHeader;
    if (headLength > 0) std::memcpy(headRoom, head, static_cast<size_t>(headLength));
    while (!stream->Eof()) {
        if (bytes.size() == INT32_MAX) ovThrowStreamRead();  // the data does not fit an array
        bytes.reserveSpare();
        const int32_t n = stream->Read(bytes.spare(), bytes.spareCount());
        if (n <= 0) break;
        bytes.commit(n);
    }
    const int32_t length = bytes.size() - kArrayHeader;
    return ovArrayAdoptBytes(bytes.release(), length);
}

// Reads straight into an array of the expected size; a stream that turns out
// longer (a file that grew) goes on through loadRest.
Array* loadKnownSize(TStream* stream, int32_t expected) {
    Array* array = ovArrayAlloc("b", 1, &expected);
    uint8_t* data = array->elements<uint8_t>();
    int32_t length = 0;
    while (length < expected && !stream->Eof()) {
        const int32_t n = stream->Read(data + length, expected - length);
        if (n <= 0) break;
        length += n;
    }
    if (length < expected) return ovArraySlice("b", array, 0, length);
    return stream->Eof() ? array : loadRest(stream, data, length);
}

// Saves what write puts into a stream opened for the target.
template <class Write>
int32_t saveTo(Object* target, Write write) {
    TStream* stream = openForSave(target);
    ovStreamCloser closer(stream);
    write(stream);
    closer.closeWritten();
    return 0;
}

}  // namespace

Array* LoadBytes(Object* target) {
    TStream* stream = openForLoad(target);
    ovStreamCloser closer(stream);
    const int32_t expected = knownLoadSize(stream);
    Array* bytes = expected > 0 ? loadKnownSize(stream, expected) : loadRest(stream, nullptr, 0);
    closer.close();
    return bytes;
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
