// What bitview answers: the page's own files from the bank of embedded
// files, and the JSON API over one session.  No path reaches the file
// system: a request is matched against the fixed table of routes, and
// whatever is not in it is not found.
//
//   GET  /, /bitview.css, /bitview.js   the page
//   GET  /api/program                   name, command count, commands
//   GET  /api/state                     the machine's state
//   POST /api/step?count=N              N commands (default 1)
//   POST /api/run?steps=N               up to N commands, to a breakpoint
//   POST /api/reset                     a fresh machine
//   POST /api/input                     the body's lines, for ","
//   POST /api/breakpoint?at=I&on=1|0    sets or clears a breakpoint
//
// Every answer about the state takes since=B, the first output byte the
// page lacks.  N is at most Session::kMostSteps.
#pragma once

#include <string>

#include "tools/bitview/http.h"
#include "tools/bitview/session.h"

// The commands a run request takes when it names no count.
inline constexpr int64_t kDefaultRunSteps = 100000;

class ViewApi {
public:
    explicit ViewApi(Session& session) : session_(session) {}

    // The whole answer to a request.
    std::string answer(const HttpRequest& request);

private:
    struct Route;
    static const Route kRoutes[];

    Session& session_;
};

// The answer to a request that could not be read: its status and reason as
// a JSON error.
std::string ErrorAnswer(int status, const std::string& reason, std::string_view allow = {});
