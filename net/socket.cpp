// TSocket, TSocketException and the socket module's functions.
#include "net/socket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "net/socket_calls.h"
#include "runtime/array.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "system/clib/clib.h"

namespace {

// The size of the platform's IPv4 address record.
constexpr int32_t kAddressRecordBytes = 16;

// The address as 4 bytes in network order.
struct NetworkBytes {
    uint8_t bytes[4];
};

NetworkBytes networkBytesOf(int32_t ip) {
    const auto value = static_cast<uint32_t>(ip);
    return {{static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value)}};
}

int32_t ipOf(const uint8_t* bytes) {
    return static_cast<int32_t>(uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
                                uint32_t{bytes[3]});
}

// Reads one of the socket's names into the pair: address bytes 4 to 7 and
// port bytes 2 and 3 of the record, or 0 and 0 when the query fails.
void readName(TSocket* self, int32_t (*query)(int32_t, void*, int32_t*), int32_t& ip, int32_t& port) {
    uint8_t record[kAddressRecordBytes] = {};
    int32_t length = kAddressRecordBytes;
    if (query(self->_socket, record, &length) < 0) {
        ip = 0;
        port = 0;
        return;
    }
    ip = ipOf(record + 4);
    port = record[2] << 8 | record[3];
}

// Polls the one handle for reading without waiting: 1 when it is readable.
int32_t pollReadable(int32_t handle, int32_t timeoutMs) {
    int32_t handles[] = {handle};
    return ovSocketSelect(1, handles, 0, nullptr, 0, nullptr, timeoutMs);
}

// Notes whether the call ran out of the socket's bound; returns its result.
int32_t noteRanOut(TSocket* self, int32_t result) {
    self->_timedOut = result == OV_SOCKET_TIMED_OUT ? 1 : 0;
    return result;
}

// The bytes a transfer moved, 0 when it failed.
int32_t transferred(TSocket* self, int32_t result) { return std::max(noteRanOut(self, result), 0); }

TSocket* createOver(int32_t handle) { return handle < 0 ? ovNullOf<TSocket>() : TSocketType.Create(handle, 1); }

constexpr ovScopeEntry socketEntries[] = {
    OV_FIELD_ENTRY(TSocket, _socket, "i"),
    OV_FIELD_ENTRY(TSocket, _autoClose, "i"),
    OV_FIELD_ENTRY(TSocket, _localIp, "i"),
    OV_FIELD_ENTRY(TSocket, _localPort, "i"),
    OV_FIELD_ENTRY(TSocket, _remoteIp, "i"),
    OV_FIELD_ENTRY(TSocket, _remotePort, "i"),
    OV_FIELD_ENTRY(TSocket, _timedOut, "i"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_SOCKET_OPERATIONS(OV_LISTED_ENTRY) OV_SOCKET_FUNCTIONS(OV_LISTED_FUNCTION_ENTRY)
        OV_SOCKET_BOUND_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry,
};

constexpr ovScopeEntry socketExceptionEntries[] = {
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovObjectEntry::ToString,
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TSocketScope = {OV_SCOPE_CLASS, "TSocket", socketEntries};
constexpr ovScope TSocketExceptionScope = {OV_SCOPE_CLASS, "TSocketException", socketExceptionEntries};

String* TSocketExceptionToString(Object*) { return ovLiteral(u"Internal socket error"); }

// ---------------------------------------------------------------------------
// TSocket
// ---------------------------------------------------------------------------

int32_t TSocketNew(Object* object) {
    auto* self = ovChainNew<TSocket, TSocketType>(object);
    self->_socket = 0;
    self->_autoClose = 0;
    self->_localIp = 0;
    self->_localPort = 0;
    self->_remoteIp = 0;
    self->_remotePort = 0;
    self->_timedOut = 0;
    return 0;
}

int32_t TSocketSend(TSocket* self, const uint8_t* buffer, int32_t count, int32_t flags) {
    return transferred(self, ovSocketSend(self->_socket, buffer, count, flags));
}

int32_t TSocketRecv(TSocket* self, uint8_t* buffer, int32_t count, int32_t flags) {
    return transferred(self, ovSocketRecv(self->_socket, buffer, count, flags));
}

int32_t TSocketClose(TSocket* self) {
    if (self->_socket < 0) return 0;
    if (self->_autoClose != 0) ovSocketCloseHandle(self->_socket);
    self->_socket = -1;
    self->_localIp = -1;
    self->_localPort = -1;
    self->_remoteIp = -1;
    self->_remotePort = -1;
    return 0;
}

// Readable with nothing to read means the peer has closed (or the
// connection failed): the socket closes itself.
int32_t TSocketConnected(TSocket* self) {
    if (self->_socket < 0) return 0;
    if (pollReadable(self->_socket, 0) != 1 || self->ReadAvail() != 0) return 1;
    self->Close();
    return 0;
}

int32_t TSocketBind(TSocket* self, int32_t port) {
    if (ovSocketBindAny(self->_socket, OV_AF_INET, port) < 0) return 0;
    self->UpdateLocalName();
    return 1;
}

int32_t TSocketBindAddress(TSocket* self, int32_t ip, int32_t port) {
    if (ovSocketBindAddr(self->_socket, OV_AF_INET, ip, port) < 0) return 0;
    self->UpdateLocalName();
    return 1;
}

int32_t TSocketConnect(TSocket* self, int32_t ip, int32_t port) {
    const NetworkBytes address = networkBytesOf(ip);
    if (noteRanOut(self, ovSocketConnectAddr(self->_socket, address.bytes, OV_AF_INET, sizeof address.bytes, port)) < 0)
        return 0;
    self->UpdateLocalName();
    self->UpdateRemoteName();
    return 1;
}

int32_t TSocketListen(TSocket* self, int32_t backlog) { return ovSocketListen(self->_socket, backlog) >= 0 ? 1 : 0; }

TSocket* TSocketAccept(TSocket* self, int32_t timeoutMs) {
    if (pollReadable(self->_socket, timeoutMs) != 1) return ovNullOf<TSocket>();
    const int32_t handle = ovSocketAccept(self->_socket, nullptr, nullptr);
    if (handle < 0) return ovNullOf<TSocket>();
    return self->record<TSocketClass>()->Create(handle, 1);
}

int32_t TSocketReadAvail(TSocket* self) {
    int32_t count = 0;
    return ovSocketReadAvail(self->_socket, &count) < 0 ? 0 : count;
}

int32_t TSocketSetTCPNoDelay(TSocket* self, int32_t enable) {
    const int32_t value = enable;
    ovSocketSetOption(self->_socket, OV_IPPROTO_TCP, OV_TCP_NODELAY, &value, sizeof value);
    return 0;
}

int32_t TSocketSocket(TSocket* self) { return self->_socket; }
int32_t TSocketLocalIp(TSocket* self) { return self->_localIp; }
int32_t TSocketLocalPort(TSocket* self) { return self->_localPort; }
int32_t TSocketRemoteIp(TSocket* self) { return self->_remoteIp; }
int32_t TSocketRemotePort(TSocket* self) { return self->_remotePort; }

int32_t TSocketUpdateLocalName(TSocket* self) {
    readName(self, ovSocketLocalName, self->_localIp, self->_localPort);
    return 0;
}

int32_t TSocketUpdateRemoteName(TSocket* self) {
    readName(self, ovSocketPeerName, self->_remoteIp, self->_remotePort);
    return 0;
}

TSocket* TSocketCreate(int32_t handle, int32_t autoClose) {
    if (handle < 0) return ovNullOf<TSocket>();
    auto* socket = ovNew<TSocket>(&TSocketType);
    socket->_socket = handle;
    socket->_autoClose = autoClose;
    socket->UpdateLocalName();
    socket->UpdateRemoteName();
    return socket;
}

// A closed socket's handle -1 makes the call fail.
int32_t TSocketSetTimeout(TSocket* self, int32_t timeoutMs) {
    return ovSocketSetTimeout(self->_socket, timeoutMs) < 0 ? 0 : 1;
}

int32_t TSocketTimedOut(TSocket* self) { return self->_timedOut; }

TSocket* TSocketCreateUDP() { return createOver(ovSocketOpen(OV_AF_INET, OV_SOCK_DGRAM, 0)); }
TSocket* TSocketCreateTCP() { return createOver(ovSocketOpen(OV_AF_INET, OV_SOCK_STREAM, 0)); }

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

TSocket* SockCreateUDP() { return TSocketType.CreateUDP(); }
TSocket* SockCreateTCP() { return TSocketType.CreateTCP(); }
int32_t SockClose(TSocket* socket) {
    socket->Close();
    return 0;
}
int32_t SockBind(TSocket* socket, int32_t port) { return socket->Bind(port); }
int32_t SockConnect(TSocket* socket, int32_t ip, int32_t port) { return socket->Connect(ip, port); }
int32_t SockListen(TSocket* socket, int32_t backlog) { return socket->Listen(backlog); }
TSocket* SockAccept(TSocket* socket, int32_t timeoutMs) { return socket->Accept(timeoutMs); }
int32_t SockConnected(TSocket* socket) { return socket->Connected(); }
int32_t SockReadAvail(TSocket* socket) { return socket->ReadAvail(); }
int32_t SockLocalIp(TSocket* socket) { return socket->LocalIp(); }
int32_t SockLocalPort(TSocket* socket) { return socket->LocalPort(); }
int32_t SockRemoteIp(TSocket* socket) { return socket->RemoteIp(); }
int32_t SockRemotePort(TSocket* socket) { return socket->RemotePort(); }
int32_t SockSetTimeout(TSocket* socket, int32_t timeoutMs) { return socket->SetTimeout(timeoutMs); }
int32_t SockBindAddress(TSocket* socket, int32_t ip, int32_t port) { return socket->BindAddress(ip, port); }
int32_t SockTimedOut(TSocket* socket) { return socket->TimedOut(); }

String* DottedAddress(int32_t ip) {
    const NetworkBytes octets = networkBytesOf(ip);
    char text[sizeof "255.255.255.255"];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", octets.bytes[0], octets.bytes[1], octets.bytes[2], octets.bytes[3]);
    return ovStringFromCString(text);
}

Array* HostAddresses(String* name) {
    int32_t family = 0;
    int32_t length = 0;
    char** list = ovHostAddrList(name, &family, &length);
    if (list == nullptr || family != OV_AF_INET || length != 4) return &ovEmptyArray;
    int32_t count = 0;
    while (list[count] != nullptr) ++count;
    Array* addresses = ovArrayNew1D("i", count);
    for (int32_t k = 0; k < count; ++k)
        addresses->elements<int32_t>()[k] = ipOf(reinterpret_cast<const uint8_t*>(list[k]));
    return addresses;
}

int32_t HostAddress(String* name, int32_t index) {
    if (index < 0) return 0;
    Array* addresses = HostAddresses(name);
    return index < addresses->count() ? addresses->elements<int32_t>()[index] : 0;
}

String* HostNameOf(int32_t ip) {
    const NetworkBytes address = networkBytesOf(ip);
    const char* name = ovHostNameByAddr(address.bytes, sizeof address.bytes, OV_AF_INET);
    if (name == nullptr) return &ovEmptyString;
    return ovStringFromBytes(reinterpret_cast<const uint8_t*>(name), static_cast<int32_t>(std::strlen(name)));
}

void ovSocketModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStdCModuleInit();
        ovObjectRegisterTypes({&TSocketExceptionType, &TSocketType});
    });
}
