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

// TSocket's operations, in slot order (see "Lists of operations" in
// runtime/object.h), with the class functions between the original
// operations and the bounds added after them, so theirs keep their slots.
//
// Send and Recv give the bytes sent or received (fewer than count is
// possible); 0 on failure and, for Recv, when the peer has closed.
// Connected is 0 once the peer has closed and everything it sent has been
// read (the socket then closes itself), else 1; it never waits.  Bind,
// Connect and Listen are 1 on success, 0 on failure.  Accept gives a
// connection that arrives within timeoutMs (0: polls, negative: no limit),
// or the Null object; any new handle of 0 or more is a connection, since a
// process whose standard input is closed can be handed 0.  ReadAvail counts
// the bytes that can be read without waiting.  UpdateLocalName and
// UpdateRemoteName read the names from the platform; a pair that cannot be
// read is 0, 0.
#define OV_SOCKET_OPERATIONS(X)                                                                                      \
    X(TSocket, int32_t, Send, (const uint8_t* buffer, int32_t count, int32_t flags), (buffer, count, flags),         \
      "(*b,i,i)i")                                                                                                   \
    X(TSocket, int32_t, Recv, (uint8_t * buffer, int32_t count, int32_t flags), (buffer, count, flags), "(*b,i,i)i") \
    X(TSocket, int32_t, Close, (), (), "()i")                                                                        \
    X(TSocket, int32_t, Connected, (), (), "()i")                                                                    \
    X(TSocket, int32_t, Bind, (int32_t port), (port), "(i)i")                                                        \
    X(TSocket, int32_t, Connect, (int32_t ip, int32_t port), (ip, port), "(i,i)i")                                   \
    X(TSocket, int32_t, Listen, (int32_t backlog), (backlog), "(i)i")                                                \
    X(TSocket, TSocket*, Accept, (int32_t timeoutMs), (timeoutMs), "(i):TSocket")                                    \
    X(TSocket, int32_t, ReadAvail, (), (), "()i")                                                                    \
    X(TSocket, int32_t, SetTCPNoDelay, (int32_t enable), (enable), "(i)i")                                           \
    X(TSocket, int32_t, Socket, (), (), "()i")                                                                       \
    X(TSocket, int32_t, LocalIp, (), (), "()i")                                                                      \
    X(TSocket, int32_t, LocalPort, (), (), "()i")                                                                    \
    X(TSocket, int32_t, RemoteIp, (), (), "()i")                                                                     \
    X(TSocket, int32_t, RemotePort, (), (), "()i")                                                                   \
    X(TSocket, int32_t, UpdateLocalName, (), (), "()i")                                                              \
    X(TSocket, int32_t, UpdateRemoteName, (), (), "()i")

// Create: a new TSocket (always of that class) over the handle with its
// names read; the Null object for a negative handle.  CreateUDP and
// CreateTCP: a new socket that closes its handle, or the Null object.
#define OV_SOCKET_FUNCTIONS(X)                                                                              \
    X(TSocket, TSocket*, Create, (int32_t handle, int32_t autoClose), (handle, autoClose), "(i,i):TSocket") \
    X(TSocket, TSocket*, CreateUDP, (), (), "():TSocket")                                                   \
    X(TSocket, TSocket*, CreateTCP, (), (), "():TSocket")

// SetTimeout bounds each later Send, Recv and Connect to timeoutMs (0, the
// start: no bound).  A Recv or Send that runs out fails as any failed one
// does (0) and leaves the socket usable; a Connect that runs out fails.  1 on
// success; 0 for a negative bound or a closed socket.  TimedOut is 1 when
// the last Send, Recv or Connect failed because its bound ran out, else 0.
//
// BindAddress binds the socket to one local address (Bind takes every one);
// 1 on success, 0 on failure.
#define OV_SOCKET_BOUND_OPERATIONS(X)                                         \
    X(TSocket, int32_t, SetTimeout, (int32_t timeoutMs), (timeoutMs), "(i)i") \
    X(TSocket, int32_t, TimedOut, (), (), "()i")                              \
    X(TSocket, int32_t, BindAddress, (int32_t ip, int32_t port), (ip, port), "(i,i)i")

struct TSocketClass : ObjectClass {
    OV_SOCKET_OPERATIONS(OV_SLOT)
    OV_SOCKET_FUNCTIONS(OV_FUNCTION_SLOT)
    OV_SOCKET_BOUND_OPERATIONS(OV_SLOT)
};

// Open while _socket is 0 or more; Close moves it to closed for good
// (handle and names -1), after which every method fails harmlessly.
// Dropping the last reference does not close the platform handle.
struct TSocket : Object {
    int32_t _socket;     // platform handle; -1 once closed; 0 after a plain New
    int32_t _autoClose;  // non-zero: Close closes the platform handle
    int32_t _localIp;    // refreshed by UpdateLocalName
    int32_t _localPort;
    int32_t _remoteIp;  // refreshed by UpdateRemoteName
    int32_t _remotePort;
    int32_t _timedOut;  // 1 when the last Send, Recv or Connect ran out of its bound

    OV_SOCKET_OPERATIONS(OV_DISPATCH)
    OV_SOCKET_BOUND_OPERATIONS(OV_DISPATCH)
};

// ---------------------------------------------------------------------------
// Operations and record
// ---------------------------------------------------------------------------

int32_t TSocketNew(Object* self);
OV_SOCKET_OPERATIONS(OV_DECLARE_OWN)
OV_SOCKET_FUNCTIONS(OV_DECLARE_OWN_FUNCTION)
OV_SOCKET_BOUND_OPERATIONS(OV_DECLARE_OWN)

extern const ovScope TSocketScope;
extern const TSocketClass TSocketType;

inline constexpr TSocketClass TSocketType = ovMakeClass<TSocketClass, TSocket>(ObjectType, &TSocketScope, [](auto& r) {
    r.New = TSocketNew;
    r.Delete = ovChainDelete<TSocketType>;
    OV_SOCKET_OPERATIONS(OV_FILL_OWN)
    OV_SOCKET_FUNCTIONS(OV_FILL_OWN)
    OV_SOCKET_BOUND_OPERATIONS(OV_FILL_OWN)
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
