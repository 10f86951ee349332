// Bounded network waits: receives, sends and connects that run out, the
// default bound of the "tcp" and "http" factories, and peers that are slow
// but keep within the bound.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/httpstream.h"
#include "net/socket.h"
#include "net/socketstream.h"
#include "runtime/string.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "tests/net/net_test_support.h"
#include "tests/streams/stream_test_support.h"

namespace {

// Short enough to keep the tests quick, long enough that a loaded machine
// does not run out where it should not.
constexpr int32_t kShortBoundMs = 300;

// A run that waited for the kernel's own limits would take minutes.
constexpr auto kFarBeyondTheBound = std::chrono::seconds(20);

// A peer that sends nothing and stops once the client closes.
void silentPeer(int connection) { ovTestReceiveAll(connection); }

// One that does not read either.
void deafPeer(int connection) {
    pollfd hangUp = {connection, POLLRDHUP, 0};
    poll(&hangUp, 1, kPeerTimeoutMs);
}

class TimeoutTest : public ::testing::Test {
protected:
    void SetUp() override { ovHttpStreamModuleInit(); }
    void TearDown() override { SockSetDefaultTimeout(0); }

    static TSocket* connectedTo(int port, int32_t boundMs) {
        TSocket* socket = SockCreateTCP();
        EXPECT_EQ(SockSetTimeout(socket, boundMs), 1);
        EXPECT_EQ(socket->Connect(kLoopbackIp, port), 1);
        return socket;
    }
    static TStream* open(const std::string& name) { return StreamOpen(ovTestAscii(name), 1, 1); }
};

TEST_F(TimeoutTest, AReceiveThatRunsOutFailsAndLeavesTheSocketUsable) {
    LoopbackServer peer([](int connection) {
        char go;
        if (ovTestWaitReadable(connection) && recv(connection, &go, 1, 0) == 1) ovTestSendAll(connection, "late");
        ovTestReceiveAll(connection);
    });
    TSocket* socket = connectedTo(peer.port(), kShortBoundMs);
    uint8_t bytes[4] = {};
    EXPECT_EQ(socket->Recv(bytes, 4, 0), 0);
    EXPECT_EQ(SockTimedOut(socket), 1);
    EXPECT_EQ(socket->Connected(), 1);
    EXPECT_EQ(socket->Send(reinterpret_cast<const uint8_t*>("g"), 1, 0), 1);
    EXPECT_EQ(socket->Recv(bytes, 4, MSG_WAITALL), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4), "late");
    EXPECT_EQ(socket->TimedOut(), 0);
    SockClose(socket);
}

TEST_F(TimeoutTest, ASendThatRunsOutFails) {
    LoopbackServer peer(deafPeer);
    TSocket* socket = connectedTo(peer.port(), kShortBoundMs);
    const std::string chunk(1 << 20, 'x');
    int32_t sent = 1;
    for (int k = 0; k < 256 && sent != 0; ++k)
        sent = socket->Send(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<int32_t>(chunk.size()), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(socket->TimedOut(), 1);
    ovTestResetOnClose(socket->Socket());  // the bytes still queued would hold back the end
    SockClose(socket);
}

TEST_F(TimeoutTest, AConnectThatRunsOutFails) {
    FullListener listener;
    ASSERT_TRUE(listener.full()) << "the kernel kept completing connections that nobody accepts";
    const auto start = std::chrono::steady_clock::now();
    TSocket* socket = SockCreateTCP();
    ASSERT_EQ(socket->SetTimeout(kShortBoundMs), 1);
    EXPECT_EQ(socket->Connect(kLoopbackIp, listener.port()), 0);
    EXPECT_EQ(socket->TimedOut(), 1);
    SockClose(socket);
    ASSERT_EQ(SockSetDefaultTimeout(kShortBoundMs), 1);
    EXPECT_EQ(open("tcp::127.0.0.1:" + std::to_string(listener.port())), ovNull);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kFarBeyondTheBound);
}

TEST_F(TimeoutTest, NegativeBoundsAndClosedSocketsAreRefused) {
    TSocket* socket = SockCreateTCP();
    EXPECT_EQ(socket->SetTimeout(-1), 0);
    SockClose(socket);
    EXPECT_EQ(socket->SetTimeout(kShortBoundMs), 0);
    EXPECT_EQ(SockSetDefaultTimeout(-1), 0);
}

TEST_F(TimeoutTest, TheDefaultBoundsStreamsOfTheFactories) {
    ASSERT_EQ(SockSetDefaultTimeout(kShortBoundMs), 1);
    LoopbackServer tcpPeer(silentPeer);
    auto* stream = static_cast<TSocketStream*>(open("tcp::127.0.0.1:" + std::to_string(tcpPeer.port())));
    ASSERT_NE(stream, ovNull);
    uint8_t byte;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    EXPECT_EQ(stream->Socket()->TimedOut(), 1);
    EXPECT_EQ(stream->Eof(), 0);  // still connected: the data did not end
    stream->Close();
    // A response that never comes, or stops inside its header, is no
    // response: the stream it would have started is not handed out.
    for (const std::string& sent : {std::string(), std::string("HTTP/1.0 200 OK\r\nServer: x")}) {
        LoopbackServer httpPeer([&sent](int connection) {
            ovTestReceiveRequest(connection);
            ovTestSendAll(connection, sent);
            ovTestReceiveAll(connection);
        });
        EXPECT_EQ(open("http::127.0.0.1:" + std::to_string(httpPeer.port()) + "/x"), ovNull) << sent;
    }
}

TEST_F(TimeoutTest, APeerThatIsSlowButKeepsWithinTheBoundIsReadWhole) {
    constexpr int32_t kBoundMs = 1000;
    constexpr int kPieces = 8;  // 200 ms apart: together far beyond one bound
    ASSERT_EQ(SockSetDefaultTimeout(kBoundMs), 1);
    const std::string body = ovTestPattern(kPieces * 1000);
    LoopbackServer peer([&body](int connection) {
        ovTestReceiveRequest(connection);
        ovTestSendAll(connection, "HTTP/1.0 200 OK\r\n\r\n");
        for (int k = 0; k < kPieces; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kBoundMs / 5));
            ovTestSendAll(connection, body.substr(static_cast<size_t>(k) * 1000, 1000));
        }
    });
    EXPECT_EQ(ovTestBytes(LoadBytes(ovTestAscii("http::127.0.0.1:" + std::to_string(peer.port()) + "/slow"))), body);
}

}  // namespace
