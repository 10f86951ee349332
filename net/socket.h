// Sockets: TSocket wraps one IPv4 stream or datagram socket of the platform,
// and the module functions look names up and format addresses.
//
// Addresses travel as one Int in host order whose most significant byte is
// the first dotted octet (10.0.0.1 is 0x0A000001); ports as Ints 0 to 65535.
// Nothing here throws: every failure is 0, -1, the empty array, "" or the
// Null object.  A TSocket must not be used by two threads at once.
#pragma once

#include <cstdint>

#include "runtime/exception.h"
#include "runtime/object.h"

struct TSocket;

// Registered with the module; nothing throws it.
struct TSocketException : Object {};

String* TSocketExceptionToString(Object* self);  // "Internal socket error"

extern const ovScope TSocketExceptionScope;
extern const ObjectClass TSocketExceptionType;
inline constexpr ObjectClass TSocketExceptionType =
    ovExceptionClass<TSocketExceptionType>(ObjectType, &TSocketExceptionScope, TSocketExceptionToString);

struct TSocketClass : ObjectClass {
    int32_t (*Send)(TSocket* self, const uint8_t* buffer, int32_t count, int32_t flags);
    int32_t (*Recv)(TSocket* self, uint8_t* buffer, int32_t count, int32_t flags);
    int32_t (*Close)(TSocket* self);
    int32_t (*Connected)(TSocket* self);
    int32_t (*Bind)(TSocket* self, int32_t port);
    int32_t (*Connect)(TSocket* self, int32_t ip, int32_t port);
    int32_t (*Listen)(TSocket* self, int32_t backlog);
    TSocket* (*Accept)(TSocket* self, int32_t timeoutMs);
    int32_t (*ReadAvail)(TSocket* self);
    int32_t (*SetTCPNoDelay)(TSocket* self, int32_t enable);
    int32_t (*Socket)(TSocket* self);
    int32_t (*LocalIp)(TSocket* self);
    int32_t (*LocalPort)(TSocket* self);
    int32_t (*RemoteIp)(TSocket* self);
    int32_t (*RemotePort)(TSocket* self);
    int32_t (*UpdateLocalName)(TSocket* self);
    int32_t (*UpdateRemoteName)(TSocket* self);
    // Class functions.
    TSocket* (*Create)(int32_t handle, int32_t autoClose);
    TSocket* (*CreateUDP)();
    TSocket* (*CreateTCP)();
    // Added after the class's original operations, so theirs keep their
    // slots.
    int32_t (*SetTimeout)(TSocket* self, int32_t timeoutMs);
    int32_t (*TimedOut)(TSocket* self);
    int32_t (*BindAddress)(TSocket* self, int32_t ip, int32_t port);
};

// Open while _socket is 0 or more; Close moves it to closed for good
// (handle and names -1), after which every method fails harmlessly.
// Dropping the last reference does not close the platform handle.
struct TSocket : Object {
    int32_t _socket;      // platform handle; -1 once closed; 0 after a plain New
    int32_t _autoClose;   // non-zero: Close closes the platform handle
    int32_t _localIp;     // refreshed by UpdateLocalName
    int32_t _localPort;
    int32_t _remoteIp;    // refreshed by UpdateRemoteName
    int32_t _remotePort;
    int32_t _timedOut;  // 1 when the last Send, Recv or Connect ran out of its bound

    // Bytes sent or received (fewer than count is possible); 0 on failure
    // and, for Recv, when the peer has closed.
    inline int32_t Send(const uint8_t* buffer, int32_t count, int32_t flags);
    inline int32_t Recv(uint8_t* buffer, int32_t count, int32_t flags);
    inline int32_t Close();
    // 0 once the peer has closed and everything it sent has been read (the
    // socket then closes itself), else 1; never waits.
    inline int32_t Connected();
    // 1 on success, 0 on failure.
    inline int32_t Bind(int32_t port);
    inline int32_t Connect(int32_t ip, int32_t port);
    inline int32_t Listen(int32_t backlog);
    // A connection that arrives within timeoutMs (0: polls, negative: no
    // limit), or the Null object.
    inline TSocket* Accept(int32_t timeoutMs);
    // Bytes that can be read without waiting.
    inline int32_t ReadAvail();
    inline int32_t SetTCPNoDelay(int32_t enable);
    inline int32_t Socket();
    inline int32_t LocalIp();
    inline int32_t LocalPort();
    inline int32_t RemoteIp();
    inline int32_t RemotePort();
    // Read the names from the platform; a pair that cannot be read is 0, 0.
    inline int32_t UpdateLocalName();
    inline int32_t UpdateRemoteName();
    // Bounds each later Send, Recv and Connect to timeoutMs (0, the start:
    // no bound).  A Recv or Send that runs out fails as any failed one does
    // (0) and leaves the socket usable; a Connect that runs out fails.  1 on
    // success; 0 for a negative bound or a closed socket.
    inline int32_t SetTimeout(int32_t timeoutMs);
    // 1 when the last Send, Recv or Connect failed because its bound ran
    // out, else 0.
    inline int32_t TimedOut();
    // As Bind, on one local address only (127.0.0.1: reachable from this
    // machine alone).  1 on success, 0 on failure.
    inline int32_t BindAddress(int32_t ip, int32_t port);
};

inline int32_t TSocket::Send(const uint8_t* buffer, int32_t count, int32_t flags) {
    return record<TSocketClass>()->Send(this, buffer, count, flags);
}
inline int32_t TSocket::Recv(uint8_t* buffer, int32_t count, int32_t flags) {
    return record<TSocketClass>()->Recv(this, buffer, count, flags);
}
inline int32_t TSocket::Close() { return record<TSocketClass>()->Close(this); }
inline int32_t TSocket::Connected() { return record<TSocketClass>()->Connected(this); }
inline int32_t TSocket::Bind(int32_t port) { return record<TSocketClass>()->Bind(this, port); }
inline int32_t TSocket::Connect(int32_t ip, int32_t port) { return record<TSocketClass>()->Connect(this, ip, port); }
inline int32_t TSocket::Listen(int32_t backlog) { return record<TSocketClass>()->Listen(this, backlog); }
inline TSocket* TSocket::Accept(int32_t timeoutMs) { return record<TSocketClass>()->Accept(this, timeoutMs); }
inline int32_t TSocket::ReadAvail() { return record<TSocketClass>()->ReadAvail(this); }
inline int32_t TSocket::SetTCPNoDelay(int32_t enable) { return record<TSocketClass>()->SetTCPNoDelay(this, enable); }
inline int32_t TSocket::Socket() { return record<TSocketClass>()->Socket(this); }
inline int32_t TSocket::LocalIp() { return record<TSocketClass>()->LocalIp(this); }
inline int32_t TSocket::LocalPort() { return record<TSocketClass>()->LocalPort(this); }
inline int32_t TSocket::RemoteIp() { return record<TSocketClass>()->RemoteIp(this); }
inline int32_t TSocket::RemotePort() { return record<TSocketClass>()->RemotePort(this); }
inline int32_t TSocket::UpdateLocalName() { return record<TSocketClass>()->UpdateLocalName(this); }
inline int32_t TSocket::UpdateRemoteName() { return record<TSocketClass>()->UpdateRemoteName(this); }
inline int32_t TSocket::SetTimeout(int32_t timeoutMs) { return record<TSocketClass>()->SetTimeout(this, timeoutMs); }
inline int32_t TSocket::TimedOut() { return record<TSocketClass>()->TimedOut(this); }
inline int32_t TSocket::BindAddress(int32_t ip, int32_t port) {
    return record<TSocketClass>()->BindAddress(this, ip, port);
}

// The Null object seen as a socket reference.
inline TSocket* ovNullSocket() { return static_cast<TSocket*>(ovNull); }

// ---------------------------------------------------------------------------
// Operations and record
// ---------------------------------------------------------------------------

int32_t TSocketNew(Object* self);
int32_t TSocketSend(TSocket* self, const uint8_t* buffer, int32_t count, int32_t flags);
int32_t TSocketRecv(TSocket* self, uint8_t* buffer, int32_t count, int32_t flags);
int32_t TSocketClose(TSocket* self);
int32_t TSocketConnected(TSocket* self);
int32_t TSocketBind(TSocket* self, int32_t port);
int32_t TSocketConnect(TSocket* self, int32_t ip, int32_t port);
int32_t TSocketListen(TSocket* self, int32_t backlog);
// Any new handle of 0 or more is a connection: a process whose standard
// input is closed can be handed 0.
TSocket* TSocketAccept(TSocket* self, int32_t timeoutMs);
int32_t TSocketReadAvail(TSocket* self);
int32_t TSocketSetTCPNoDelay(TSocket* self, int32_t enable);
int32_t TSocketSocket(TSocket* self);
int32_t TSocketLocalIp(TSocket* self);
int32_t TSocketLocalPort(TSocket* self);
int32_t TSocketRemoteIp(TSocket* self);
int32_t TSocketRemotePort(TSocket* self);
int32_t TSocketUpdateLocalName(TSocket* self);
int32_t TSocketUpdateRemoteName(TSocket* self);
// A new TSocket (always of that class) over the handle with its names read;
// the Null object for a negative handle.
TSocket* TSocketCreate(int32_t handle, int32_t autoClose);
// A new socket that closes its handle, or the Null object.
TSocket* TSocketCreateUDP();
TSocket* TSocketCreateTCP();
int32_t TSocketSetTimeout(TSocket* self, int32_t timeoutMs);
int32_t TSocketTimedOut(TSocket* self);
int32_t TSocketBindAddress(TSocket* self, int32_t ip, int32_t port);

extern const ovScope TSocketScope;
extern const TSocketClass TSocketType;

inline constexpr TSocketClass TSocketType = ovMakeClass<TSocketClass, TSocket>(ObjectType, &TSocketScope, [](auto& r) {
    r.New = TSocketNew;
    r.Delete = ovChainDelete<TSocketType>;
    r.Send = TSocketSend;
    r.Recv = TSocketRecv;
    r.Close = TSocketClose;
    r.Connected = TSocketConnected;
    r.Bind = TSocketBind;
    r.Connect = TSocketConnect;
    r.Listen = TSocketListen;
    r.Accept = TSocketAccept;
    r.ReadAvail = TSocketReadAvail;
    r.SetTCPNoDelay = TSocketSetTCPNoDelay;
    r.Socket = TSocketSocket;
    r.LocalIp = TSocketLocalIp;
    r.LocalPort = TSocketLocalPort;
    r.RemoteIp = TSocketRemoteIp;
    r.RemotePort = TSocketRemotePort;
    r.UpdateLocalName = TSocketUpdateLocalName;
    r.UpdateRemoteName = TSocketUpdateRemoteName;
    r.Create = TSocketCreate;
    r.CreateUDP = TSocketCreateUDP;
    r.CreateTCP = TSocketCreateTCP;
    r.SetTimeout = TSocketSetTimeout;
    r.TimedOut = TSocketTimedOut;
    r.BindAddress = TSocketBindAddress;
});

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

TSocket* SockCreateUDP();
TSocket* SockCreateTCP();
// Each calls the method of the same name on the socket; SockClose returns 0.
int32_t SockClose(TSocket* socket);
int32_t SockBind(TSocket* socket, int32_t port);
int32_t SockConnect(TSocket* socket, int32_t ip, int32_t port);
int32_t SockListen(TSocket* socket, int32_t backlog);
TSocket* SockAccept(TSocket* socket, int32_t timeoutMs);
int32_t SockConnected(TSocket* socket);
int32_t SockReadAvail(TSocket* socket);
int32_t SockLocalIp(TSocket* socket);
int32_t SockLocalPort(TSocket* socket);
int32_t SockRemoteIp(TSocket* socket);
int32_t SockRemotePort(TSocket* socket);
int32_t SockSetTimeout(TSocket* socket, int32_t timeoutMs);
int32_t SockTimedOut(TSocket* socket);
int32_t SockBindAddress(TSocket* socket, int32_t ip, int32_t port);

// The four octets in decimal, joined by ".": 0xC0A80001 is '192.168.0.1'.
String* DottedAddress(int32_t ip);
// The IPv4 addresses of the name in the platform's order; the empty array
// when it has none.  A dotted address needs no name server.
Array* HostAddresses(String* name);
// Address number index of the name; 0 when there is none, and 0 without a
// lookup for a negative index.
int32_t HostAddress(String* name, int32_t index);
// The name of the address, or "" when it has none.
String* HostNameOf(int32_t ip);

// The socket module's initialiser: runs the core and C-library modules'
// initialisers and registers TSocketException and TSocket, once.
void ovSocketModuleInit();
