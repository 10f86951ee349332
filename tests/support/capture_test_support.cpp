#include "tests/support/capture_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

std::string ovTestCapturedStdout(const std::function<void()>& call) {
    std::FILE* sink = std::tmpfile();
    if (sink == nullptr) throw std::runtime_error("no temporary file for the captured output");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string captured;
    std::rewind(sink);
    for (int c = std::fgetc(sink); c != EOF; c = std::fgetc(sink)) captured.push_back(static_cast<char>(c));
    std::fclose(sink);
    return captured;
}
