// The "http" protocol against loopback servers: the request on the wire,
// skipping the header of canned responses, the port-80 form inside a
// private network namespace, and files served by Python's http.server.
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "net/httpstream.h"
#include "net/socketstream.h"
#include "runtime/array.h"
#include "runtime/string.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "tests/net/net_test_support.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"

extern char** environ;

namespace {

using namespace std::string_literals;

const std::string kOkHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override { ovHttpStreamModuleInit(); }

    static std::string url(int port, const std::string& path) {
        return "http::127.0.0.1:" + std::to_string(port) + path;
    }
    static TStream* open(const std::string& name) { return StreamOpenRead(ovTestAscii(name)); }
    static std::string load(const std::string& name) { return ovTestBytes(LoadBytes(ovTestAscii(name))); }
};

// ---------------------------------------------------------------------------
// The request
// ---------------------------------------------------------------------------

TEST_F(HttpTest, SendsOneGetWithTheHostAndNothingElse) {
    struct Case {
        const char* path;
        const char* requestLine;
    };
    for (const Case c : {Case{"", "GET / HTTP/1.0"}, Case{"/", "GET / HTTP/1.0"},
                         Case{"/a/b?x=1", "GET /a/b?x=1 HTTP/1.0"}, Case{"/dir/", "GET /dir/ HTTP/1.0"}}) {
        std::string request;
        LoopbackServer server(ovTestCannedHttp(kOkHeader + "ok", &request));
        EXPECT_EQ(load(url(server.port(), c.path)), "ok") << c.path;
        server.join();
        const std::string host = "127.0.0.1:" + std::to_string(server.port());
        EXPECT_EQ(request, std::string(c.requestLine) + "\r\nHost: " + host + "\r\n\r\n") << c.path;
    }
}

// What a peer on 127.0.0.1 received when the name made of the text before,
// the peer's port (plus the offset) and the text after was opened: "" when
// the open reached no peer.  A connection of the test's own lets a peer that
// nobody reached stop at once.
struct NameAroundPort {
    std::u16string_view before;
    std::u16string_view after;
    unsigned long long portOffset = 0;
};

std::string requestMadeBy(const NameAroundPort& name) {
    std::string request;
    LoopbackServer server(ovTestCannedHttp(kOkHeader + "ok", &request));
    const std::string port = std::to_string(server.port() + name.portOffset);
    std::u16string text(name.before);
    text.append(port.begin(), port.end()).append(name.after);
    TStream* stream = StreamOpenRead(ovTestString(text));
    close(ovTestConnect(server.port()));
    server.join();
    return stream == ovNull ? request : "a stream after " + request;
}

TEST_F(HttpTest, NamesThatWouldPutAControlByteOnTheWireReachNoPeer) {
    for (const NameAroundPort& name : {
             NameAroundPort{u"http::127.0.0.1:", u"/a\r\nX-Injected: 1"},
             NameAroundPort{u"http::127.0.0.1:", u"/a\u010D\u010AX-Injected: 1"},
             NameAroundPort{u"http::127.0.0.1:", u"/a\tb"},
             NameAroundPort{u"http::127.0.0.1:", u"/a\u007F"},
             NameAroundPort{u"http::127.0.0.1:", u"\n/a"},  // the port text goes out in the Host line
             NameAroundPort{u"http::127.0.0.1\r:", u"/a"},
         })
        EXPECT_EQ(requestMadeBy(name), "") << ovTestText(ovTestString(name.after));
}

TEST_F(HttpTest, OtherUnitsGoOutAsTheirLowEightBits) {
    const std::string request = requestMadeBy({u"http::127.0.0.1:", u"/caf\u00E9\u0120x"});
    EXPECT_EQ(request.substr(0, request.find('\r')), "a stream after GET /caf\xE9 x HTTP/1.0");
}

TEST_F(HttpTest, APortWhoseDigitsNameMoreThan65535ReachesNoPeer) {
    // The 32-bit conversion of k * 2^32 + p is p.
    for (const unsigned long long offset : {1ull << 32, 5ull << 32})
        EXPECT_EQ(requestMadeBy({u"http::127.0.0.1:", u"/a", offset}), "") << offset;
}

// ---------------------------------------------------------------------------
// Responses
// ---------------------------------------------------------------------------

TEST_F(HttpTest, SkipsTheHeaderUpToItsFirstEmptyLineWhateverTheStatus) {
    struct Case {
        const char* what;
        std::string response;
        std::string body;
    };
    const std::string big = ovTestPattern(1 << 20);
    const Case cases[] = {
        {"CR LF", kOkHeader + "hello\r\n\r\nworld", "hello\r\n\r\nworld"},
        {"bare LF", "HTTP/1.0 200 OK\nServer: x\n\nbody\n", "body\n"},
        {"error status", "HTTP/1.0 404 Not Found\r\nX: y\r\n\r\nnot here", "not here"},
        {"no body", "HTTP/1.0 204 No Content\r\n\r\n", ""},
        {"only CRs on the line", "HTTP/1.0 200 OK\r\n\r\r\nbody", "body"},
        {"a line starting with 0", "HTTP/1.0 200 OK\r\n\0rest\r\ntail"s, "rest\r\ntail"},
        {"cut inside the header", "HTTP/1.0 200 OK\r\nContent-Le", ""},
        {"nothing at all", "", ""},
        {"large body", kOkHeader + big, big},
    };
    for (const Case& c : cases) {
        std::string request;
        LoopbackServer server(ovTestCannedHttp(c.response, &request));
        EXPECT_EQ(load(url(server.port(), "/x")), c.body) << c.what;
    }
}

TEST_F(HttpTest, TheStreamStartsAtTheBodyAndClosesItselfAtTheEnd) {
    std::string request;
    LoopbackServer server(ovTestCannedHttp("HTTP/1.0 404 Not Found\r\nX: y\r\n\r\nbody", &request));
    TStream* stream = open(url(server.port(), "/missing"));
    ASSERT_NE(stream, ovNull);
    EXPECT_EQ(stream->cls, &TSocketStreamType);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "body");
    server.join();
    EXPECT_EQ(stream->Eof(), 1);
    EXPECT_EQ(static_cast<TSocketStream*>(stream)->Socket(), ovNull);
}

TEST_F(HttpTest, AResponseCutInsideTheHeaderGivesAStreamAtItsEnd) {
    std::string request;
    LoopbackServer server(ovTestCannedHttp("HTTP/1.0 200 OK\r\nServer: half", &request));
    TStream* stream = open(url(server.port(), "/"));
    ASSERT_NE(stream, ovNull);
    EXPECT_EQ(stream->Eof(), 1);
    uint8_t byte;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
}

TEST_F(HttpTest, APeerThatResetsMidBodyEndsTheLoadWithWhatArrived) {
    const std::string body = ovTestPattern(300000);
    LoopbackServer server([&body](int connection) {
        ovTestReceiveRequest(connection);
        ovTestSendAll(connection, kOkHeader + body.substr(0, 150000));
        ovTestResetOnClose(connection);
    });
    const std::string loaded = load(url(server.port(), "/big"));
    EXPECT_LE(loaded.size(), 150000u);
    EXPECT_EQ(loaded, body.substr(0, loaded.size()));
}

TEST_F(HttpTest, NamesThatReachNoServerGiveNull) {
    const int closed = ovTestListen();
    const int closedPort = ovTestLocalPort(closed);
    close(closed);
    for (const std::string& name : {std::string("http::no-such-host.invalid/page"), url(closedPort, "/"),
                                    std::string("http::127.0.0.1:/page"), std::string("http::127.0.0.1:x/page")})
        EXPECT_EQ(open(name), ovNull) << name;
}

// ---------------------------------------------------------------------------
// The form without a port: port 80
// ---------------------------------------------------------------------------

// Runs the check in a forked child inside a network namespace of its own
// with only loopback, up: its port 80 is free whatever this machine runs,
// and nothing it sends can leave the machine.  The child writes what the
// check returns to a pipe and ends within a bounded time whatever happens.
constexpr int kNoNamespace = 77;

bool bringUpLoopback() {
    const int handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    const bool up = handle >= 0 && ioctl(handle, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(handle, SIOCSIFFLAGS, &request) == 0);
    if (handle >= 0) close(handle);
    return up;
}

struct ChildResult {
    int status;
    std::string output;
};

ChildResult runInPrivateNetwork(const std::function<std::string()>& check) {
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) return {-1, ""};
    const pid_t child = fork();
    if (child == 0) {
        alarm(60);
        close(channel[0]);
        if (unshare(CLONE_NEWNET) != 0 || !bringUpLoopback()) _exit(kNoNamespace);
        _exit(ovTestSendAll(channel[1], check()) ? 0 : 1);
    }
    close(channel[1]);
    ChildResult result{-1, ovTestReceiveAll(channel[0])};
    close(channel[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

constexpr const char* kPortBusy = "port 80 is in use";

// Serves two connections on port 80 of 127.0.0.1: one through "http::"
// without a port, one through "tcp::" without a port; returns the requests
// and bodies, each followed by "|".
std::string exchangeOnPortEighty() {
    std::vector<std::string> requests;
    LoopbackServer server(
        [&requests](int connection) {
            requests.push_back(ovTestReceiveRequest(connection));
            ovTestSendAll(connection, "HTTP/1.0 200 OK\r\n\r\nport eighty");
        },
        2, 80);
    if (!server.listening()) return kPortBusy;
    std::string output = ovTestBytes(LoadBytes(ovLiteral(u"http::127.0.0.1/a/b?x=1"))) + "|";
    TStream* tcp = StreamOpen(ovLiteral(u"tcp::127.0.0.1"), 1, 1);
    if (tcp == ovNull) return output + "no tcp connection";
    const std::string ping = "PING\r\n\r\n";
    tcp->WriteBytes(reinterpret_cast<const uint8_t*>(ping.data()), static_cast<int32_t>(ping.size()));
    output += ovTestBytes(LoadBytes(tcp)) + "|";
    tcp->Close();
    server.join();
    for (const std::string& request : requests) output += request + "|";
    return output;
}

TEST_F(HttpTest, WithoutAPortBothProtocolsUsePortEighty) {
    ChildResult result = runInPrivateNetwork(exchangeOnPortEighty);
    const char* where = "in a private network namespace";
    if (result.status == kNoNamespace) {
        result = {0, exchangeOnPortEighty()};
        where = "on this machine's loopback";
    }
    if (result.output == kPortBusy)
        GTEST_SKIP() << "no private network namespace can be made here and port 80 of 127.0.0.1 is in use";
    EXPECT_EQ(result.status, 0) << where;
    EXPECT_EQ(result.output,
              "port eighty|HTTP/1.0 200 OK\r\n\r\nport eighty|"
              "GET /a/b?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n|PING\r\n\r\n|")
        << where;
}

// ---------------------------------------------------------------------------
// A peer nobody here wrote: Python's http.server
// ---------------------------------------------------------------------------

// A line from the descriptor, waiting at most kPeerTimeoutMs for each byte.
std::string readLine(int handle) {
    std::string line;
    char c;
    pollfd entry = {handle, POLLIN, 0};
    while (poll(&entry, 1, kPeerTimeoutMs) == 1 && read(handle, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
}

constexpr const char* kPythonServer = R"(
import functools, http.server, signal, sys
signal.alarm(120)
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=sys.argv[1]))
print(server.server_address[1], flush=True)
server.serve_forever()
)";

// python3 serving a directory on a free port of 127.0.0.1; it is ended when
// the object goes, and ends itself after two minutes in any case.
class PythonServer {
public:
    explicit PythonServer(const std::string& directory) {
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const char* argv[] = {"python3", "-c", kPythonServer, directory.c_str(), nullptr};
        spawnError_ = posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        if (spawnError_ == 0) port_ = std::atoi(readLine(output[0]).c_str());
        close(output[0]);
    }
    ~PythonServer() {
        if (spawnError_ != 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;

    bool missing() const { return spawnError_ == ENOENT; }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int spawnError_ = -1;
    int port_ = 0;
};

TEST_F(HttpTest, FilesFromPythonsHttpServerArriveByteExactly) {
    ovTestTempDir directory;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"hello.txt", "Hello from a server nobody here wrote\n"},
        {"empty.bin", ""},
        {"pattern.bin", ovTestPattern(5 << 20)},
    };
    for (const auto& [name, bytes] : files) ovTestWriteFile(directory / name, bytes);
    mkdir((directory / "sub").c_str(), 0755);
    ovTestWriteFile(directory / "sub/name with space.txt", "spaced");
    PythonServer python(directory.path());
    if (python.missing()) GTEST_SKIP() << "python3 is not installed, so there is no foreign peer to test against";
    ASSERT_GT(python.port(), 0) << "python3 did not start its server";
    for (const auto& [name, bytes] : files) {
        const std::string loaded = load(url(python.port(), "/" + name));
        EXPECT_EQ(loaded.size(), bytes.size()) << name;
        EXPECT_TRUE(loaded == bytes) << name;
    }
    EXPECT_EQ(load(url(python.port(), "/sub/name%20with%20space.txt")), "spaced");
    EXPECT_NE(load(url(python.port(), "/no-such-file")).find("404"), std::string::npos);
}

}  // namespace
