// Socket streams: a stream whose bytes go to and come from a TSocket, and
// the factory of the "tcp" protocol ('tcp::host:7000', or 'tcp::host' for
// port 80).
//
// Read is one receive and Write one send, each returning the bytes moved (0
// on failure, and for Read when the peer has closed); nothing is buffered,
// so the stream is never read past what its caller asked for.  The stream
// cannot seek: Pos is -1 and Size 0.  Eof turns true once the peer has
// closed and everything it sent has been read; the stream then closes
// itself.  A closed stream is at its end for good: Eof 1, and Read and
// Write return 0.
#pragma once

#include <cstdint>

#include "net/socket.h"
#include "runtime/object.h"
#include "streams/factory.h"
#include "streams/stream.h"

struct TSocketStream;

// TSocketStream's own operation and its class functions, in slot order (see
// "Lists of operations" in runtime/object.h): the socket the stream holds;
// Create and CreateClient as TSocketStreamCreate and
// TSocketStreamCreateClient below.
#define OV_SOCKET_STREAM_OPERATIONS(X) X(TSocketStream, TSocket*, Socket, (), (), "():TSocket")

#define OV_SOCKET_STREAM_FUNCTIONS(X)                                                                    \
    X(TSocketStream, TSocketStream*, Create, (TSocket * socket, int32_t autoClose), (socket, autoClose), \
      "(:TSocket,i):TSocketStream")                                                                      \
    X(TSocketStream, TSocketStream*, CreateClient, (String * host, int32_t port), (host, port), "($,i):TSocketStream")

struct TSocketStreamClass : TStreamClass {
    OV_SOCKET_STREAM_OPERATIONS(OV_SLOT)
    OV_SOCKET_STREAM_FUNCTIONS(OV_FUNCTION_SLOT)
};

struct TSocketStream : TStream {
    ovRef<TSocket> _socket;  // the Null object when closed or never set
    int32_t _autoClose;      // non-zero: Close also closes the socket

    OV_SOCKET_STREAM_OPERATIONS(OV_DISPATCH)
};

// The factory of the "tcp" protocol; no fields of its own.
struct TSocketStreamFactory : TStreamFactory {};

// A new stream (always a TSocketStream) over the socket, which it holds.
TSocketStream* TSocketStreamCreate(TSocket* socket, int32_t autoClose);
// A stream over a new TCP connection to the host (a name or a dotted
// address) and port, closing its socket with it; the Null object when the
// host has no address or the connection fails.  The socket starts with the
// default bound (SockSetDefaultTimeout), the connect included.
TSocketStream* TSocketStreamCreateClient(String* host, int32_t port);

// TSocketStream.Create and the stream's Socket.
TSocketStream* SockStreamCreate(TSocket* socket, int32_t autoClose);
TSocket* SockStreamSocket(TSocketStream* stream);
// The bound (TSocket.SetTimeout) that sockets made by CreateClient, and so
// by the "tcp" and "http" factories, start with; 0, the start, is none.  1
// on success; 0, changing nothing, for a negative bound.
int32_t SockSetDefaultTimeout(int32_t timeoutMs);

// The host and port of "host:port" text; "host" alone has port 80.  The
// port text converts as String-to-Int does (empty or not a number: 0), but
// digits that name a number above 65535 give -1, which reaches no port,
// rather than what the wrapping conversion makes of them.
struct ovHostAndPort {
    String* host;
    int32_t port;
};
ovHostAndPort ovSplitHostAndPort(String* text);

// 1 when a unit of the text would go out as a control byte: its low 8 bits
// below 32, or 127.
int32_t ovHoldsControlByte(String* text);

// CreateClient to the target, or the Null object without a lookup or a
// connection when its host holds a control byte or its port is negative.
TSocketStream* ovOpenClientStream(const ovHostAndPort& target);

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

int32_t TSocketStreamNew(Object* self);
// Releases the socket without closing it.
int32_t TSocketStreamDelete(Object* self);
int32_t TSocketStreamEof(TIO* self);
int32_t TSocketStreamClose(TIO* self);
int32_t TSocketStreamRead(TIO* self, uint8_t* buf, int32_t count);
int32_t TSocketStreamWrite(TIO* self, const uint8_t* buf, int32_t count);
OV_SOCKET_STREAM_OPERATIONS(OV_DECLARE_OWN)
TStream* TSocketStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                          int32_t readable, int32_t writeable);

extern const ovScope TSocketStreamScope, TSocketStreamFactoryScope;
extern const TSocketStreamClass TSocketStreamType;
extern const TStreamFactoryClass TSocketStreamFactoryType;

inline constexpr TSocketStreamClass TSocketStreamType =
    ovMakeClass<TSocketStreamClass, TSocketStream>(TStreamType, &TSocketStreamScope, [](auto& r) {
        r.New = TSocketStreamNew;
        r.Delete = TSocketStreamDelete;
        r.Eof = TSocketStreamEof;
        r.Close = TSocketStreamClose;
        r.Read = TSocketStreamRead;
        r.Write = TSocketStreamWrite;
        OV_SOCKET_STREAM_OPERATIONS(OV_FILL_OWN)
        OV_SOCKET_STREAM_FUNCTIONS(OV_FILL_OWN)
    });
inline constexpr TStreamFactoryClass TSocketStreamFactoryType =
    ovFactoryClass<TSocketStreamFactoryType>(&TSocketStreamFactoryScope, TSocketStreamFactoryCreateStream);

// The socket stream module's initialiser: runs the core, socket and stream
// modules' initialisers, registers TSocketStream and TSocketStreamFactory
// and links the one factory into the chain, once.
void ovSocketStreamModuleInit();
