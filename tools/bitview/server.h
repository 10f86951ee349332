// bitview's socket loop: one thread, one select over the listener, a wake
// handle and every open connection, so a slow or silent client holds up
// nobody and costs at most its time limit.
//
// Each connection carries one request: it is read within the HTTP bounds
// and the connection's time limit, answered, and then drained briefly after
// the server's side is shut, so that bytes the client sent beyond what was
// read (an oversize body) do not reset the connection before the client has
// read the answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <string>

#include "runtime/object.h"
#include "tools/bitview/http.h"

struct TSocket;

inline constexpr int32_t kLoopbackAddress = 0x7F000001;

struct ServerLimits {
    std::chrono::milliseconds connection{5000};  // from accept to the last byte of the answer
    std::chrono::milliseconds drain{1000};       // reading what follows the answer
    std::chrono::milliseconds idleStop{-1};      // stop after this long without a connection (-1: never)
    size_t connections = 32;                     // open at once; more wait in the listener's queue
    HttpLimits http;
};

// A TCP socket listening on 127.0.0.1 and the port (0: a free one), or the
// Null object when it cannot be bound.
TSocket* ListenOnLoopback(int32_t port);

class Server {
public:
    using Answer = std::function<std::string(const HttpRequest&)>;

    Server(TSocket* listener, Answer answer, ServerLimits limits = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until the wake handle is readable (or the idle limit passes).
    // False when waiting on the handles failed.
    bool serve(int32_t wakeHandle);

private:
    using Clock = std::chrono::steady_clock;
    class Connection;

    int32_t waitMs(Clock::time_point now, Clock::time_point idleSince) const;
    void accept();
    void serveReadable(Connection& connection);
    void answer(Connection& connection, const std::string& bytes);
    void expire(Clock::time_point now);

    ovRef<TSocket> listener_;
    Answer answer_;
    ServerLimits limits_;
    std::list<Connection> connections_;
};
