// Socket streams over loopback connections and the "tcp" protocol.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "net/socketstream.h"
#include "runtime/array.h"
#include "runtime/string.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "tests/net/net_test_support.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

class SocketStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ovSocketStreamModuleInit(); }

    static TStream* open(const std::string& name) { return StreamOpen(ovTestAscii(name), 1, 1); }
    static std::string tcp(int port) { return "tcp::127.0.0.1:" + std::to_string(port); }

    static void write(TStream* stream, const std::string& bytes) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    }
    static std::string read(TStream* stream, int32_t count) {
        std::string bytes(static_cast<size_t>(count), '\0');
        stream->ReadBytes(reinterpret_cast<uint8_t*>(bytes.data()), count);
        return bytes;
    }
};

// ---------------------------------------------------------------------------
// The stream over a socket
// ---------------------------------------------------------------------------

TEST_F(SocketStreamTest, CloseClosesTheSocketOnlyWithAutoClose) {
    for (const int32_t autoClose : {0, 1}) {
        TSocket* socket = SockCreateTCP();
        const int32_t handle = socket->Socket();
        TSocketStream* stream = SockStreamCreate(socket, autoClose);
        EXPECT_EQ(stream->cls, &TSocketStreamType);
        EXPECT_EQ(SockStreamSocket(stream), socket);
        EXPECT_EQ(stream->Close(), 0);
        EXPECT_EQ(stream->Socket(), ovNull);
        EXPECT_EQ(socket->Socket(), autoClose ? -1 : handle) << autoClose;
        EXPECT_EQ(fcntl(handle, F_GETFD) != -1, autoClose == 0) << autoClose;
        SockClose(socket);
    }
}

TEST_F(SocketStreamTest, AClosedStreamIsAtItsEndForGood) {
    TSocketStream* stream = SockStreamCreate(SockCreateTCP(), 1);
    stream->Close();
    uint8_t byte = 'x';
    EXPECT_EQ(stream->Eof(), 1);
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    EXPECT_EQ(stream->Write(&byte, 1), 0);
    EXPECT_EQ(stream->Close(), 0);
    EXPECT_EQ(stream->Pos(), -1);  // never seekable: whole-file readers go by Read alone
    EXPECT_EQ(stream->Size(), 0);
}

// ---------------------------------------------------------------------------
// "tcp::"
// ---------------------------------------------------------------------------

TEST_F(SocketStreamTest, TcpNamesConnectAndCarryBytesBothWays) {
    std::string received;
    LoopbackServer peer([&received](int connection) {
        char request[4];
        if (recv(connection, request, sizeof request, MSG_WAITALL) != 4) return;
        received.assign(request, 4);
        ovTestSendAll(connection, received + received);
    });
    TStream* stream = open("TCP::127.0.0.1:" + std::to_string(peer.port()));
    ASSERT_NE(stream, ovNull);
    EXPECT_EQ(stream->cls, &TSocketStreamType);
    write(stream, "abcd");
    EXPECT_EQ(read(stream, 8), "abcdabcd");
    peer.join();
    EXPECT_EQ(received, "abcd");
    EXPECT_EQ(stream->Eof(), 1);  // the peer has closed and everything is read
    EXPECT_EQ(static_cast<TSocketStream*>(stream)->Socket(), ovNull);
}

TEST_F(SocketStreamTest, EofWaitsUntilBufferedDataHasBeenRead) {
    LoopbackServer peer([](int connection) { ovTestSendAll(connection, "line one\nline two"); });
    TStream* stream = open(tcp(peer.port()));
    ASSERT_NE(stream, ovNull);
    peer.join();  // sent and closed
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "line one");
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "line two");
    EXPECT_EQ(stream->Eof(), 1);
}

// A port beyond the range would reach the port of its low 16 bits, or of
// what the 32-bit conversion makes of it; a host holding a line end, the
// address before it.
TEST_F(SocketStreamTest, NamesThatReachNoPeerGiveNull) {
    const int listener = ovTestListen();
    const int port = ovTestLocalPort(listener);
    const int closed = ovTestListen();
    const int closedPort = ovTestLocalPort(closed);
    close(closed);
    for (const std::string& name :
         {std::string("tcp::127.0.0.1:"), std::string("tcp::127.0.0.1:notaport"),
          "tcp::127.0.0.1:" + std::to_string(port + 65536),
          "tcp::127.0.0.1:" + std::to_string(port + (1ull << 32)),  // converts to port
          "tcp::127.0.0.1\n:" + std::to_string(port), tcp(closedPort), std::string("tcp::no-such-host.invalid:7000"),
          "tcp::no-such-host.invalid:" + std::to_string(port)})
        EXPECT_EQ(open(name), ovNull) << name;
    close(listener);
}

TEST_F(SocketStreamTest, WritingToAPeerThatHasGoneReturnsZero) {
    LoopbackServer peer([](int connection) { ovTestResetOnClose(connection); });
    auto* stream = static_cast<TSocketStream*>(open(tcp(peer.port())));
    ASSERT_NE(stream, ovNull);
    peer.join();
    ASSERT_TRUE(ovTestWaitReadable(stream->Socket()->Socket()));
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(stream->Write(bytes, 3), 0);
    EXPECT_NE(ovTestThrown([&] { write(stream, "more"); }), ovNull);  // WriteBytes reports the failure
    stream->Close();
}

TEST_F(SocketStreamTest, LoadingFromAPeerThatResetsEndsWithWhatArrived) {
    const std::string sent = ovTestPattern(200000);
    LoopbackServer peer([&sent](int connection) {
        ovTestSendAll(connection, sent);
        ovTestResetOnClose(connection);
    });
    Array* loaded = LoadBytes(ovTestAscii(tcp(peer.port())));
    const std::string bytes = ovTestBytes(loaded);
    EXPECT_LE(bytes.size(), sent.size());
    EXPECT_EQ(bytes, sent.substr(0, bytes.size()));
}

TEST(HostAndPort, SplitsAtTheFirstColonWithPortEightyByDefault) {
    struct Case {
        const char* text;
        const char* host;
        int32_t port;
    };
    for (const Case c : {Case{"example", "example", 80}, Case{"h:7000", "h", 7000}, Case{"h:", "h", 0},
                         Case{"h:x", "h", 0}, Case{"h:1:2", "h", 1}, Case{":8", "", 8}, Case{"h:65535", "h", 65535},
                         Case{"h:-80", "h", -80}, Case{"h:$50", "h", 80}, Case{"h:65536", "h", -1},
                         Case{"h:4294967376", "h", -1}, Case{"h:-4294967216", "h", -1}}) {
        const ovHostAndPort split = ovSplitHostAndPort(ovTestAscii(c.text));
        EXPECT_EQ(ovTestText(split.host), c.host) << c.text;
        EXPECT_EQ(split.port, c.port) << c.text;
    }
}

}  // namespace
