// Socket streams and the "tcp" factory.
#include "net/socketstream.h"

#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/stream_scope_internal.h"

namespace {

TSocketStream* asSocketStream(TIO* io) { return static_cast<TSocketStream*>(io); }

constexpr int32_t kDefaultPort = 80;
constexpr uint64_t kLargestPort = 65535;

// What SockSetDefaultTimeout set.
int32_t defaultTimeoutMs = 0;

constexpr ovScopeEntry socketStreamEntries[] = {
    OV_FIELD_ENTRY(TSocketStream, _socket, ":TSocket"),
    OV_FIELD_ENTRY(TSocketStream, _autoClose, "i"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovStreamEntry::Eof,
    ovStreamEntry::Close,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    OV_SOCKET_STREAM_OPERATIONS(OV_LISTED_ENTRY) OV_SOCKET_STREAM_FUNCTIONS(OV_LISTED_FUNCTION_ENTRY) ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TSocketStreamScope = {OV_SCOPE_CLASS, "TSocketStream", socketStreamEntries};
constexpr ovScope TSocketStreamFactoryScope = {OV_SCOPE_CLASS, "TSocketStreamFactory", ovFactoryOverrideEntries};

int32_t TSocketStreamNew(Object* object) {
    auto* self = ovChainNew<TSocketStream, TSocketStreamType>(object);
    self->_socket.init(ovNullOf<TSocket>());
    self->_autoClose = 0;
    return 0;
}

int32_t TSocketStreamDelete(Object* object) {
    static_cast<TSocketStream*>(object)->_socket.release();
    return ovChainDelete<TSocketStreamType>(object);
}

int32_t TSocketStreamRead(TIO* io, uint8_t* buf, int32_t count) {
    TSocket* socket = asSocketStream(io)->_socket;
    return socket == ovNull ? 0 : socket->Recv(buf, count, 0);
}

int32_t TSocketStreamWrite(TIO* io, const uint8_t* buf, int32_t count) {
    TSocket* socket = asSocketStream(io)->_socket;
    return socket == ovNull ? 0 : socket->Send(buf, count, 0);
}

int32_t TSocketStreamEof(TIO* io) {
    TSocket* socket = asSocketStream(io)->_socket;
    if (socket == ovNull) return 1;
    if (socket->Connected() != 0) return 0;
    io->Close();
    return 1;
}

int32_t TSocketStreamClose(TIO* io) {
    TSocketStream* self = asSocketStream(io);
    if (self->_socket == ovNull) return 0;
    if (self->_autoClose != 0) self->_socket->Close();
    self->_socket.set(ovNullOf<TSocket>());
    return 0;
}

TSocket* TSocketStreamSocket(TSocketStream* self) { return self->_socket; }

TSocketStream* TSocketStreamCreate(TSocket* socket, int32_t autoClose) {
    auto* stream = ovNew<TSocketStream>(&TSocketStreamType);
    stream->_socket.set(socket);
    stream->_autoClose = autoClose;
    return stream;
}

TSocketStream* TSocketStreamCreateClient(String* host, int32_t port) {
    const int32_t ip = HostAddress(host, 0);
    if (ip == 0) return ovNullOf<TSocketStream>();
    TSocket* socket = TSocketType.CreateTCP();
    if (socket == ovNull) return ovNullOf<TSocketStream>();
    if (socket->SetTimeout(defaultTimeoutMs) != 0 && socket->Connect(ip, port) != 0)
        return TSocketStreamType.Create(socket, 1);
    socket->Close();
    return ovNullOf<TSocketStream>();
}

TSocketStream* SockStreamCreate(TSocket* socket, int32_t autoClose) {
    return TSocketStreamType.Create(socket, autoClose);
}
TSocket* SockStreamSocket(TSocketStream* stream) { return stream->Socket(); }

int32_t SockSetDefaultTimeout(int32_t timeoutMs) {
    if (timeoutMs < 0) return 0;
    defaultTimeoutMs = timeoutMs;
    return 1;
}

ovHostAndPort ovSplitHostAndPort(String* text) {
    const int32_t colon = ovStringFind(text, ovLiteral(u":"), 0);
    if (colon < 0) return {text, kDefaultPort};
    String* port = ovStringSlice(text, colon + 1, text->length);
    return {ovStringSlice(text, 0, colon), ovStringIntMagnitude(port) > kLargestPort ? -1 : ovStringToInt(port)};
}

int32_t ovHoldsControlByte(String* text) {
    const uint16_t* units = text->units();
    for (int32_t i = 0; i < text->length; ++i) {
        const uint8_t byte = static_cast<uint8_t>(units[i]);
        if (byte < 32 || byte == 127) return 1;
    }
    return 0;
}

TSocketStream* ovOpenClientStream(const ovHostAndPort& target) {
    if (target.port < 0 || ovHoldsControlByte(target.host) != 0) return ovNullOf<TSocketStream>();
    return TSocketStreamType.CreateClient(target.host, target.port);
}

TStream* TSocketStreamFactoryCreateStream(TStreamFactory*, Object*, String* protocol, String* path, int32_t, int32_t) {
    if (ovStringCompare(protocol, ovLiteral(u"tcp")) != 0) return ovNullOf<TStream>();
    return ovOpenClientStream(ovSplitHostAndPort(path));
}

void ovSocketStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovSocketModuleInit();
        ovStreamModuleInit();
        ovObjectRegisterType(&TSocketStreamType);
        ovInstallFactory(TSocketStreamFactoryType);
    });
}
