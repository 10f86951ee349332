// Whole-program runs of bitrun against a plain interpreter of the same
// language written the obvious way (one byte per cell, a switch per
// command, amortised tape growth, a flush after every printed character).
//
// Both run as child processes on the same generated program files, with
// standard input empty and standard output discarded (not a terminal), so
// each time covers start-up, loading, execution and the end.  The time is
// the child's processor time (user and system), which other load on the
// machine disturbs less than wall time; the peak resident memory of the
// child is reported beside it.  The bench harness pairs benchmarks by the
// processor time of the benchmark process itself, which knows nothing of a
// child's, so these are named "child/..." and print their own compare line
// once both sides of a pair have run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/loop_program.h"
#include "bench/scratch_files.h"
#include "tools/textprog.h"

namespace {

// ---------------------------------------------------------------------------
// The baseline interpreter
// ---------------------------------------------------------------------------

class BaselineTape {
public:
    uint8_t& at(int64_t position) {
        while (position + origin_ < 0) growLeft();
        while (position + origin_ >= static_cast<int64_t>(cells_.size())) cells_.resize(cells_.size() * 2, 0);
        return cells_[static_cast<size_t>(position + origin_)];
    }
    int eight(int64_t head) {
        int value = 0;
        for (int k = 0; k < 8; ++k) value = value << 1 | at(head + k);
        return value;
    }

private:
    void growLeft() {
        const size_t added = cells_.size();
        cells_.insert(cells_.begin(), added, 0);
        origin_ += static_cast<int64_t>(added);
    }
    std::vector<uint8_t> cells_ = std::vector<uint8_t>(64, 0);
    int64_t origin_ = 0;
};

int runBaseline(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return 1;
    std::vector<uint8_t> program;
    for (int c; (c = std::getc(file)) != EOF;) {
        if (c == '+' || c == '<' || c == '.' || c == ',' || c == '?') program.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(file);
    std::printf("Executing %s\r\n\r\n", path);
    std::fflush(stdout);
    BaselineTape tape;
    int64_t head = 36;
    for (size_t pc = 0; pc < program.size(); ++pc) {
        switch (program[pc]) {
        case '+': tape.at(head) ^= 1; ++head; break;
        case '<': --head; break;
        case '.':
            if (const int value = tape.eight(head)) {
                std::putchar(value);
                std::fflush(stdout);
            }
            break;
        case ',': {
            char line[256];
            const int code = std::fgets(line, sizeof line, stdin) && line[0] != '\n' ? static_cast<unsigned char>(line[0]) : -1;
            for (int k = 0; k < 8; ++k) tape.at(head + k) = static_cast<uint8_t>((code >> k) & 1);
            break;
        }
        case '?': pc = static_cast<size_t>(tape.eight(head)); break;
        }
    }
    std::printf("\r\n\r\nExecution complete.\r\n>");
    return 0;
}

// The benchmark starts itself again as the baseline: the variable names the
// program file for the child to run.
constexpr const char* kBaselineVariable = "OV_INTERP_BENCH_BASELINE";
[[maybe_unused]] const int baselineChild = [] {
    if (const char* path = std::getenv(kBaselineVariable)) std::exit(runBaseline(path));
    return 0;
}();

// ---------------------------------------------------------------------------
// Programs and child runs
// ---------------------------------------------------------------------------

std::string writeProgram(const std::string& name, const std::string& text) {
    const std::string path = ScratchFiles::instance().path(name.c_str());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string withLineBreaks(const std::string& commands) {
    std::string text;
    text.reserve(commands.size() + commands.size() / 72 + 1);
    for (size_t i = 0; i < commands.size(); i += 72) text.append(commands, i, 72).push_back('\n');
    return text;
}

// 30 million commands without a jump: a random walk of flips and moves that
// stays near the start, printing now and then.
std::string straightLineProgram() {
    std::mt19937 random(1);
    std::string commands;
    commands.reserve(30'000'000);
    while (commands.size() < 30'000'000) {
        for (int i = 0; i < 999; ++i) commands += (random() & 1) ? '+' : '<';
        commands += '.';
    }
    return withLineBreaks(commands);
}

std::string repeated(const std::string& piece, size_t times) {
    std::string commands;
    commands.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) commands += piece;
    return withLineBreaks(commands);
}

std::string printingProgram() {
    std::string text;
    for (int i = 0; i < 200 * 1024; ++i) text += static_cast<char>('a' + (i * 7) % 26);
    return ProgramPrinting(text);
}

struct ChildRun {
    double seconds;
    long peakKilobytes;
};

double secondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); }

ChildRun runChild(const char* exe, const char* program, bool baseline) {
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        if (baseline) setenv(kBaselineVariable, program, 1);
        execl(exe, exe, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return {secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime), usage.ru_maxrss};
}

// One run a request, over a pair of pipes; the launcher ends when the
// benchmark closes its end.
class Launcher {
public:
    struct Request {
        bool baseline;
        char exe[2048];
        char program[2048];
    };

    static Launcher& instance() {
        static Launcher launcher;
        return launcher;
    }

    ChildRun run(const std::string& exe, const std::string& program, bool baseline) {
        Request request{baseline, {}, {}};
        exe.copy(request.exe, sizeof request.exe - 1);
        program.copy(request.program, sizeof request.program - 1);
        ChildRun result{0, 0};
        if (!transfer(write, requests_, &request, sizeof request) || !transfer(read, replies_, &result, sizeof result))
            std::abort();
        return result;
    }

private:
    Launcher() {
        int toLauncher[2], fromLauncher[2];
        if (pipe(toLauncher) != 0 || pipe(fromLauncher) != 0) std::abort();
        if (fork() == 0) {
            close(toLauncher[1]);
            close(fromLauncher[0]);
            serve(toLauncher[0], fromLauncher[1]);
        }
        close(toLauncher[0]);
        close(fromLauncher[1]);
        requests_ = toLauncher[1];
        replies_ = fromLauncher[0];
    }

    [[noreturn]] static void serve(int requests, int replies) {
        Request request;
        while (transfer(read, requests, &request, sizeof request)) {
            ChildRun result = runChild(request.exe, request.program, request.baseline);
            if (!transfer(write, replies, &result, sizeof result)) break;
        }
        _exit(0);
    }

    template <class Io, class Buffer>
    static bool transfer(Io io, int fd, Buffer* buffer, size_t size) {
        auto* bytes = reinterpret_cast<char*>(buffer);
        while (size > 0) {
            const ssize_t n = io(fd, bytes, size);
            if (n <= 0) return false;
            bytes += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    int requests_;
    int replies_;
};

// Forked while the benchmark is still small.
[[maybe_unused]] Launcher& launcher = Launcher::instance();

std::string selfPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// Returns the mean time of the runs.
double runProgram(benchmark::State& state, const std::string& program, bool baseline) {
    const std::string exe = baseline ? selfPath() : std::string(OV_BITRUN);
    long peak = 0;
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        const ChildRun run = Launcher::instance().run(exe, program, baseline);
        state.SetIterationTime(run.seconds);
        total += run.seconds;
        ++runs;
        peak = std::max(peak, run.peakKilobytes);
    }
    state.counters["peak_rss_kb"] = static_cast<double>(peak);
    return runs > 0 ? total / runs : 0;
}

void registerPair(const std::string& name, std::string (*make)()) {
    // Generated once, on first use, and shared by both sides.
    auto program = std::make_shared<std::string>();
    auto path = [program, name, make]() -> const std::string& {
        if (program->empty()) *program = writeProgram(name + ".txt", make());
        return *program;
    };
    auto ours = std::make_shared<double>(0);
    for (const bool baseline : {false, true}) {
        const std::string full = (baseline ? "child/base/interp." : "child/ours/interp.") + name;
        benchmark::RegisterBenchmark(full.c_str(), [path, baseline, ours, name](benchmark::State& state) {
            const double mean = runProgram(state, path(), baseline);
            if (!baseline) *ours = mean;
            else if (mean > 0 && *ours > 0) std::printf("compare: interp.%s %.3f\n", name.c_str(), *ours / mean);
        })->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    }
}

[[maybe_unused]] const int registered = [] {
    registerPair("straight_line", straightLineProgram);
    registerPair("flips", [] { return repeated("+", 10'000'000); });
    registerPair("left_growth", [] { return repeated("<<+", 2'000'000); });
    registerPair("print", printingProgram);
    // 2^24 increments of the counter: just over 10^8 jumps.
    registerPair("loops", [] { return withLineBreaks(LoopProgram(24)); });
    return 0;
}();

}  // namespace
