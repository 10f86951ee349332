// Child processes and calendar time.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <ctime>

#include "runtime/string.h"
#include "system/clib/clib.h"

extern char** environ;

// ---------------------------------------------------------------------------
// Command lines
// ---------------------------------------------------------------------------

namespace {

constexpr bool isSeparator(char c) { return c == ' ' || c == '\t'; }

const char* skipSeparators(const char* p) {
    while (isSeparator(*p)) ++p;
    return p;
}

// The program name: double quotes toggle quoting and are dropped, nothing is
// escaped, and an unquoted separator ends it.
const char* readProgramName(const char* p, std::string& word) {
    bool quoted = false;
    for (; *p != 0 && (quoted || !isSeparator(*p)); ++p) {
        if (*p == '"') quoted = !quoted;
        else word += *p;
    }
    return p;
}

// One argument by the C runtime's rules for backslashes and quotes.
const char* readArgument(const char* p, std::string& word) {
    bool quoted = false;
    while (*p != 0 && (quoted || !isSeparator(*p))) {
        if (*p == '\\') {
            size_t backslashes = 0;
            while (*p == '\\') ++backslashes, ++p;
            if (*p != '"') {
                word.append(backslashes, '\\');
                continue;
            }
            word.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                word += '"';
                ++p;
                continue;
            }
        }
        if (*p == '"') {
            if (quoted && p[1] == '"') {
                word += '"';
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
            continue;
        }
        word += *p++;
    }
    return p;
}

int32_t exitStatusOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::vector<std::string> ovSplitCommandLine(const char* commandLine) {
    std::vector<std::string> words(1);
    const char* p = readProgramName(skipSeparators(commandLine), words[0]);
    for (p = skipSeparators(p); *p != 0; p = skipSeparators(p)) {
        words.emplace_back();
        p = readArgument(p, words.back());
    }
    return words;
}

int32_t ovRunCommand(String* commandLine) {
    ovPlatformText line(commandLine);
    std::vector<std::string> words = ovSplitCommandLine(line.c_str());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child;
    const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0) return error;
    int status;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return exitStatusOf(status);
}

// ---------------------------------------------------------------------------
// Calendar time
// ---------------------------------------------------------------------------

time_t ovTimeNow(time_t* result) { return std::time(result); }

struct tm* ovLocalTime(const time_t* value) {
    thread_local struct tm broken;
    if (value == nullptr) return nullptr;
    return localtime_r(value, &broken);
}

int32_t ovFormatTime(char* buffer, int32_t size, String* format, const struct tm* time) {
    if (buffer == nullptr || size <= 0 || time == nullptr) return 0;
    ovPlatformText pattern(format, 0);
    return static_cast<int32_t>(std::strftime(buffer, static_cast<size_t>(size), pattern.c_str(), time));
}
