#include "tools/bitview/api.h"

#include <charconv>
#include <optional>

#include "runtime/embedded.h"
#include "runtime/string.h"
#include "tools/bitview/json.h"

namespace {

constexpr std::string_view kJsonType = "application/json; charset=utf-8";

// An answer, or the error that takes its place.
struct Result {
    int status = 200;
    std::string body;  // the JSON, or the error's reason
};

Result failure(int status, std::string reason) { return {status, std::move(reason)}; }

// A whole number parameter from `least` to `most`; `fallback` when absent.
std::optional<int64_t> number(const HttpRequest& request, std::string_view name, int64_t least, int64_t most,
                              int64_t fallback) {
    const std::optional<std::string_view> text = request.parameter(name);
    if (!text) return fallback;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() || value < least || value > most)
        return std::nullopt;
    return value;
}

std::string outOfRange(std::string_view name, int64_t least, int64_t most) {
    return std::string(name) + " takes a whole number from " + std::to_string(least) + " to " + std::to_string(most);
}

Result state(Session& session, const HttpRequest& request) {
    const std::optional<int64_t> since = number(request, "since", 0, INT64_MAX, 0);
    if (!since) return failure(400, outOfRange("since", 0, INT64_MAX));
    return {200, session.stateJson(*since)};
}

// Runs the session `count` commands (named by `name`), then answers the state.
template <Session::Stop (Session::*Advance)(int64_t)>
Result advance(Session& session, const HttpRequest& request, std::string_view name, int64_t fallback) {
    const std::optional<int64_t> count = number(request, name, 1, Session::kMostSteps, fallback);
    if (!count) return failure(400, outOfRange(name, 1, Session::kMostSteps));
    (session.*Advance)(*count);
    return state(session, request);
}

Result step(Session& session, const HttpRequest& request) {
    return advance<&Session::step>(session, request, "count", 1);
}

Result run(Session& session, const HttpRequest& request) {
    return advance<&Session::run>(session, request, "steps", kDefaultRunSteps);
}

Result reset(Session& session, const HttpRequest& request) {
    session.reset();
    return state(session, request);
}

Result input(Session& session, const HttpRequest& request) {
    if (!session.queueInput(request.body))
        return failure(413, "more than " + std::to_string(Session::kMostQueuedLines) + " input lines would wait");
    return state(session, request);
}

Result breakpoint(Session& session, const HttpRequest& request) {
    const std::optional<int64_t> at = number(request, "at", 0, INT32_MAX, -1);
    const std::optional<int64_t> on = number(request, "on", 0, 1, 1);
    if (!at || *at < 0 || !on) return failure(400, "breakpoint takes at=INDEX and on=1 or on=0");
    if (!session.setBreakpoint(*at, *on == 1)) return failure(400, "no command has the index " + std::to_string(*at));
    return state(session, request);
}

Result program(Session& session, const HttpRequest&) { return {200, session.programJson()}; }

struct Asset {
    String* name;  // in the bank of embedded files
    std::string_view type;
};

std::string assetAnswer(const Asset& asset) {
    const uint8_t* bytes = ovEmbeddedAddress(asset.name);
    if (bytes == nullptr) return ErrorAnswer(500, "the page was not built into bitview");
    const std::string_view body(reinterpret_cast<const char*>(bytes),
                                static_cast<size_t>(ovEmbeddedLength(asset.name)));
    return HttpAnswer(200, asset.type, body);
}

}  // namespace

struct ViewApi::Route {
    std::string_view path;
    std::string_view method;
    Result (*api)(Session&, const HttpRequest&);  // null for a file of the page
    Asset asset;
};

const ViewApi::Route ViewApi::kRoutes[] = {
    {"/", "GET", nullptr, {ovLiteral(u"bitview/index.html"), "text/html; charset=utf-8"}},
    {"/bitview.css", "GET", nullptr, {ovLiteral(u"bitview/bitview.css"), "text/css; charset=utf-8"}},
    {"/bitview.js", "GET", nullptr, {ovLiteral(u"bitview/bitview.js"), "text/javascript; charset=utf-8"}},
    {"/api/program", "GET", program, {}},
    {"/api/state", "GET", state, {}},
    {"/api/step", "POST", step, {}},
    {"/api/run", "POST", run, {}},
    {"/api/reset", "POST", reset, {}},
    {"/api/input", "POST", input, {}},
    {"/api/breakpoint", "POST", breakpoint, {}},
};

std::string ViewApi::answer(const HttpRequest& request) {
    for (const Route& route : kRoutes) {
        if (route.path != request.path) continue;
        if (route.method != request.method)
            return ErrorAnswer(405, "use " + std::string(route.method) + " for " + request.path, route.method);
        if (route.api == nullptr) return assetAnswer(route.asset);
        const Result result = route.api(session_, request);
        if (result.status != 200) return ErrorAnswer(result.status, result.body);
        return HttpAnswer(200, kJsonType, result.body);
    }
    return ErrorAnswer(404, "nothing is served at " + request.path);
}

std::string ErrorAnswer(int status, const std::string& reason, std::string_view allow) {
    JsonObject json;
    json.add("error", JsonString(reason));
    return HttpAnswer(status, kJsonType, json.text(), allow);
}
