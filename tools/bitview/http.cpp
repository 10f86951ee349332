#include "tools/bitview/http.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr size_t kMostMethodLength = 16;

bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
// Visible ASCII: a target with a space, a control byte or a byte above 126
// is not one this server was sent by its page.
bool isVisible(char c) { return c > 0x20 && c < 0x7F; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Lines end at LF; a CR before it belongs to the line end.
std::string_view withoutCr(std::string_view line) {
    return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

// The end of the head (the index after its blank line), or npos.
size_t headEnd(std::string_view bytes) {
    for (size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n', lf + 1)) {
        const size_t next = lf + 1;
        if (next < bytes.size() && bytes[next] == '\n') return next + 1;
        if (next + 1 < bytes.size() && bytes[next] == '\r' && bytes[next + 1] == '\n') return next + 2;
    }
    return std::string_view::npos;
}

// The reason phrase of the statuses bitview answers with.
const char* HttpReason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 413: return "Content Too Large";
        case 431: return "Request Header Fields Too Large";
        default: return "Internal Server Error";
    }
}

}  // namespace

std::optional<std::string_view> HttpRequest::parameter(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name)
            return equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    }
    return std::nullopt;
}

RequestReader::State RequestReader::add(std::string_view bytes) {
    if (state_ != State::kIncomplete) return state_;
    pending_.append(bytes);
    if (!headRead_) {
        // The blank line may only be sought within the bound (plus the
        // bytes of the line end that could straddle it).
        const std::string_view window = std::string_view(pending_).substr(0, limits_.head + 2);
        const size_t end = headEnd(window);
        if (end == std::string_view::npos || end > limits_.head) {
            if (pending_.size() > limits_.head) return refuse(431, "the request line and headers pass 8 KiB");
            return state_;
        }
        if (readHead(end) != State::kIncomplete) return state_;
    }
    return takeBody();
}

RequestReader::State RequestReader::refuse(int status, std::string reason) {
    refusalStatus_ = status;
    refusalReason_ = std::move(reason);
    pending_.clear();
    return state_ = State::kRefused;
}

RequestReader::State RequestReader::readHead(size_t end) {
    const std::string head = pending_.substr(0, end);
    pending_.erase(0, end);
    headRead_ = true;
    std::string_view rest = head;
    bool first = true;
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        const std::string_view line = withoutCr(rest.substr(0, lf));
        rest.remove_prefix(lf + 1);
        if (line.empty()) break;  // the blank line
        if ((first ? readRequestLine(line) : readHeader(line)) == State::kRefused) return state_;
        first = false;
    }
    return state_;
}

RequestReader::State RequestReader::readRequestLine(std::string_view line) {
    const size_t space = line.find(' ');
    const size_t secondSpace = space == std::string_view::npos ? space : line.find(' ', space + 1);
    if (secondSpace == std::string_view::npos || line.find(' ', secondSpace + 1) != std::string_view::npos)
        return refuse(400, "the request line is not METHOD TARGET VERSION");
    const std::string_view method = line.substr(0, space);
    const std::string_view target = line.substr(space + 1, secondSpace - space - 1);
    const std::string_view version = line.substr(secondSpace + 1);
    if (method.empty() || method.size() > kMostMethodLength ||
        !std::all_of(method.begin(), method.end(), isUpperLetter))
        return refuse(400, "the method is not a word of capital letters");
    if (target.empty() || target[0] != '/' || !std::all_of(target.begin(), target.end(), isVisible))
        return refuse(400, "the target is not a path starting with /");
    if (version != "HTTP/1.0" && version != "HTTP/1.1") return refuse(400, "the version is not HTTP/1.0 or HTTP/1.1");
    request_.method = method;
    const size_t question = target.find('?');
    request_.path = target.substr(0, question);
    if (question != std::string_view::npos) request_.query = target.substr(question + 1);
    return state_;
}

RequestReader::State RequestReader::readHeader(std::string_view line) {
    const size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    if (colon == std::string_view::npos || name.empty() || !std::all_of(name.begin(), name.end(), isVisible))
        return refuse(400, "a header line is not NAME: VALUE");
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (equalsIgnoringCase(name, "Transfer-Encoding")) return refuse(400, "a body must come with a Content-Length");
    if (!equalsIgnoringCase(name, "Content-Length")) return state_;
    size_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
        return refuse(400, "the Content-Length is not a number");
    if (lengthGiven_ && length != bodyLength_) return refuse(400, "two Content-Lengths disagree");
    if (length > limits_.body) return refuse(413, "the body passes 64 KiB");
    bodyLength_ = length;
    lengthGiven_ = true;
    return state_;
}

RequestReader::State RequestReader::takeBody() {
    if (pending_.size() < bodyLength_) return state_;
    request_.body = pending_.substr(0, bodyLength_);
    pending_.clear();
    return state_ = State::kComplete;
}

std::string HttpAnswer(int status, std::string_view contentType, std::string_view body, std::string_view allow) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + HttpReason(status) + "\r\n";
    answer += "Content-Type: ";
    answer += contentType;
    answer += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    if (!allow.empty()) {
        answer += "Allow: ";
        answer += allow;
        answer += "\r\n";
    }
    answer += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
    answer += body;
    return answer;
}
