// The socket call layer: byte order, handle sets on poll, the port range,
// close-on-exec, and lookups that never need a name server.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "net/socket_calls.h"
#include "runtime/string.h"

namespace {

// ---------------------------------------------------------------------------
// ovSocketSelect
// ---------------------------------------------------------------------------

// A connected pair whose first end has one byte to read; the second has
// nothing.  Both are writable.
class SelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends_), 0);
        ASSERT_EQ(write(ends_[1], "x", 1), 1);
    }
    void TearDown() override {
        close(ends_[0]);
        close(ends_[1]);
    }
    int ready() const { return ends_[0]; }
    int idle() const { return ends_[1]; }

    static int32_t selectRead(std::vector<int32_t>& list) {
        return ovSocketSelect(static_cast<int32_t>(list.size()), list.data(), 0, nullptr, 0, nullptr, 0);
    }

private:
    int ends_[2] = {-1, -1};
};

TEST_F(SelectTest, KeepsReadyEntriesAndClearsTheOthers) {
    std::vector<int32_t> list = {idle(), ready(), -1};
    EXPECT_EQ(selectRead(list), 1);
    EXPECT_EQ(list, (std::vector<int32_t>{0, ready(), 0}));
}

TEST_F(SelectTest, AHandleTwiceInOneListCountsOnceAndBothEntriesAgree) {
    std::vector<int32_t> twiceReady = {ready(), ready()};
    EXPECT_EQ(selectRead(twiceReady), 1);
    EXPECT_EQ(twiceReady, (std::vector<int32_t>{ready(), ready()}));
    std::vector<int32_t> twiceIdle = {idle(), idle()};
    EXPECT_EQ(selectRead(twiceIdle), 0);
    EXPECT_EQ(twiceIdle, (std::vector<int32_t>{0, 0}));
}

TEST_F(SelectTest, CountsAHandleOncePerListItIsReadyIn) {
    int32_t reads[] = {ready()};
    int32_t writes[] = {ready(), idle()};
    EXPECT_EQ(ovSocketSelect(1, reads, 2, writes, 0, nullptr, 0), 3);
}

TEST_F(SelectTest, AListTakesAtMostSixtyFourDistinctHandles) {
    std::vector<int32_t> copies;
    for (int i = 0; i <= OV_SELECT_SET_SIZE; ++i) copies.push_back(dup(idle()));
    std::vector<int32_t> writes = copies;
    EXPECT_EQ(ovSocketSelect(0, nullptr, static_cast<int32_t>(writes.size()), writes.data(), 0, nullptr, 0),
              OV_SELECT_SET_SIZE);
    EXPECT_EQ(std::vector<int32_t>(writes.begin(), writes.end() - 1),
              std::vector<int32_t>(copies.begin(), copies.end() - 1));
    EXPECT_EQ(writes.back(), 0);  // not in the set, so never ready
    for (const int32_t handle : copies) close(handle);
}

TEST_F(SelectTest, FailsAndLeavesTheListsAloneForAClosedHandle) {
    const int32_t closed = dup(idle());
    close(closed);
    std::vector<int32_t> list = {ready(), closed};
    EXPECT_LT(selectRead(list), 0);
    EXPECT_EQ(list, (std::vector<int32_t>{ready(), closed}));
}

TEST(Select, FailsAtOnceWhenThereIsNothingToWaitForWithoutALimit) {
    EXPECT_LT(ovSocketSelect(0, nullptr, 0, nullptr, 0, nullptr, -1), 0);
    int32_t closedOnly[] = {-1};
    EXPECT_LT(ovSocketSelect(1, closedOnly, 0, nullptr, 0, nullptr, -1), 0);
    EXPECT_EQ(ovSocketSelect(0, nullptr, 0, nullptr, 0, nullptr, 0), 0);
}

// ---------------------------------------------------------------------------
// Opening, ports and families
// ---------------------------------------------------------------------------

int localPortOf(int handle) {
    sockaddr_in address{};
    int32_t length = sizeof address;
    if (ovSocketLocalName(handle, &address, &length) != 0) return -1;
    return ovNtohs(address.sin_port);
}

TEST(SocketCalls, OpenSocketsCloseOnExec) {
    const int32_t handle = ovSocketOpen(OV_AF_INET, OV_SOCK_STREAM, 0);
    ASSERT_GE(handle, 0);
    EXPECT_NE(fcntl(handle, F_GETFD) & FD_CLOEXEC, 0);
    ovSocketCloseHandle(handle);
}

// A port beyond 0-65535 or another family fails before the platform sees
// it: the socket stays unbound rather than bound to the port's low 16 bits.
TEST(SocketCalls, RefusePortsOutsideTheRangeAndOtherFamilies) {
    struct Case {
        int32_t family;
        int32_t port;
    };
    const uint8_t loopback[] = {127, 0, 0, 1};
    for (const Case c : {Case{OV_AF_INET, 65536}, Case{OV_AF_INET, -1}, Case{OV_AF_INET, 65536 + 80}, Case{10, 0}}) {
        const int32_t handle = ovSocketOpen(OV_AF_INET, OV_SOCK_STREAM, 0);
        EXPECT_EQ(ovSocketBindAny(handle, c.family, c.port), -1) << c.port;
        EXPECT_EQ(ovSocketConnectAddr(handle, loopback, c.family, 4, c.port), -1) << c.port;
        EXPECT_EQ(localPortOf(handle), 0) << c.port;
        ovSocketCloseHandle(handle);
    }
}

// ---------------------------------------------------------------------------
// Lookups
// ---------------------------------------------------------------------------

TEST(Lookups, ReservedInvalidNamesAndTheEmptyNameFailWithoutAQuery) {
    for (String* name : {ovLiteral(u"host.invalid"), ovLiteral(u"INVALID"), ovLiteral(u"a.b.Invalid."),
                         ovLiteral(u"")}) {
        int32_t family = -1;
        int32_t length = -1;
        EXPECT_EQ(ovHostAddrList(name, &family, &length), nullptr);
        EXPECT_EQ(family, -1);  // the outs stay untouched
        EXPECT_EQ(length, -1);
    }
}

// Each thread has its own result: a lookup on another thread does not
// overwrite it.
TEST(Lookups, EachThreadKeepsItsOwnResult) {
    auto lookUp = [](String* name, uint8_t last, int* wrong) {
        for (int i = 0; i < 200; ++i) {
            int32_t family = 0;
            int32_t length = 0;
            char** list = ovHostAddrList(name, &family, &length);
            if (list == nullptr || static_cast<uint8_t>(list[0][3]) != last || list[1] != nullptr) ++*wrong;
        }
    };
    int wrongA = 0;
    int wrongB = 0;
    std::thread a(lookUp, ovLiteral(u"10.0.0.1"), 1, &wrongA);
    std::thread b(lookUp, ovLiteral(u"10.0.0.2"), 2, &wrongB);
    a.join();
    b.join();
    EXPECT_EQ(wrongA, 0);
    EXPECT_EQ(wrongB, 0);
}

}  // namespace
