// Running the real bitrun executable from tests: with pipes for its three
// standard streams, or on a pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/system_test_support.h"

inline const std::string kBitrun = OV_BITRUN;

struct ProcessResult {
    int status = -1;  // the exit code, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

inline int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

inline std::vector<char*> argvOf(const std::string& exe, std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// In the child: start in cwd and run the executable with SIGPIPE at its
// default, whatever the test process did with it.
[[noreturn]] inline void execIn(const std::string& cwd, const std::string& exe, std::vector<std::string> args) {
    signal(SIGPIPE, SIG_DFL);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(121);
    std::vector<char*> argv = argvOf(exe, args);
    execv(exe.c_str(), argv.data());
    _exit(120);
}

// Runs exe with the arguments in cwd, feeding input to its standard input
// (then closing it) and gathering both outputs until it ends.  onOutput, if
// given, sees standard output as it grows and returns text to write to
// standard input ("" for nothing); input is closed after its first reply.
inline ProcessResult runProcess(std::vector<std::string> args, const std::string& input = "", const std::string& cwd = "",
                                const std::string& exe = kBitrun,
                                std::function<std::string(const std::string&)> onOutput = nullptr) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        execIn(cwd, exe, std::move(args));
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    ProcessResult result;
    std::string pending = input;
    bool closeAfterPending = onOutput == nullptr;
    int inFd = in[1];
    auto closeInput = [&] {
        if (inFd >= 0) close(inFd);
        inFd = -1;
    };
    int open = 2;
    while (open > 0) {
        if (inFd >= 0 && pending.empty() && closeAfterPending) closeInput();
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, static_cast<short>(pending.empty() ? 0 : POLLOUT), 0}};
        if (poll(fds, 3, 30000) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --open;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            if (i == 0 && onOutput) {
                const std::string reply = onOutput(result.out);
                if (!reply.empty()) {
                    pending += reply;
                    closeAfterPending = true;
                }
            }
        }
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR))) {
            const ssize_t n = write(inFd, pending.data(), pending.size());
            if (n <= 0) {
                pending.clear();
                closeInput();
            } else {
                pending.erase(0, static_cast<size_t>(n));
            }
        }
    }
    closeInput();
    for (const int fd : {out[0], err[0]})
        if (fd >= 0) close(fd);
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    result.status = statusOf(waitStatus);
    return result;
}

// A copy of bitrun in the named sub-directory of the scratch directory.
inline std::string bitrunCopyIn(const ovTestTempDir& scratch, const std::string& name) {
    const std::string target = scratch.dir(name) + "/bitrun";
    std::ifstream from(kBitrun, std::ios::binary);
    std::ofstream(target, std::ios::binary) << from.rdbuf();
    chmod(target.c_str(), 0700);
    return target;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// What a normal run writes on standard output.
inline std::string normalRun(const std::string& name, const std::string& programOutput) {
    return "Executing " + name + "\r\n\r\n" + programOutput + "\r\n\r\nExecution complete.\r\n>";
}

// A session on a pseudo-terminal: the child's standard streams are the
// terminal, and the test plays the user at the keyboard.  The terminal keeps
// its line discipline (Enter ends a line, Ctrl-D is end of input) but neither
// echoes the keys nor rewrites line ends, so the screen holds exactly what
// the program wrote.
class TerminalSession {
public:
    TerminalSession(std::vector<std::string> args, const std::string& cwd) {
        child_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (child_ == 0) {
            termios mode{};
            tcgetattr(STDIN_FILENO, &mode);
            mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &mode);
            execIn(cwd, kBitrun, std::move(args));
        }
    }
    ~TerminalSession() {
        if (master_ >= 0) close(master_);
        if (child_ > 0 && status_ < 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
    }
    bool started() const { return child_ > 0; }
    // Reads until the screen's text ends with the given text (or 30 s pass).
    bool waitFor(const std::string& ending) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (screen_.size() < ending.size() || screen_.compare(screen_.size() - ending.size(), ending.size(), ending) != 0) {
            if (std::chrono::steady_clock::now() > deadline || !readSome(1000)) return false;
        }
        return true;
    }
    void type(const std::string& keys) {
        if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) return;
    }
    // Waits for the end of the child, gathering what it still writes.
    int finish() {
        while (readSome(30000)) {
        }
        int waitStatus = 0;
        waitpid(child_, &waitStatus, 0);
        status_ = statusOf(waitStatus);
        return status_;
    }
    const std::string& screen() const { return screen_; }

private:
    bool readSome(int timeoutMs) {
        pollfd fd{master_, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return false;  // EIO: the child has closed the terminal
        screen_.append(buffer, static_cast<size_t>(n));
        return true;
    }
    int master_ = -1;
    pid_t child_ = -1;
    int status_ = -1;
    std::string screen_;
};
