// The socket call layer over BSD sockets, poll and the thread-safe lookups.
#include "net/socket_calls.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <vector>

#include "runtime/thread.h"
#include "system/clib/clib.h"

static_assert(OV_AF_INET == AF_INET && OV_SOCK_STREAM == SOCK_STREAM && OV_SOCK_DGRAM == SOCK_DGRAM);
static_assert(OV_IPPROTO_TCP == IPPROTO_TCP && OV_TCP_NODELAY == TCP_NODELAY);

namespace {

constexpr int32_t kIpv4Bytes = 4;

bool isPort(int32_t port) { return port >= 0 && port <= 65535; }

// Makes the call again while a signal interrupts it before it did anything;
// it blocks outside managed code, so a pass need not stop the thread.
template <class Call>
auto retryInterrupted(Call call) {
    return ovBlockingCall([&] {
        decltype(call()) result;
        do {
            result = call();
        } while (result < 0 && errno == EINTR);
        return result;
    });
}

// A call that gave up because its socket's bound ran out reports it apart
// from other failures: a blocking connect that runs out fails with
// EINPROGRESS, a receive or send with EAGAIN.
template <class Result>
int32_t boundedResult(Result result, int ranOutError) {
    return result < 0 && errno == ranOutError ? OV_SOCKET_TIMED_OUT : static_cast<int32_t>(result);
}

sockaddr_in addressOf(uint32_t networkIp, int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = networkIp;
    return address;
}

sockaddr* asGeneric(sockaddr_in* address) { return reinterpret_cast<sockaddr*>(address); }

// The caller's Int length as the platform's, and back.
class Length {
public:
    explicit Length(int32_t* length) : caller_(length), value_(length ? static_cast<socklen_t>(*length) : 0) {}
    ~Length() {
        if (caller_ != nullptr) *caller_ = static_cast<int32_t>(value_);
    }
    Length(const Length&) = delete;
    Length& operator=(const Length&) = delete;
    socklen_t* get() { return caller_ ? &value_ : nullptr; }

private:
    int32_t* caller_;
    socklen_t value_;
};

// ---------------------------------------------------------------------------
// Handle sets on poll
// ---------------------------------------------------------------------------

// The three sets of one select call over one poll array: each distinct
// handle of all lists has one entry, whose events join what the sets ask.
class HandleSets {
public:
    static constexpr int32_t kSets = 3;

    // Adds the list's handles to set k: once each, at most
    // OV_SELECT_SET_SIZE of them; negative handles are never ready.
    void add(int32_t k, int32_t count, const int32_t* handles) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t handle = handles[i];
            if (handle < 0 || members_[k].count == OV_SELECT_SET_SIZE || memberOf(k, handle) >= 0) continue;
            const int32_t entry = entryFor(handle);
            polled_[entry].events = static_cast<short>(polled_[entry].events | kAsked[k]);
            members_[k].entries[members_[k].count++] = entry;
        }
    }

    bool empty() const { return count_ == 0; }

    // poll with a time limit in milliseconds (negative: none), waiting again
    // for the rest of the time when a signal interrupts it.
    int32_t wait(int32_t timeoutMs) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (int32_t left = timeoutMs;;) {
            const int32_t result = ovBlockingCall([&] { return poll(polled_.data(), static_cast<nfds_t>(count_), left); });
            if (result >= 0 || errno != EINTR) return result;
            if (timeoutMs >= 0) {
                const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                left = static_cast<int32_t>(std::max<int64_t>(rest.count(), 0));
            }
        }
    }

    bool anyInvalid() const {
        for (int32_t i = 0; i < count_; ++i)
            if ((polled_[i].revents & POLLNVAL) != 0) return true;
        return false;
    }

    // The number of ready handles summed over the sets.
    int32_t readyCount() const {
        int32_t ready = 0;
        for (int32_t k = 0; k < kSets; ++k)
            for (int32_t m = 0; m < members_[k].count; ++m) ready += isReady(k, members_[k].entries[m]) ? 1 : 0;
        return ready;
    }

    // Sets every entry of the list whose handle is not ready in set k to 0.
    void clearUnready(int32_t k, int32_t count, int32_t* handles) const {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t member = handles[i] < 0 ? -1 : memberOf(k, handles[i]);
            if (member < 0 || !isReady(k, members_[k].entries[member])) handles[i] = 0;
        }
    }

private:
    // What each set asks for, and what counts as ready in it (the platform's
    // own select readiness: a closed or failed connection is readable).
    static constexpr short kAsked[kSets] = {POLLIN, POLLOUT, POLLPRI};
    static constexpr short kReady[kSets] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLERR, POLLPRI};

    struct Set {
        int32_t count = 0;
        std::array<int32_t, OV_SELECT_SET_SIZE> entries;  // indexes into polled_
    };

    int32_t memberOf(int32_t k, int32_t handle) const {
        for (int32_t m = 0; m < members_[k].count; ++m)
            if (polled_[members_[k].entries[m]].fd == handle) return m;
        return -1;
    }

    int32_t entryFor(int32_t handle) {
        for (int32_t i = 0; i < count_; ++i)
            if (polled_[i].fd == handle) return i;
        polled_[count_] = {handle, 0, 0};
        return count_++;
    }

    bool isReady(int32_t k, int32_t entry) const { return (polled_[entry].revents & kReady[k]) != 0; }

    std::array<pollfd, kSets * OV_SELECT_SET_SIZE> polled_;
    int32_t count_ = 0;
    Set members_[kSets];
};

// ---------------------------------------------------------------------------
// Lookups
// ---------------------------------------------------------------------------

// Names under the reserved domain "invalid" never resolve, so they are
// answered without a query; a trailing "." and letter case do not matter.
bool isReservedInvalid(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    constexpr std::string_view kDomain = "invalid";
    if (name.size() < kDomain.size()) return false;
    const std::string_view last = name.substr(name.size() - kDomain.size());
    for (size_t i = 0; i < kDomain.size(); ++i)
        if ((last[i] | 0x20) != kDomain[i]) return false;
    return name.size() == kDomain.size() || name[name.size() - kDomain.size() - 1] == '.';
}

// One thread's last list of addresses.
struct AddressList {
    std::vector<std::array<uint8_t, kIpv4Bytes>> addresses;
    std::vector<char*> pointers;
};

}  // namespace

int32_t ovHtons(int32_t value) { return htons(static_cast<uint16_t>(value)); }
int32_t ovNtohs(int32_t value) { return ntohs(static_cast<uint16_t>(value)); }
int32_t ovHtonl(int32_t value) { return static_cast<int32_t>(htonl(static_cast<uint32_t>(value))); }
int32_t ovNtohl(int32_t value) { return static_cast<int32_t>(ntohl(static_cast<uint32_t>(value))); }

int32_t ovSocketOpen(int32_t family, int32_t type, int32_t protocol) {
    return socket(family, type | SOCK_CLOEXEC, protocol);
}

int32_t ovSocketCloseHandle(int32_t handle) { return close(handle); }

int32_t ovSocketBindAny(int32_t handle, int32_t family, int32_t port) {
    return ovSocketBindAddr(handle, family, INADDR_ANY, port);
}

int32_t ovSocketBindAddr(int32_t handle, int32_t family, int32_t ip, int32_t port) {
    if (family != OV_AF_INET || !isPort(port)) return -1;
    sockaddr_in address = addressOf(htonl(static_cast<uint32_t>(ip)), port);
    return bind(handle, asGeneric(&address), sizeof address);
}

int32_t ovSocketConnectAddr(int32_t handle, const uint8_t* address, int32_t family, int32_t addressLength,
                            int32_t port) {
    if (family != OV_AF_INET || !isPort(port)) return -1;
    uint32_t networkIp = 0;
    std::memcpy(&networkIp, address, static_cast<size_t>(std::clamp(addressLength, 0, kIpv4Bytes)));
    sockaddr_in peer = addressOf(networkIp, port);
    return boundedResult(ovBlockingCall([&] { return connect(handle, asGeneric(&peer), sizeof peer); }), EINPROGRESS);
}

int32_t ovSocketListen(int32_t handle, int32_t backlog) { return listen(handle, backlog); }

// The receive bound covers recv, the send bound send and connect.
int32_t ovSocketSetTimeout(int32_t handle, int32_t timeoutMs) {
    if (timeoutMs < 0) return -1;
    const timeval bound = {timeoutMs / 1000, timeoutMs % 1000 * 1000};
    if (setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0) return -1;
    return setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
}

int32_t ovSocketAccept(int32_t handle, void* address, int32_t* length) {
    Length platformLength(length);
    return retryInterrupted(
        [&] { return accept4(handle, static_cast<sockaddr*>(address), platformLength.get(), SOCK_CLOEXEC); });
}

int32_t ovSocketSelect(int32_t readCount, int32_t* readHandles, int32_t writeCount, int32_t* writeHandles,
                       int32_t exceptCount, int32_t* exceptHandles, int32_t timeoutMs) {
    const int32_t counts[] = {readCount, writeCount, exceptCount};
    int32_t* const lists[] = {readHandles, writeHandles, exceptHandles};
    HandleSets sets;
    for (int32_t k = 0; k < HandleSets::kSets; ++k) sets.add(k, counts[k], lists[k]);
    if (sets.empty() && timeoutMs < 0) return -1;
    if (sets.wait(timeoutMs) < 0 || sets.anyInvalid()) return -1;
    for (int32_t k = 0; k < HandleSets::kSets; ++k) sets.clearUnready(k, counts[k], lists[k]);
    return sets.readyCount();
}

int32_t ovSocketSend(int32_t handle, const void* buffer, int32_t length, int32_t flags) {
    if (length < 0) return -1;
    return boundedResult(
        retryInterrupted([&] { return send(handle, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL); }),
        EAGAIN);
}

int32_t ovSocketSendTo(int32_t handle, const void* buffer, int32_t length, int32_t flags, int32_t ip, int32_t port) {
    if (length < 0 || !isPort(port)) return -1;
    sockaddr_in peer = addressOf(htonl(static_cast<uint32_t>(ip)), port);
    return static_cast<int32_t>(retryInterrupted([&] {
        return sendto(handle, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL, asGeneric(&peer), sizeof peer);
    }));
}

int32_t ovSocketRecv(int32_t handle, void* buffer, int32_t length, int32_t flags) {
    if (length < 0) return -1;
    return boundedResult(retryInterrupted([&] { return recv(handle, buffer, static_cast<size_t>(length), flags); }),
                         EAGAIN);
}

int32_t ovSocketRecvFrom(int32_t handle, void* buffer, int32_t length, int32_t flags, int32_t* ip, int32_t* port) {
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const int32_t result = length < 0 ? -1 : static_cast<int32_t>(retryInterrupted([&] {
        return recvfrom(handle, buffer, static_cast<size_t>(length), flags, asGeneric(&sender), &senderLength);
    }));
    *ip = result < 0 ? 0 : static_cast<int32_t>(ntohl(sender.sin_addr.s_addr));
    *port = result < 0 ? 0 : ntohs(sender.sin_port);
    return result;
}

int32_t ovSocketReadAvail(int32_t handle, int32_t* count) {
    int available = 0;
    const int result = ioctl(handle, FIONREAD, &available);
    if (result >= 0) *count = available;
    return result;
}

int32_t ovSocketSetOption(int32_t handle, int32_t level, int32_t option, const void* value, int32_t length) {
    return setsockopt(handle, level, option, value, static_cast<socklen_t>(length));
}

int32_t ovSocketGetOption(int32_t handle, int32_t level, int32_t option, void* value, int32_t* length) {
    Length platformLength(length);
    return getsockopt(handle, level, option, value, platformLength.get());
}

int32_t ovSocketShutdown(int32_t handle, int32_t how) { return shutdown(handle, how); }

int32_t ovSocketLocalName(int32_t handle, void* address, int32_t* length) {
    Length platformLength(length);
    return getsockname(handle, static_cast<sockaddr*>(address), platformLength.get());
}

int32_t ovSocketPeerName(int32_t handle, void* address, int32_t* length) {
    Length platformLength(length);
    return getpeername(handle, static_cast<sockaddr*>(address), platformLength.get());
}

char** ovHostAddrList(String* name, int32_t* family, int32_t* length) {
    const ovPlatformText text(name, 0);
    if (text.size() == 0 || isReservedInvalid({text.c_str(), text.size()})) return nullptr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one answer per address, not one per socket type
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0) return nullptr;
    thread_local AddressList list;
    list.addresses.clear();
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        std::memcpy(list.addresses.emplace_back().data(), &address->sin_addr.s_addr, kIpv4Bytes);
    }
    freeaddrinfo(found);
    if (list.addresses.empty()) return nullptr;
    list.pointers.clear();
    for (auto& address : list.addresses) list.pointers.push_back(reinterpret_cast<char*>(address.data()));
    list.pointers.push_back(nullptr);
    *family = OV_AF_INET;
    *length = kIpv4Bytes;
    return list.pointers.data();
}

const char* ovHostNameByAddr(const uint8_t* address, int32_t length, int32_t family) {
    if (family != OV_AF_INET || length != kIpv4Bytes) return nullptr;
    uint32_t networkIp = 0;
    std::memcpy(&networkIp, address, kIpv4Bytes);
    sockaddr_in peer = addressOf(networkIp, 0);
    thread_local char name[NI_MAXHOST];
    if (getnameinfo(asGeneric(&peer), sizeof peer, name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0) return nullptr;
    return name;
}
