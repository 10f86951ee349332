// The "http" factory: one HTTP/1.0 GET over a socket stream.
#include "net/httpstream.h"

#include "net/socketstream.h"
#include "runtime/buffer.h"
#include "runtime/reflection.h"
#include "runtime/string.h"

namespace {

String* concat(std::initializer_list<String*> parts) {
    String* text = &ovEmptyString;
    for (String* part : parts) text = ovStringConcat(text, part);
    return text;
}

// The request's characters as bytes (the low 8 bits of each), sent as far
// as the connection takes them; a short write is not reported.
void sendRequest(TStream* stream, String* file, String* host) {
    String* request =
        concat({ovLiteral(u"GET "), file, ovLiteral(u" HTTP/1.0\r\nHost: "), host, ovLiteral(u"\r\n\r\n")});
    const int32_t length = request->length;
    ovBuffer<uint8_t, 512> bytes;
    ovStringNarrowInto(request, reinterpret_cast<char*>(bytes.resize(int64_t{length} + 1)));
    for (int32_t sent = 0; sent < length;) {
        const int32_t n = stream->Write(bytes.data() + sent, length - sent);
        if (n <= 0) break;
        sent += n;
    }
}

// Reads header lines up to the first empty one, or until the data ends.
// False when a receive ran out of the socket's bound first: the line it
// ended was no part of the response.
bool skipHeader(TSocketStream* stream) {
    while (stream->Eof() == 0) {
        const int32_t length = stream->ReadLine()->length;
        if (stream->Socket()->TimedOut() != 0) return false;
        if (length == 0) return true;
    }
    return true;
}

}  // namespace

constexpr ovScope THTTPStreamFactoryScope = {OV_SCOPE_CLASS, "THTTPStreamFactory", ovFactoryOverrideEntries};

TStream* THTTPStreamFactoryCreateStream(TStreamFactory*, Object*, String* protocol, String* path, int32_t, int32_t) {
    if (ovStringCompare(protocol, ovLiteral(u"http")) != 0) return ovNullOf<TStream>();
    const int32_t slash = ovStringFind(path, ovLiteral(u"/"), 0);
    String* host = slash < 0 ? path : ovStringSlice(path, 0, slash);
    String* file = slash < 0 ? ovLiteral(u"/") : ovStringSlice(path, slash, path->length);
    // The host and the file go out as text of their own lines: a control
    // byte in either would end a line early and add lines of the caller's.
    if (ovHoldsControlByte(host) != 0 || ovHoldsControlByte(file) != 0) return ovNullOf<TStream>();
    TSocketStream* stream = ovOpenClientStream(ovSplitHostAndPort(host));
    if (stream == ovNull) return stream;
    sendRequest(stream, file, host);
    if (skipHeader(stream)) return stream;
    stream->Close();
    return ovNullOf<TStream>();
}

void ovHttpStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovSocketStreamModuleInit();
        ovInstallFactory(THTTPStreamFactoryType);
    });
}
