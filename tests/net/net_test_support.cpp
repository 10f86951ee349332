#include "tests/net/net_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include <utility>

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool waitFor(int handle, short events) {
    pollfd entry = {handle, events, 0};
    return poll(&entry, 1, kPeerTimeoutMs) == 1;
}

}  // namespace

int ovTestListen(int port) {
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (handle < 0 || bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(handle, 16) != 0) {
        if (handle >= 0) close(handle);
        return -1;
    }
    return handle;
}

int ovTestLocalPort(int handle) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    return ntohs(address.sin_port);
}

int ovTestConnect(int port) {
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (handle >= 0 && connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return handle;
    if (handle >= 0) close(handle);
    return -1;
}

bool ovTestWaitReadable(int handle) { return waitFor(handle, POLLIN); }

// Connects while the kernel still completes connections nobody accepts
// (backlog 0 leaves room for one); the first connect that runs out of a
// short bound shows the queue full.
FullListener::FullListener() : listener_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const sockaddr_in address = loopback(0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 0) != 0)
        return;
    port_ = ovTestLocalPort(listener_);
    const sockaddr_in peer = loopback(port_);
    const timeval bound = {0, 200000};
    for (int attempt = 0; attempt < 16 && !full_; ++attempt) {
        const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        if (connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
            queued_.push_back(handle);
            continue;
        }
        full_ = errno == EINPROGRESS;
        close(handle);
    }
}

FullListener::~FullListener() {
    for (const int handle : queued_) close(handle);
    if (listener_ >= 0) close(listener_);
}

LoopbackServer::LoopbackServer(Handler handler, int connections, int port) : listener_(ovTestListen(port)) {
    if (listener_ < 0) return;
    port_ = ovTestLocalPort(listener_);
    thread_ = std::thread([this, handler = std::move(handler), connections] { serve(handler, connections); });
}

LoopbackServer::~LoopbackServer() {
    join();
    if (listener_ >= 0) close(listener_);
}

void LoopbackServer::join() {
    if (thread_.joinable()) thread_.join();
}

void LoopbackServer::serve(Handler handler, int connections) {
    for (int served = 0; served < connections && ovTestWaitReadable(listener_); ++served) {
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return;
        handler(connection);
        close(connection);
    }
}

bool ovTestSendAll(int connection, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string ovTestReceiveAll(int connection) {
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; waitFor(connection, POLLIN) && (n = read(connection, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
}

std::string ovTestReceiveRequest(int connection) {
    std::string bytes;
    char c;
    while (bytes.find("\r\n\r\n") == std::string::npos && waitFor(connection, POLLIN) && recv(connection, &c, 1, 0) == 1)
        bytes.push_back(c);
    return bytes;
}

void ovTestResetOnClose(int connection) {
    const linger abort = {1, 0};
    setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

LoopbackServer::Handler ovTestCannedHttp(std::string response, std::string* request) {
    return [response = std::move(response), request](int connection) {
        *request = ovTestReceiveRequest(connection);
        ovTestSendAll(connection, response);
    };
}

std::string ovTestPattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}
