// The HTTP that bitview speaks: one request per connection, read within
// fixed bounds, and answers that close the connection.
//
// A request is a request line, header lines and, when a Content-Length says
// so, a body.  Only what the page and the API need is understood; anything
// else that could be meant as HTTP but breaks these rules is refused with a
// status that says why, never guessed at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HttpRequest {
    std::string method;
    std::string path;   // the target up to "?"
    std::string query;  // after "?", undecoded; empty when there is none
    std::string body;

    // The value of a query parameter ("a=1&b=2"), undecoded; none when absent.
    std::optional<std::string_view> parameter(std::string_view name) const;
};

struct HttpLimits {
    size_t head = 8 * 1024;  // request line and headers, their line ends included
    size_t body = 64 * 1024;
};

// Gathers the bytes of one request as they arrive.
class RequestReader {
public:
    enum class State { kIncomplete, kComplete, kRefused };

    explicit RequestReader(HttpLimits limits = {}) : limits_(limits) {}

    // Takes the next bytes.  Once complete or refused, further bytes are
    // ignored: one request per connection.
    State add(std::string_view bytes);
    State state() const { return state_; }
    const HttpRequest& request() const { return request_; }
    // Why the request was refused: the status to answer and a reason.
    int refusalStatus() const { return refusalStatus_; }
    const std::string& refusalReason() const { return refusalReason_; }

private:
    State refuse(int status, std::string reason);
    State readHead(size_t end);
    State readRequestLine(std::string_view line);
    State readHeader(std::string_view line);
    State takeBody();

    HttpLimits limits_;
    State state_ = State::kIncomplete;
    std::string pending_;
    bool headRead_ = false;
    size_t bodyLength_ = 0;
    bool lengthGiven_ = false;
    HttpRequest request_;
    int refusalStatus_ = 0;
    std::string refusalReason_;
};

// A whole answer: the status line, the headers every answer carries
// (length, type, no caching, no sniffing, the connection closing) and the
// body.  `allow` lists the methods of a path for a 405.
std::string HttpAnswer(int status, std::string_view contentType, std::string_view body, std::string_view allow = {});
