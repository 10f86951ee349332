// HTTP streams: the factory of the "http" protocol.  'http::host/dir/page'
// connects to port 80 of the host, sends
//     "GET /dir/page HTTP/1.0" CR LF "Host: host" CR LF CR LF
// and hands back the socket stream positioned at the first byte of the
// body, whatever the status; the header ends at its first empty line (a
// bare LF ends a line too).  'http::host:8080/page' connects to port 8080
// and sends "Host: host:8080".  A response that ends inside its header
// gives a stream already at its end; one that does not come within the
// socket's bound (SockSetDefaultTimeout) gives the Null object.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/factory.h"
#include "streams/stream.h"

// No fields of its own.
struct THTTPStreamFactory : TStreamFactory {};

TStream* THTTPStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                        int32_t readable, int32_t writeable);

extern const ovScope THTTPStreamFactoryScope;
extern const TStreamFactoryClass THTTPStreamFactoryType;

inline constexpr TStreamFactoryClass THTTPStreamFactoryType =
    ovFactoryClass<THTTPStreamFactoryType>(&THTTPStreamFactoryScope, THTTPStreamFactoryCreateStream);

// The HTTP stream module's initialiser: runs the core and socket stream
// modules' initialisers, registers THTTPStreamFactory and links the one
// factory into the chain, once.
void ovHttpStreamModuleInit();
