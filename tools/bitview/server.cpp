#include "tools/bitview/server.h"

#include <sys/socket.h>

#include <algorithm>
#include <vector>

#include "net/socket.h"
#include "net/socket_calls.h"
#include "tools/bitview/api.h"

namespace {

constexpr int32_t kListenBacklog = 64;
constexpr int32_t kReadChunk = 4096;
// What draining reads at the most before it gives up on the client.
constexpr size_t kMostDrained = 1 << 20;

int32_t millisecondsOf(std::chrono::milliseconds duration) {
    return static_cast<int32_t>(std::clamp<int64_t>(duration.count(), 0, INT32_MAX));
}

}  // namespace

TSocket* ListenOnLoopback(int32_t port) {
    TSocket* listener = SockCreateTCP();
    if (listener == ovNullOf<TSocket>()) return listener;
    // A restarted server takes its port back while answered connections
    // linger in TIME_WAIT.
    const int32_t reuse = 1;
    ovSocketSetOption(listener->Socket(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (listener->BindAddress(kLoopbackAddress, port) == 1 && listener->Listen(kListenBacklog) == 1) return listener;
    listener->Close();
    return ovNullOf<TSocket>();
}

// One accepted connection: its socket (counted, since the list lives on
// the heap where the collector does not look), the request read so far and
// its deadline.
class Server::Connection {
public:
    Connection(TSocket* socket, const ServerLimits& limits, Clock::time_point now)
        : reader(limits.http), deadline(now + limits.connection) {
        socket_.init(socket);
    }
    ~Connection() {
        socket_->Close();
        socket_.release();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    TSocket* socket() const { return socket_; }

    RequestReader reader;
    Clock::time_point deadline;
    bool draining = false;
    size_t drained = 0;
    bool done = false;  // to be closed and removed

private:
    ovRef<TSocket> socket_;
};

Server::Server(TSocket* listener, Answer answer, ServerLimits limits) : answer_(std::move(answer)), limits_(limits) {
    listener_.init(listener);
}

Server::~Server() {
    connections_.clear();
    listener_.release();
}

bool Server::serve(int32_t wakeHandle) {
    Clock::time_point idleSince = Clock::now();
    std::vector<int32_t> handles;
    for (;;) {
        const bool accepting = connections_.size() < limits_.connections;
        handles = {wakeHandle, accepting ? listener_->Socket() : -1};
        for (const Connection& connection : connections_) handles.push_back(connection.socket()->Socket());
        const int32_t ready = ovSocketSelect(static_cast<int32_t>(handles.size()), handles.data(), 0, nullptr, 0,
                                             nullptr, waitMs(Clock::now(), idleSince));
        if (ready < 0) return false;
        if (handles[0] != 0) return true;
        if (handles[1] > 0) accept();
        size_t at = 2;
        for (Connection& connection : connections_)
            if (at < handles.size() && handles[at++] != 0) serveReadable(connection);
        const Clock::time_point now = Clock::now();
        expire(now);
        if (!connections_.empty() || ready > 0) idleSince = now;
        if (limits_.idleStop.count() >= 0 && now - idleSince >= limits_.idleStop) return true;
    }
}

// Until the nearest deadline, or the idle limit when nothing is open.
int32_t Server::waitMs(Clock::time_point now, Clock::time_point idleSince) const {
    if (connections_.empty()) {
        if (limits_.idleStop.count() < 0) return -1;
        return millisecondsOf(std::chrono::ceil<std::chrono::milliseconds>(idleSince + limits_.idleStop - now));
    }
    Clock::time_point nearest = connections_.front().deadline;
    for (const Connection& connection : connections_) nearest = std::min(nearest, connection.deadline);
    return millisecondsOf(std::chrono::ceil<std::chrono::milliseconds>(nearest - now));
}

void Server::accept() {
    TSocket* socket = listener_->Accept(0);
    if (socket == ovNullOf<TSocket>()) return;
    // Each receive and send is bounded too: no single call outlasts the
    // connection's time.
    socket->SetTimeout(millisecondsOf(limits_.connection));
    socket->SetTCPNoDelay(1);
    connections_.emplace_back(socket, limits_, Clock::now());
}

void Server::serveReadable(Connection& connection) {
    uint8_t buffer[kReadChunk];
    const int32_t count = connection.socket()->Recv(buffer, kReadChunk, 0);
    if (count <= 0) {
        connection.done = true;  // the client has gone, or the read failed
        return;
    }
    if (connection.draining) {
        connection.drained += static_cast<size_t>(count);
        connection.done = connection.drained > kMostDrained;
        return;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
    switch (connection.reader.add(bytes)) {
        case RequestReader::State::kIncomplete: return;
        case RequestReader::State::kComplete: return answer(connection, answer_(connection.reader.request()));
        case RequestReader::State::kRefused:
            return answer(connection,
                          ErrorAnswer(connection.reader.refusalStatus(), connection.reader.refusalReason()));
    }
}

// Sends the whole answer within the connection's time, then shuts the
// sending side and drains.
void Server::answer(Connection& connection, const std::string& bytes) {
    TSocket* socket = connection.socket();
    size_t sent = 0;
    while (sent < bytes.size() && Clock::now() < connection.deadline) {
        const int32_t count = socket->Send(reinterpret_cast<const uint8_t*>(bytes.data()) + sent,
                                           static_cast<int32_t>(std::min<size_t>(bytes.size() - sent, INT32_MAX)), 0);
        if (count <= 0) break;
        sent += static_cast<size_t>(count);
    }
    ovSocketShutdown(socket->Socket(), SHUT_WR);
    connection.draining = true;
    connection.deadline = Clock::now() + limits_.drain;
}

void Server::expire(Clock::time_point now) {
    for (Connection& connection : connections_) {
        if (connection.done || now < connection.deadline) continue;
        if (!connection.draining) {
            // The answer gets the draining time to go out.
            connection.deadline = now + limits_.drain;
            answer(connection, ErrorAnswer(408, "the request did not arrive in time"));
        }
        connection.done = true;
    }
    connections_.remove_if([](const Connection& connection) { return connection.done; });
}
