// bitview as users run it: its command line, its errors, and a server that
// the interrupt and terminate signals end cleanly.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/app/bitrun_process.h"
#include "tests/tools/bitview_test_support.h"

namespace {

const std::string kBitview = OV_BITVIEW;
const std::string kExamples = OV_EXAMPLES;

TEST(BitviewCommandLine, AnswersHelpAndRefusesWhatItCannotUse) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string said;  // on standard output for status 0, else on standard error
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, "usage: bitview [--port N] [PROGRAM]"},
        {{"--port"}, 2, "--port needs a number"},
        {{"--port", "70000"}, 2, "--port takes a whole number from 0 to 65535, not '70000'"},
        {{"--port=-1"}, 2, "not '-1'"},
        {{"--port=8o"}, 2, "not '8o'"},
        {{"--verbose"}, 2, "unknown option --verbose"},
        {{"hello.txt", "jump.txt"}, 2, "one program file at a time"},
        {{"--port", "0", "missing.txt"}, 1, "bitview: cannot open the program file missing.txt"},
    };
    for (const Case& test : cases) {
        const ProcessResult run = runProcess(test.args, "", kExamples, kBitview);
        EXPECT_EQ(run.status, test.status) << test.args[0];
        EXPECT_NE((test.status == 0 ? run.out : run.err).find(test.said), std::string::npos) << run.err;
    }
}

TEST(BitviewCommandLine, SaysSoWhenThePortIsTaken) {
    const int taken = ovTestListen();
    ASSERT_GE(taken, 0);
    const std::string port = std::to_string(ovTestLocalPort(taken));
    const ProcessResult run = runProcess({"--port", port, "hello.txt"}, "", kExamples, kBitview);
    close(taken);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot listen on 127.0.0.1:" + port), std::string::npos) << run.err;
}

// A bitview started on a free port, its first line read; killed at the end
// if a test left it running.
class RunningBitview {
public:
    explicit RunningBitview(const std::string& program) {
        int out[2];
        if (pipe(out) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execIn(kExamples, kBitview, {"--port", "0", program});
        }
        close(out[1]);
        out_ = out[0];
        line_ = firstLine();
    }
    ~RunningBitview() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    const std::string& line() const { return line_; }
    int port() const {
        const size_t colon = line_.rfind(':');
        return colon == std::string::npos ? -1 : std::atoi(line_.c_str() + colon + 1);
    }
    // Sends the signal and waits for the exit status, bounded.
    int endWith(int signo) {
        kill(child_, signo);
        for (int waited = 0; waited < kPeerTimeoutMs; waited += 10) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return statusOf(status);
            }
            usleep(10000);
        }
        return -1;
    }

private:
    std::string firstLine() {
        std::string text;
        char c = 0;
        pollfd readable{out_, POLLIN, 0};
        while (poll(&readable, 1, kPeerTimeoutMs) == 1 && read(out_, &c, 1) == 1 && c != '\n') text += c;
        return text;
    }

    pid_t child_ = -1;
    int out_ = -1;
    std::string line_;
};

TEST(BitviewServer, ServesOnTheAddressItPrintsUntilASignalEndsItWithStatusZero) {
    for (const int signo : {SIGINT, SIGTERM}) {
        RunningBitview bitview("hello.txt");
        ASSERT_EQ(bitview.line().rfind("bitview: http://127.0.0.1:", 0), 0u) << bitview.line();
        const Reply reply = get(bitview.port(), "/api/program");
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(member(reply.body, "name"), "hello.txt");
        EXPECT_EQ(bitview.endWith(signo), 0) << strsignal(signo);
    }
}

}  // namespace
