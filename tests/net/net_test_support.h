// Loopback peers for the network tests: plain POSIX sockets on 127.0.0.1,
// served from a thread of their own that gives up by itself, so no test can
// leave a server running or wait for ever.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The longest any peer waits for a connection or for data.
inline constexpr int kPeerTimeoutMs = 20000;

inline constexpr int32_t kLoopbackIp = 0x7F000001;

// Listens on 127.0.0.1 (port 0: a free port) and serves the connections
// that arrive, one at a time, with the handler on its own thread, until
// `connections` have been served or none arrives within kPeerTimeoutMs.
// Each connection is closed after its handler returns.  The destructor
// waits for the thread.
class LoopbackServer {
public:
    using Handler = std::function<void(int connection)>;

    explicit LoopbackServer(Handler handler, int connections = 1, int port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // False when the port could not be bound.
    bool listening() const { return listener_ >= 0; }
    int port() const { return port_; }
    // Waits until the thread has served its connections or given up; what
    // the handlers recorded may be read afterwards.
    void join();

private:
    void serve(Handler handler, int connections);

    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// A listening socket on 127.0.0.1 (port 0: a free port), or -1.
int ovTestListen(int port = 0);
int ovTestLocalPort(int handle);
// A plain client connection to 127.0.0.1:port, or -1.
int ovTestConnect(int port);
// Waits up to kPeerTimeoutMs for the handle to become readable.
bool ovTestWaitReadable(int handle);

// A listener on 127.0.0.1 that never accepts, its queue filled until the
// kernel answers no further connect: one to its port waits until a bound
// runs out.  Closing it ends the connections.
class FullListener {
public:
    FullListener();
    ~FullListener();
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;

    // False when the queue could not be shown to be full.
    bool full() const { return full_; }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    bool full_ = false;
    std::vector<int> queued_;
};

bool ovTestSendAll(int connection, const std::string& bytes);
// Everything the peer (or a pipe) sends until it closes, or until
// kPeerTimeoutMs pass without data.
std::string ovTestReceiveAll(int connection);
// The bytes up to and including the first blank line ("\r\n\r\n"), or all
// that came before the peer closed or went silent.
std::string ovTestReceiveRequest(int connection);
// Makes the next close reset the connection instead of ending it.
void ovTestResetOnClose(int connection);

// A handler that records the request and answers with the response.
LoopbackServer::Handler ovTestCannedHttp(std::string response, std::string* request);

// Bytes that vary, so that a lost or repeated piece shows.
std::string ovTestPattern(size_t size);
