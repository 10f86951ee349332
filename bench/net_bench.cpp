// Network streams against plain sockets and curl, over loopback only, with
// a server of the benchmark's own on 127.0.0.1 that stops by itself.
//
//   net.stream_bulk   256 MiB through a TSocketStream (128 MiB written with
//                     WriteBytes, 128 MiB read with ReadBytes, 64 KiB
//                     pieces) against the same with send and recv loops.
//   net.http_get      LoadBytes of one 64 MiB body from 'http::' against
//                     `curl -s -o /dev/null` of the same URL.
//   net.http_small    2,000 sequential GETs of a 1 KiB body against one curl
//                     run fetching the same 2,000 URLs.
//
// Times are processor times.  The server's thread serves both sides alike
// and is left out of both.  A curl run is a child process, whose processor
// time the harness cannot see, so the HTTP pairs are named "cpu/..." and
// print their own compare lines; without curl their baseline is a plain C
// loop that sends the same request and reads to the end.
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/scratch_files.h"
#include "net/httpstream.h"
#include "net/socketstream.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "streams/load_save.h"

extern char** environ;

namespace {

constexpr int64_t kBulkBytes = int64_t{256} << 20;
constexpr int32_t kPieceBytes = 64 << 10;
constexpr size_t kBigBody = size_t{64} << 20;
constexpr size_t kSmallBody = 1024;
constexpr int kSmallRequests = 2000;

// The server gives up after this long without a connection or data.
constexpr int kIdleMs = 60000;

// ---------------------------------------------------------------------------
// The loopback server
// ---------------------------------------------------------------------------

// Bytes that vary, so that nothing can treat the body as a run of one value.
std::string patternOf(size_t size) {
    std::string bytes(size, '\0');
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (size_t i = 0; i + 8 <= size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(&bytes[i], &state, 8);
    }
    return bytes;
}

bool waitReadable(int handle) {
    pollfd entry = {handle, POLLIN, 0};
    return poll(&entry, 1, kIdleMs) == 1;
}

bool sendAll(int handle, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(handle, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool receiveExactly(int handle, char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = recv(handle, data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Serves one connection at a time on 127.0.0.1: an HTTP/1.0 GET of "/big"
// or anything else (the small body), or bulk commands: 'S' and an 8-byte
// count (the server takes that many bytes and answers one byte), 'R' and a
// count (the server sends that many bytes).
class BenchServer {
public:
    BenchServer() : big_(patternOf(kBigBody)), small_(patternOf(kSmallBody)) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 64) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("bench server");
            std::exit(1);
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~BenchServer() {
        stop_ = true;
        const int wake = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
        close(wake);
        thread_.join();
        close(listener_);
    }

    int port() const { return port_; }
    std::string url(const char* path) const { return "127.0.0.1:" + std::to_string(port_) + path; }

private:
    void serve() {
        while (!stop_ && waitReadable(listener_)) {
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            handle(connection);
            close(connection);
        }
    }

    void handle(int connection) {
        char first = 0;
        if (!waitReadable(connection) || recv(connection, &first, 1, MSG_PEEK) != 1) return;
        if (first == 'G') answerGet(connection);
        else runCommands(connection);
    }

    void answerGet(int connection) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && waitReadable(connection)) {
            const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            request.append(buffer, static_cast<size_t>(n));
        }
        const std::string& body = request.compare(0, 9, "GET /big ") == 0 ? big_ : small_;
        const std::string header =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n";
        if (sendAll(connection, header.data(), header.size())) sendAll(connection, body.data(), body.size());
    }

    void runCommands(int connection) {
        std::vector<char> piece(kPieceBytes);
        for (char command[9]; waitReadable(connection) && receiveExactly(connection, command, sizeof command);) {
            int64_t count = 0;
            std::memcpy(&count, command + 1, sizeof count);
            for (int64_t done = 0; done < count; done += kPieceBytes) {
                const bool moved = command[0] == 'S' ? receiveExactly(connection, piece.data(), piece.size())
                                                     : sendAll(connection, piece.data(), piece.size());
                if (!moved) return;
            }
            if (command[0] == 'S' && !sendAll(connection, "k", 1)) return;
        }
    }

    std::string big_;
    std::string small_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

BenchServer& server() {
    static BenchServer instance;
    return instance;
}

void initModules() {
    ovSocketStreamModuleInit();
    ovHttpStreamModuleInit();
}

// ---------------------------------------------------------------------------
// net.stream_bulk
// ---------------------------------------------------------------------------

struct BulkCommand {
    char bytes[9];
};

BulkCommand commandOf(char kind, int64_t count) {
    BulkCommand command{};
    command.bytes[0] = kind;
    std::memcpy(command.bytes + 1, &count, sizeof count);
    return command;
}

constexpr int64_t kHalf = kBulkBytes / 2;

void oursStreamBulk(benchmark::State& state) {
    initModules();
    TSocketStream* stream = TSocketStreamType.CreateClient(ovLiteral(u"127.0.0.1"), server().port());
    if (stream == ovNull) return state.SkipWithError("no connection");
    Array* buffer = ovArrayNew1D("b", kPieceBytes);
    uint8_t* piece = buffer->elements<uint8_t>();
    const BulkCommand sink = commandOf('S', kHalf);
    const BulkCommand source = commandOf('R', kHalf);
    for (auto _ : state) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(sink.bytes), sizeof sink.bytes);
        for (int64_t done = 0; done < kHalf; done += kPieceBytes) stream->WriteBytes(piece, kPieceBytes);
        stream->ReadBytes(piece, 1);
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(source.bytes), sizeof source.bytes);
        for (int64_t done = 0; done < kHalf; done += kPieceBytes) stream->ReadBytes(piece, kPieceBytes);
    }
    stream->Close();
    ovKeepAlive(buffer);
    state.SetBytesProcessed(state.iterations() * kBulkBytes);
}

void baseStreamBulk(benchmark::State& state) {
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server().port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return state.SkipWithError("no connection");
    std::vector<char> piece(kPieceBytes);
    const BulkCommand sink = commandOf('S', kHalf);
    const BulkCommand source = commandOf('R', kHalf);
    bool moved = true;
    for (auto _ : state) {
        moved = moved && sendAll(handle, sink.bytes, sizeof sink.bytes);
        for (int64_t done = 0; moved && done < kHalf; done += kPieceBytes)
            moved = sendAll(handle, piece.data(), piece.size());
        moved = moved && receiveExactly(handle, piece.data(), 1) && sendAll(handle, source.bytes, sizeof source.bytes);
        for (int64_t done = 0; moved && done < kHalf; done += kPieceBytes)
            moved = receiveExactly(handle, piece.data(), piece.size());
    }
    if (!moved) state.SkipWithError("transfer failed");
    close(handle);
    state.SetBytesProcessed(state.iterations() * kBulkBytes);
}

// ---------------------------------------------------------------------------
// net.http_get and net.http_small
// ---------------------------------------------------------------------------

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double secondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); }

bool haveCurl() {
    static const bool found = [] {
        const char* argv[] = {"curl", "--version", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        const int error = posix_spawnp(&child, "curl", &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 1;
        return error == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }();
    return found;
}

// Runs curl with the arguments; its processor time, or -1 when it fails.
double curlSeconds(std::vector<std::string> arguments) {
    std::vector<char*> argv = {const_cast<char*>("curl")};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t child = -1;
    const int error = posix_spawnp(&child, "curl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (error != 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
}

// A C program's fetch: connect, send the same request, read to the end.
size_t plainGet(const char* path) {
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server().port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t total = 0;
    if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            std::string("GET ") + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server().port()) + "\r\n\r\n";
        static char buffer[1 << 16];
        if (sendAll(handle, request.data(), request.size()))
            for (ssize_t n; (n = recv(handle, buffer, sizeof buffer, 0)) > 0;) total += static_cast<size_t>(n);
    }
    close(handle);
    return total;
}

// The curl configuration that fetches the URL `times` times, each body to
// /dev/null.
std::vector<std::string> curlArguments(const char* path, int times) {
    const std::string url = "http://" + server().url(path);
    if (times == 1) return {"-s", "-o", "/dev/null", url};
    static std::string config;
    if (config.empty()) {
        config = ScratchFiles::instance().path("curl-small.conf");
        std::ofstream out(config);
        for (int i = 0; i < times; ++i) out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    return {"-s", "-K", config};
}

struct HttpCase {
    const char* name;
    const char* path;
    int requests;
    size_t bodyBytes;
};

double oursHttpSeconds(const HttpCase& c, bool& ok) {
    initModules();
    String* url = ovStringFromCString(("http::" + server().url(c.path)).c_str());
    const double start = threadSeconds();
    for (int i = 0; i < c.requests; ++i) ok = ok && static_cast<size_t>(LoadBytes(url)->count()) == c.bodyBytes;
    const double seconds = threadSeconds() - start;
    ovKeepAlive(url);
    return seconds;
}

double baseHttpSeconds(const HttpCase& c, bool& ok) {
    if (haveCurl()) {
        const double seconds = curlSeconds(curlArguments(c.path, c.requests));
        ok = ok && seconds >= 0;
        return seconds;
    }
    const double start = threadSeconds();
    for (int i = 0; i < c.requests; ++i) ok = ok && plainGet(c.path) > c.bodyBytes;
    return threadSeconds() - start;
}

void registerHttpPair(const HttpCase& c, int iterations) {
    auto ours = std::make_shared<double>(0);
    for (const bool baseline : {false, true}) {
        const std::string name = std::string(baseline ? "cpu/base/net." : "cpu/ours/net.") + c.name;
        benchmark::RegisterBenchmark(name.c_str(), [c, baseline, ours](benchmark::State& state) {
            double total = 0;
            bool ok = true;
            for (auto _ : state) {
                const double seconds = baseline ? baseHttpSeconds(c, ok) : oursHttpSeconds(c, ok);
                state.SetIterationTime(seconds > 0 ? seconds : 1e-9);
                total += seconds;
            }
            if (!ok) return state.SkipWithError("a fetch failed or brought the wrong length");
            state.SetLabel(baseline ? (haveCurl() ? "curl" : "plain C loop") : "LoadBytes");
            const double mean = total / static_cast<double>(state.iterations());
            if (!baseline) *ours = mean;
            else if (mean > 0 && *ours > 0) std::printf("compare: net.%s %.3f\n", c.name, *ours / mean);
        })->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(iterations);
    }
}

[[maybe_unused]] const int registered = [] {
    registerHttpPair({"http_get", "/big", 1, kBigBody}, 8);
    registerHttpPair({"http_small", "/small", kSmallRequests, kSmallBody}, 3);
    return 0;
}();

}  // namespace

BENCHMARK(oursStreamBulk)->Name("ours/net.stream_bulk")->Unit(benchmark::kMillisecond);
BENCHMARK(baseStreamBulk)->Name("base/net.stream_bulk")->Unit(benchmark::kMillisecond);
