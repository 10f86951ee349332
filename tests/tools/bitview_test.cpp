// bitview's server over loopback: the page from the bank of embedded files,
// the API's answers held against bittrace's trace of the same program and
// input, breakpoints, input, a program that never ends, requests it must
// refuse and clients that misbehave.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "net/socket.h"
#include "runtime/embedded.h"
#include "runtime/string.h"
#include "tests/tools/bitview_test_support.h"
#include "tests/tools/trace_test_support.h"
#include "tools/trace.h"

namespace {

class BitviewTest : public ::testing::Test {
protected:
    void SetUp() override { ovSocketModuleInit(); }
};

std::string embedded(String* name) {
    return std::string(reinterpret_cast<const char*>(ovEmbeddedAddress(name)),
                       static_cast<size_t>(ovEmbeddedLength(name)));
}

TEST_F(BitviewTest, ServesThePageItsStyleAndItsScriptFromTheBank) {
    struct Asset {
        std::string path;
        String* name;
        std::string type;
    };
    const std::vector<Asset> assets = {
        {"/", ovLiteral(u"bitview/index.html"), "text/html"},
        {"/bitview.css", ovLiteral(u"bitview/bitview.css"), "text/css"},
        {"/bitview.js", ovLiteral(u"bitview/bitview.js"), "text/javascript"},
    };
    ServedSession served("+");
    served.serve([&](int port) {
        for (const Asset& asset : assets) {
            const Reply reply = get(port, asset.path);
            EXPECT_EQ(reply.status, 200) << asset.path;
            EXPECT_NE(reply.head.find("Content-Type: " + asset.type), std::string::npos) << reply.head;
            EXPECT_FALSE(reply.body.empty());
            EXPECT_EQ(reply.body, embedded(asset.name)) << asset.path;
        }
    });
}

// The trace of the same program and input, up to `steps` commands.
ParsedTrace traced(Program& program, const std::vector<std::string>& lines, int64_t steps) {
    TraceOptions options;
    options.steps = steps;
    options.window = Session::kWindowRadius;
    size_t next = 0;
    // What bitrun's "," takes from each line: its first byte, -1 when empty.
    const ReadCode readCode = [&]() -> int32_t {
        if (next == lines.size() || lines[next].empty()) return next++, -1;
        return static_cast<uint8_t>(lines[next++][0]);
    };
    std::ostringstream out;
    TraceProgram(program, options, readCode, out);
    return parseTrace(out.str());
}

std::string outputOf(const std::string& state) {
    std::string bytes;
    std::istringstream numbers(member(state, "output").substr(1));
    for (int code = 0; numbers >> code; numbers.ignore()) bytes += static_cast<char>(code);
    return bytes;
}

// One step, then the rest in one request: head, cells, counter and output
// are the trace's after the same commands.
TEST_F(BitviewTest, StepsShowWhatTheTraceShows) {
    struct Case {
        std::string commands;
        std::vector<std::string> input;
        int64_t steps;
    };
    const std::vector<Case> cases = {
        {"+<+++<++<++<++<++<++<<<<<<<<.", {}, 29},                           // prints A
        {"<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<+++", {}, 41},               // grows the tape on the left
        {",.,.,.", {"A", "", "xyz"}, 6},                                     // reads and prints
        {"+<+<<<<<<<?++++.", {}, 12},                                        // a jump over commands
        {"++++++++++++++++++++++++++++++++++++++++++++++++++++++", {}, 30},  // stopped halfway
    };
    for (const Case& test : cases) {
        ServedSession served(test.commands);
        const ParsedTrace trace = traced(served.loaded(), test.input, test.steps);
        ASSERT_TRUE(trace.wellFormed);
        const TracedCommand& last = trace.commands.back();
        std::string input;
        for (const std::string& line : test.input) input += line + "\n";
        served.serve([&](int port) {
            if (!input.empty()) {
                EXPECT_EQ(post(port, "/api/input", input).status, 200);
            }
            EXPECT_EQ(number(post(port, "/api/step").body, "count"), 1);
            const std::string state = post(port, "/api/step?count=" + std::to_string(test.steps - 1)).body;
            EXPECT_EQ(number(state, "count"), last.count) << test.commands;
            EXPECT_EQ(number(state, "head"), last.head) << test.commands;
            EXPECT_EQ(member(state, "cells"), last.cells()) << test.commands;
            EXPECT_EQ(outputOf(state), printedBytes(trace)) << test.commands;
        });
    }
}

TEST_F(BitviewTest, RunStopsBeforeABreakpointAndGoesOnFromIt) {
    ServedSession served("++++++++");
    served.serve([](int port) {
        EXPECT_EQ(post(port, "/api/breakpoint?at=5&on=1").status, 200);
        std::string state = post(port, "/api/run").body;
        EXPECT_EQ(member(state, "stop"), "breakpoint");
        EXPECT_EQ(number(state, "pc"), 5);
        EXPECT_EQ(number(state, "count"), 5);
        EXPECT_EQ(member(state, "breakpoints"), "[5]");
        state = post(port, "/api/run").body;
        EXPECT_EQ(member(state, "stop"), "end");
        EXPECT_EQ(number(state, "count"), 8);
        state = post(port, "/api/breakpoint?at=5&on=0").body;
        EXPECT_EQ(member(state, "breakpoints"), "[]");
    });
}

// "??" on zero cells jumps back to its second command for ever.
TEST_F(BitviewTest, ARunOfAProgramThatNeverEndsReturnsAfterItsSteps) {
    ServedSession served("??");
    served.serve([](int port) {
        for (const int64_t total : {1000, 2000}) {
            const std::string state = post(port, "/api/run?steps=1000").body;
            EXPECT_EQ(member(state, "stop"), "steps");
            EXPECT_EQ(number(state, "count"), total);
            EXPECT_EQ(member(state, "finished"), "false");
        }
    });
}

TEST_F(BitviewTest, ACommaWithNoLineWaitingWaitsForOne) {
    ServedSession served(",.,.");
    served.serve([](int port) {
        std::string state = post(port, "/api/run").body;
        EXPECT_EQ(member(state, "stop"), "input");
        EXPECT_EQ(number(state, "count"), 0);
        state = post(port, "/api/input", "A").body;
        EXPECT_EQ(number(state, "queued"), 1);
        state = post(port, "/api/run").body;
        EXPECT_EQ(member(state, "stop"), "input");
        EXPECT_EQ(number(state, "count"), 2);
        EXPECT_EQ(member(state, "output"), "[130]");  // A's bits come back mirrored
    });
}

TEST_F(BitviewTest, ResetStartsAFreshMachineAndKeepsTheBreakpoints) {
    ServedSession served("+.+");
    served.serve([](int port) {
        post(port, "/api/breakpoint?at=2");
        post(port, "/api/step?count=2");
        const std::string state = post(port, "/api/reset").body;
        EXPECT_EQ(number(state, "count"), 0);
        EXPECT_EQ(number(state, "head"), 36);
        EXPECT_EQ(number(state, "outputLength"), 0);
        EXPECT_EQ(member(state, "breakpoints"), "[2]");
    });
}

// Each is refused with its status, and the server goes on serving.
TEST_F(BitviewTest, RefusesWhatItCannotServeAndGoesOn) {
    const std::string host = " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    struct Case {
        std::string request;
        int status;
    };
    const std::vector<Case> cases = {
        {"GARBAGE\r\n\r\n", 400},
        {"get /api/state HTTP/1.1\r\n\r\n", 400},
        {"GET api/state HTTP/1.1\r\n\r\n", 400},
        {"GET /api/state HTTP/2.0\r\n\r\n", 400},
        {"GET /api/state" + host + "NoColon\r\n\r\n", 400},
        {"POST /api/input" + host + "Transfer-Encoding: chunked\r\n\r\n", 400},
        {"POST /api/input" + host + "Content-Length: 1x\r\n\r\n", 400},
        {"POST /api/step?count=0" + host + "\r\n", 400},
        {"POST /api/step?count=many" + host + "\r\n", 400},
        {"POST /api/run?steps=1000001" + host + "\r\n", 400},
        {"POST /api/breakpoint?at=3" + host + "\r\n", 400},
        {"GET /nothing" + host + "\r\n", 404},
        {"GET /../../etc/passwd" + host + "\r\n", 404},
        {"GET /bitview/index.html" + host + "\r\n", 404},
        {"DELETE /api/state" + host + "\r\n", 405},
        {"POST /" + host + "\r\n", 405},
        {"GET /" + host + "X-Long: " + std::string(9000, 'x') + "\r\n\r\n", 431},
        {"POST /api/input" + host + "Content-Length: 70000\r\n\r\n" + std::string(70000, 'x'), 413},
    };
    ServedSession served("+++");
    served.serve([&](int port) {
        for (const Case& test : cases) {
            const Reply reply = httpExchange(port, test.request);
            EXPECT_EQ(reply.status, test.status) << test.request.substr(0, 60);
            EXPECT_NE(member(reply.body, "error"), "") << test.request.substr(0, 60);
        }
        EXPECT_EQ(get(port, "/api/state").status, 200);
    });
}

// The silent client gets its 408 once its time is up; the one that comes
// after it is answered meanwhile.
TEST_F(BitviewTest, AClientThatSaysNothingHoldsUpNobodyAndIsAnsweredWithATimeout) {
    ServedSession served("+");
    served.serve([](int port) {
        const int silent = ovTestConnect(port);
        ASSERT_GE(silent, 0);
        EXPECT_EQ(get(port, "/api/state").status, 200);
        const std::string answer = ovTestReceiveAll(silent);
        close(silent);
        EXPECT_EQ(answer.rfind("HTTP/1.1 408 ", 0), 0u) << answer;
    });
}

TEST_F(BitviewTest, ARequestThatArrivesByteByByteIsReadWhole) {
    const std::string request = "POST /api/input HTTP/1.1\r\nContent-Length: 3\r\n\r\nA\nB";
    RequestReader reader;
    for (size_t i = 0; i + 1 < request.size(); ++i)
        ASSERT_EQ(reader.add(request.substr(i, 1)), RequestReader::State::kIncomplete) << i;
    ASSERT_EQ(reader.add(request.substr(request.size() - 1)), RequestReader::State::kComplete);
    EXPECT_EQ(reader.request().method, "POST");
    EXPECT_EQ(reader.request().path, "/api/input");
    EXPECT_EQ(reader.request().body, "A\nB");
}

TEST_F(BitviewTest, ServesManyConnectionsOneAfterAnother) {
    static constexpr int kConnections = 300;
    ServedSession served("??");
    served.serve([](int port) {
        for (int i = 0; i < kConnections; ++i) ASSERT_EQ(post(port, "/api/step").status, 200) << i;
        EXPECT_EQ(number(get(port, "/api/state").body, "count"), kConnections);
    });
}

}  // namespace
