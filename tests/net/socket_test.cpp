// TSocket against loopback peers: names, binding, listening and accepting,
// sending and receiving, Connected, closing, UDP, and the module functions.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "net/socket.h"
#include "runtime/array.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "tests/net/net_test_support.h"
#include "tests/streams/stream_test_support.h"

namespace {

std::string receive(TSocket* socket, int32_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    const int32_t n = socket->Recv(reinterpret_cast<uint8_t*>(bytes.data()), count, 0);
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

int32_t send(TSocket* socket, const std::string& bytes) {
    return socket->Send(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), 0);
}

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override { ovSocketModuleInit(); }

    // A TCP socket listening on a port of the platform's choice.
    static TSocket* listening() {
        TSocket* server = SockCreateTCP();
        EXPECT_EQ(SockBind(server, 0), 1);
        EXPECT_EQ(SockListen(server, 4), 1);
        return server;
    }
    static TSocket* connectedTo(int port) {
        TSocket* client = SockCreateTCP();
        EXPECT_EQ(SockConnect(client, kLoopbackIp, port), 1);
        return client;
    }
    static void expectClosed(TSocket* socket) {
        EXPECT_EQ(socket->Socket(), -1);
        EXPECT_EQ(SockLocalIp(socket), -1);
        EXPECT_EQ(SockLocalPort(socket), -1);
        EXPECT_EQ(SockRemoteIp(socket), -1);
        EXPECT_EQ(SockRemotePort(socket), -1);
    }
};

// ---------------------------------------------------------------------------
// Creation and closing
// ---------------------------------------------------------------------------

TEST_F(SocketTest, PlainNewHoldsZerosAndCreateRefusesNegativeHandles) {
    auto* plain = ovNew<TSocket>(&TSocketType);
    EXPECT_EQ(plain->_socket | plain->_autoClose | plain->_localIp | plain->_localPort | plain->_remoteIp |
                  plain->_remotePort,
              0);
    EXPECT_EQ(TSocketType.Create(-1, 1), ovNull);
}

TEST_F(SocketTest, AnUnconnectedSocketHasNoRemoteName) {
    TSocket* socket = SockCreateUDP();
    ASSERT_NE(socket, ovNull);
    EXPECT_GE(socket->Socket(), 0);
    EXPECT_EQ(socket->_autoClose, 1);
    EXPECT_EQ(SockRemoteIp(socket), 0);
    EXPECT_EQ(SockRemotePort(socket), 0);
    SockClose(socket);
}

TEST_F(SocketTest, CloseEndsEveryNameAndASecondCloseClosesNothing) {
    TSocket* socket = SockCreateTCP();
    const int32_t handle = socket->Socket();
    EXPECT_EQ(socket->Close(), 0);
    expectClosed(socket);
    EXPECT_EQ(socket->_autoClose, 1);
    EXPECT_EQ(fcntl(handle, F_GETFD), -1);
    const int reused = dup(2);  // most likely the number just freed
    EXPECT_EQ(socket->Close(), 0);
    EXPECT_NE(fcntl(reused, F_GETFD), -1);
    close(reused);
}

TEST_F(SocketTest, WithoutAutoCloseTheOwnerKeepsTheHandle) {
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    TSocket* socket = TSocketType.Create(handle, 0);
    EXPECT_EQ(socket->Close(), 0);
    expectClosed(socket);
    EXPECT_NE(fcntl(handle, F_GETFD), -1);
    close(handle);
}

TEST_F(SocketTest, AClosedSocketFailsEveryCallHarmlessly) {
    TSocket* socket = SockCreateTCP();
    SockClose(socket);
    EXPECT_EQ(send(socket, "x"), 0);
    EXPECT_EQ(receive(socket, 1), "");
    EXPECT_EQ(SockConnected(socket), 0);
    EXPECT_EQ(SockBind(socket, 0), 0);
    EXPECT_EQ(SockListen(socket, 1), 0);
    EXPECT_EQ(SockAccept(socket, -1), ovNull);
    EXPECT_EQ(SockReadAvail(socket), 0);
}

// ---------------------------------------------------------------------------
// Binding, listening, accepting
// ---------------------------------------------------------------------------

TEST_F(SocketTest, BindToPortZeroChoosesAPortThatLocalPortShows) {
    TSocket* server = listening();
    EXPECT_GT(SockLocalPort(server), 0);
    EXPECT_EQ(SockLocalPort(server), ovTestLocalPort(server->Socket()));
    EXPECT_EQ(SockLocalIp(server), 0);  // every local address
    SockClose(server);
}

// Bound to loopback, the socket is named by it and reachable on it; an
// address this machine does not have cannot be bound.
TEST_F(SocketTest, BindAddressTakesOneLocalAddressOnly) {
    TSocket* server = SockCreateTCP();
    ASSERT_EQ(SockBindAddress(server, kLoopbackIp, 0), 1);
    EXPECT_EQ(SockLocalIp(server), kLoopbackIp);
    ASSERT_EQ(SockListen(server, 1), 1);
    TSocket* client = connectedTo(SockLocalPort(server));
    TSocket* foreign = SockCreateTCP();
    EXPECT_EQ(SockBindAddress(foreign, 0xC0000201, 0), 0);  // 192.0.2.1, an address for examples only
    for (TSocket* socket : {client, server, foreign}) SockClose(socket);
}

TEST_F(SocketTest, AcceptPollsAndNamesBothEndsOfTheConnection) {
    TSocket* server = listening();
    EXPECT_EQ(SockAccept(server, 0), ovNull);  // nothing pending: at once
    TSocket* client = connectedTo(SockLocalPort(server));
    EXPECT_EQ(SockRemoteIp(client), kLoopbackIp);
    EXPECT_EQ(SockRemotePort(client), SockLocalPort(server));
    EXPECT_EQ(SockLocalIp(client), kLoopbackIp);
    TSocket* accepted = SockAccept(server, kPeerTimeoutMs);
    ASSERT_NE(accepted, ovNull);
    EXPECT_EQ(accepted->_autoClose, 1);
    EXPECT_EQ(SockLocalPort(accepted), SockLocalPort(server));
    EXPECT_EQ(SockRemotePort(accepted), SockLocalPort(client));
    EXPECT_EQ(SockRemoteIp(accepted), kLoopbackIp);
    for (TSocket* socket : {accepted, client, server}) SockClose(socket);
}

// A process whose standard input is closed is handed 0 for the next new
// handle; that is a connection like any other.
TEST_F(SocketTest, AcceptTakesHandleZeroAsAConnection) {
    TSocket* server = listening();
    const int client = ovTestConnect(SockLocalPort(server));
    ASSERT_GE(client, 0);
    const int savedInput = dup(0);
    close(0);
    TSocket* accepted = SockAccept(server, kPeerTimeoutMs);
    const int32_t handle = accepted == ovNull ? -1 : accepted->Socket();
    if (accepted != ovNull) SockClose(accepted);
    dup2(savedInput, 0);
    close(savedInput);
    close(client);
    SockClose(server);
    EXPECT_EQ(handle, 0);
}

// Accept creates the new socket through the receiver's class, and Connected
// closes through it, so a subclass sees both.
int32_t subclassCreates = 0;
int32_t subclassCloses = 0;

TSocket* countingCreate(int32_t handle, int32_t autoClose) {
    ++subclassCreates;
    return TSocketCreate(handle, autoClose);
}

int32_t countingClose(TSocket* self) {
    ++subclassCloses;
    return TSocketClose(self);
}

constexpr ovScope countingScope = {OV_SCOPE_CLASS, "TCountingSocket", ovNoScopeEntries};
extern const TSocketClass countingSocketType;
constexpr TSocketClass countingSocketType = ovMakeClass<TSocketClass, TSocket>(TSocketType, &countingScope, [](auto& r) {
    r.New = ovFieldlessNew<countingSocketType>;
    r.Create = countingCreate;
    r.Close = countingClose;
});

TEST_F(SocketTest, AcceptAndConnectedDispatchThroughTheReceiversClass) {
    TSocket* server = listening();
    TSocket* counting = ovNew<TSocket>(&countingSocketType);
    counting->_socket = server->Socket();  // the same listener, seen through the subclass
    const int client = ovTestConnect(SockLocalPort(server));
    TSocket* accepted = SockAccept(counting, kPeerTimeoutMs);
    EXPECT_EQ(subclassCreates, 1);
    ASSERT_NE(accepted, ovNull);
    close(client);
    ASSERT_TRUE(ovTestWaitReadable(accepted->Socket()));
    counting->_socket = accepted->Socket();
    EXPECT_EQ(SockConnected(counting), 0);
    EXPECT_EQ(subclassCloses, 1);
    SockClose(server);
}

// ---------------------------------------------------------------------------
// Data
// ---------------------------------------------------------------------------

TEST_F(SocketTest, ReceivesInPartsAndTellsWhatIsWaiting) {
    TSocket* server = listening();
    TSocket* client = connectedTo(SockLocalPort(server));
    TSocket* accepted = SockAccept(server, kPeerTimeoutMs);
    ASSERT_NE(accepted, ovNull);
    EXPECT_EQ(SockReadAvail(accepted), 0);
    EXPECT_EQ(send(client, "hello world"), 11);
    ASSERT_TRUE(ovTestWaitReadable(accepted->Socket()));
    EXPECT_EQ(receive(accepted, 5), "hello");
    EXPECT_EQ(SockReadAvail(accepted), 6);
    EXPECT_EQ(receive(accepted, 64), " world");
    for (TSocket* socket : {accepted, client, server}) SockClose(socket);
}

TEST_F(SocketTest, ConnectedStaysTrueWhileUnreadDataWaitsAndClosesAfterIt) {
    LoopbackServer peer([](int connection) { ovTestSendAll(connection, "abc"); });
    TSocket* client = connectedTo(peer.port());
    peer.join();  // the peer has sent and closed
    EXPECT_EQ(SockConnected(client), 1);
    EXPECT_EQ(receive(client, 8), "abc");
    EXPECT_EQ(SockConnected(client), 0);
    expectClosed(client);
    EXPECT_EQ(SockConnected(client), 0);
}

TEST_F(SocketTest, SendingToAPeerThatHasGoneReportsZero) {
    LoopbackServer peer([](int connection) { ovTestResetOnClose(connection); });
    TSocket* client = connectedTo(peer.port());
    peer.join();
    ASSERT_TRUE(ovTestWaitReadable(client->Socket()));  // the reset has arrived
    EXPECT_EQ(send(client, "lost"), 0);                 // and no SIGPIPE ended the process
    SockClose(client);
}

TEST_F(SocketTest, DatagramsTravelBetweenBoundAndConnectedSockets) {
    TSocket* a = SockCreateUDP();
    TSocket* b = SockCreateUDP();
    ASSERT_EQ(SockBind(a, 0), 1);
    ASSERT_EQ(SockBind(b, 0), 1);
    ASSERT_EQ(SockConnect(a, kLoopbackIp, SockLocalPort(b)), 1);
    ASSERT_EQ(SockConnect(b, kLoopbackIp, SockLocalPort(a)), 1);
    EXPECT_EQ(SockRemotePort(a), SockLocalPort(b));
    EXPECT_EQ(send(a, "ping"), 4);
    ASSERT_TRUE(ovTestWaitReadable(b->Socket()));
    EXPECT_EQ(SockReadAvail(b), 4);
    EXPECT_EQ(receive(b, 16), "ping");
    EXPECT_EQ(send(b, "pong!"), 5);
    ASSERT_TRUE(ovTestWaitReadable(a->Socket()));
    EXPECT_EQ(receive(a, 16), "pong!");
    SockClose(a);
    SockClose(b);
}

// ---------------------------------------------------------------------------
// Names and addresses
// ---------------------------------------------------------------------------

TEST(Addresses, DottedAddressWritesFourOctets) {
    struct Case {
        int32_t ip;
        const char* text;
    };
    for (const Case c : {Case{0, "0.0.0.0"}, Case{static_cast<int32_t>(0xC0A80001), "192.168.0.1"},
                         Case{-1, "255.255.255.255"}, Case{0x0A000001, "10.0.0.1"}, Case{0x7F00FF09, "127.0.255.9"}})
        EXPECT_EQ(ovTestText(DottedAddress(c.ip)), c.text);
}

std::vector<int32_t> addressesOf(const char* name) {
    Array* found = HostAddresses(ovStringFromCString(name));
    return {found->elements<int32_t>(), found->elements<int32_t>() + found->count()};
}

TEST(Addresses, DottedNamesNeedNoNameServerAndUnknownNamesGiveNothing) {
    ovSocketModuleInit();
    EXPECT_EQ(addressesOf("127.0.0.1"), std::vector<int32_t>{kLoopbackIp});
    EXPECT_EQ(addressesOf("192.168.10.200"), std::vector<int32_t>{static_cast<int32_t>(0xC0A80AC8)});
    EXPECT_EQ(HostAddresses(ovLiteral(u"no-such-host.invalid")), &ovEmptyArray);
    EXPECT_EQ(HostAddress(ovLiteral(u"127.0.0.1"), 0), kLoopbackIp);
    EXPECT_EQ(HostAddress(ovLiteral(u"127.0.0.1"), 1), 0);  // beyond the last address
    EXPECT_EQ(HostAddress(ovLiteral(u"127.0.0.1"), -1), 0);
    EXPECT_EQ(HostAddress(ovLiteral(u"no-such-host.invalid"), 0), 0);
}

// The loopback address is named by the hosts file, which needs no server.
TEST(Addresses, TheLoopbackAddressHasANameThatLeadsBackToIt) {
    ovSocketModuleInit();
    String* name = HostNameOf(kLoopbackIp);
    ASSERT_GT(name->length, 0);
    EXPECT_EQ(HostAddress(name, 0), kLoopbackIp) << ovTestText(name);
}

}  // namespace
