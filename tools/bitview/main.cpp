// bitview: serves a page on 127.0.0.1 that steps a bit-tape program on the
// interpreter's machine.
//
//   bitview examples/jump.txt
//   bitview --port 0 prog.txt
//
// As in bittrace, the command line is read before the runtime starts and
// the program is loaded as bitrun loads it.  SIGINT and SIGTERM wake the
// socket loop through a pipe, so the server closes its sockets and ends
// with status 0.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/interpreter.h"
#include "net/socket.h"
#include "runtime/array.h"
#include "runtime/process.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tools/bitview/api.h"
#include "tools/bitview/command_line.h"
#include "tools/bitview/server.h"
#include "tools/trace.h"
#include "tools/usage.h"

namespace {

ViewCommandLine commandLine;
int wakePipe[2] = {-1, -1};

[[noreturn]] void fail(const std::string& problem) {
    std::fprintf(stderr, "bitview: %s\n", problem.c_str());
    ovEndWithStatus(1);
}

void onStopSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
}

void stopOnSignals() {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) fail("cannot make the pipe that signals wake the server with");
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signo : {SIGINT, SIGTERM}) sigaction(signo, &action, nullptr);
}

int32_t viewEntry() {
    InitInterpreterModules();
    Program program;
    const std::string problem = LoadToolProgram(commandLine.programArgument, commandLine.programFile, program);
    if (!problem.empty()) fail(problem);
    stopOnSignals();
    TSocket* listener = ListenOnLoopback(commandLine.port);
    if (listener == ovNullOf<TSocket>())
        fail("cannot listen on 127.0.0.1:" + std::to_string(commandLine.port) + " (is the port in use?)");
    Session session(program, commandLine.programFile);
    ViewApi api(session);
    Server server(listener, [&](const HttpRequest& request) { return api.answer(request); });
    std::printf("bitview: http://127.0.0.1:%d/\n", listener->LocalPort());
    std::fflush(stdout);
    const bool served = server.serve(wakePipe[0]);
    if (!served) fail("waiting for connections failed");
    ovEndWithStatus(0);
}

}  // namespace

int main(int argc, char** argv) {
    commandLine = ParseViewArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!commandLine.error.empty()) return ReportUsageError("bitview", commandLine.error);
    if (commandLine.help) return PrintUsage(kViewUsage);
    ovSetApplicationEntry(viewEntry);
    ovSetPlatformTextDecoder(ovStringFromPlatform);
    return ovEntry(argc, argv);
}
