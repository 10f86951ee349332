// bitview's server in a test: the session and the socket loop on the test's
// own thread (where the runtime's objects live), a client of plain POSIX
// sockets on another.  The client wakes the server when it is done, and the
// server stops by itself once nothing has connected for a while, so no test
// leaves it running.
#pragma once

#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "app/program.h"
#include "net/socket.h"
#include "tests/net/net_test_support.h"
#include "tools/bitview/api.h"
#include "tools/bitview/server.h"
#include "tools/bitview/session.h"

struct Reply {
    int status = 0;
    std::string head;
    std::string body;
};

inline Reply httpExchange(int port, const std::string& request) {
    const int connection = ovTestConnect(port);
    if (connection < 0) return {};
    ovTestSendAll(connection, request);
    const std::string bytes = ovTestReceiveAll(connection);
    close(connection);
    Reply reply;
    const size_t blank = bytes.find("\r\n\r\n");
    if (bytes.rfind("HTTP/1.1 ", 0) != 0 || blank == std::string::npos) return reply;
    reply.status = std::stoi(bytes.substr(9, 3));
    reply.head = bytes.substr(0, blank);
    reply.body = bytes.substr(blank + 4);
    return reply;
}

inline Reply get(int port, const std::string& target) {
    return httpExchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

inline Reply post(int port, const std::string& target, const std::string& body = "") {
    return httpExchange(port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
}

// The raw value of a member of a flat JSON object: a number, true or false,
// an array's text, or a string without its quotes.
inline std::string member(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = json.find(key);
    if (at == std::string::npos) return "<missing " + name + ">";
    const size_t start = at + key.size();
    if (json[start] == '"') return json.substr(start + 1, json.find('"', start + 1) - start - 1);
    const size_t end = json.find_first_of(json[start] == '[' ? "]" : ",}", start);
    return json.substr(start, end - start + (json[start] == '[' ? 1 : 0));
}

inline int64_t number(const std::string& json, const std::string& name) { return std::stoll(member(json, name)); }

class ServedSession {
public:
    static constexpr std::chrono::milliseconds kConnectionLimit{500};

    explicit ServedSession(const std::string& commands) : session_(program(commands), "test.txt"), api_(session_) {}

    // Runs the client against a fresh server on a free port, serving until
    // the client returns.
    void serve(const std::function<void(int port)>& client) {
        int wake[2];
        ASSERT_EQ(pipe(wake), 0);
        TSocket* listener = ListenOnLoopback(0);
        ASSERT_NE(listener, ovNullOf<TSocket>());
        ServerLimits limits;
        limits.connection = kConnectionLimit;
        limits.idleStop = std::chrono::milliseconds(kPeerTimeoutMs);
        Server server(
            listener, [this](const HttpRequest& request) { return api_.answer(request); }, limits);
        const int port = listener->LocalPort();
        std::thread peer([&] {
            client(port);
            const char byte = 0;
            EXPECT_EQ(write(wake[1], &byte, 1), 1);
        });
        EXPECT_TRUE(server.serve(wake[0]));
        peer.join();
        close(wake[0]);
        close(wake[1]);
    }

    Program& loaded() { return program_; }

private:
    Program& program(const std::string& commands) {
        program_.appendBytes(reinterpret_cast<const uint8_t*>(commands.data()), static_cast<int32_t>(commands.size()));
        return program_;
    }

    Program program_;
    Session session_;
    ViewApi api_;
};
