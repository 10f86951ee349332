// The socket call layer: small C functions over the platform's BSD sockets
// that take and return plain Ints, so that the socket classes never see an
// address record.
//
// Handles are Ints; a negative result means failure unless a function says
// otherwise.  Nothing here throws.  Every socket is opened close-on-exec,
// every send passes MSG_NOSIGNAL (a peer that has gone makes the send fail
// instead of raising SIGPIPE), and a call interrupted by a signal before it
// moved any data is made again.
//
// Addresses reach this layer as bytes in network order (ovSocketConnectAddr,
// ovHostNameByAddr) or as one Int in host order whose most significant byte
// is the first dotted octet (ovSocketSendTo, ovSocketRecvFrom).  Ports are
// 0 to 65535 in host order; a port outside that range makes the call fail
// without reaching the platform, rather than reaching the port its low 16
// bits name.
#pragma once

#include <cstdint>

struct String;

// The platform constants the socket classes pass down; the values are the
// platform's own.
inline constexpr int32_t OV_AF_INET = 2;
inline constexpr int32_t OV_SOCK_STREAM = 1;
inline constexpr int32_t OV_SOCK_DGRAM = 2;
inline constexpr int32_t OV_IPPROTO_TCP = 6;
inline constexpr int32_t OV_TCP_NODELAY = 1;

// The result of a receive, send or connect that ran out of the bound
// ovSocketSetTimeout put on its socket; like every negative result, a
// failure.
inline constexpr int32_t OV_SOCKET_TIMED_OUT = -2;

// The most handles one list of ovSocketSelect takes.
inline constexpr int32_t OV_SELECT_SET_SIZE = 64;

// Byte order of 16- and 32-bit values.
int32_t ovHtons(int32_t value);
int32_t ovNtohs(int32_t value);
int32_t ovHtonl(int32_t value);
int32_t ovNtohl(int32_t value);

int32_t ovSocketOpen(int32_t family, int32_t type, int32_t protocol);
int32_t ovSocketCloseHandle(int32_t handle);
// Binds to every local address and the port; -1 without a call unless the
// family is OV_AF_INET.
int32_t ovSocketBindAny(int32_t handle, int32_t family, int32_t port);
// Binds to one local address (an Int in host order) and the port, as
// ovSocketBindAny does; a server for this machine alone binds 127.0.0.1.
int32_t ovSocketBindAddr(int32_t handle, int32_t family, int32_t ip, int32_t port);
// Connects to the address (addressLength bytes, at most 4 used) and port; -1
// without a call unless the family is OV_AF_INET.
int32_t ovSocketConnectAddr(int32_t handle, const uint8_t* address, int32_t family, int32_t addressLength,
                            int32_t port);
int32_t ovSocketListen(int32_t handle, int32_t backlog);
// Bounds each later receive, send and connect of the socket to timeoutMs
// (0: no bound); -1 without a call for a negative bound.
int32_t ovSocketSetTimeout(int32_t handle, int32_t timeoutMs);
// The new connection's handle; address and length may be null.
int32_t ovSocketAccept(int32_t handle, void* address, int32_t* length);

// Waits until a handle of the lists is ready (read, write, exceptional
// condition) or timeoutMs pass (negative: no limit).  Each list holds count
// handles (count 0 with a null pointer is allowed).  A handle given twice in
// one list counts once, and a list takes at most OV_SELECT_SET_SIZE distinct
// handles: those beyond are not waited for.  On success every entry whose
// handle is not ready is set to 0 and the number of ready handles (summed
// over the lists) is returned; on failure (an invalid handle among them, or
// nothing to wait for without a time limit) the result is negative and the
// lists are left as they were.
int32_t ovSocketSelect(int32_t readCount, int32_t* readHandles, int32_t writeCount, int32_t* writeHandles,
                       int32_t exceptCount, int32_t* exceptHandles, int32_t timeoutMs);

int32_t ovSocketSend(int32_t handle, const void* buffer, int32_t length, int32_t flags);
int32_t ovSocketSendTo(int32_t handle, const void* buffer, int32_t length, int32_t flags, int32_t ip, int32_t port);
int32_t ovSocketRecv(int32_t handle, void* buffer, int32_t length, int32_t flags);
// The sender's address and port are always written: 0 and 0 when the call
// fails.
int32_t ovSocketRecvFrom(int32_t handle, void* buffer, int32_t length, int32_t flags, int32_t* ip, int32_t* port);
// The number of bytes that can be read without waiting goes to *count.
int32_t ovSocketReadAvail(int32_t handle, int32_t* count);
int32_t ovSocketSetOption(int32_t handle, int32_t level, int32_t option, const void* value, int32_t length);
int32_t ovSocketGetOption(int32_t handle, int32_t level, int32_t option, void* value, int32_t* length);
int32_t ovSocketShutdown(int32_t handle, int32_t how);
// The local and the peer's address record (at most *length bytes; *length
// is set to the record's size).
int32_t ovSocketLocalName(int32_t handle, void* address, int32_t* length);
int32_t ovSocketPeerName(int32_t handle, void* address, int32_t* length);

// ---------------------------------------------------------------------------
// Name lookups
// ---------------------------------------------------------------------------
//
// Both are safe to call from several threads: each thread has its own
// result, valid until that thread's next lookup of the same kind.  A dotted
// address is understood without asking a name server.  Names under the
// reserved domain "invalid" (and the empty name) fail at once: no lookup is
// made for them.

// The IPv4 addresses of the name (its text taken one byte per unit, the low
// 8 bits), in the platform's order: a null-terminated list of pointers to 4
// bytes in network order, with the family and the address length written to
// the outs; null when the lookup fails (the outs untouched).
char** ovHostAddrList(String* name, int32_t* family, int32_t* length);
// The name of the address (length bytes in network order), or null when it
// has none or the family is not OV_AF_INET.
const char* ovHostNameByAddr(const uint8_t* address, int32_t length, int32_t family);
