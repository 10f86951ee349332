#include "tests/support/system_test_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "runtime/string.h"

namespace {

int removeEntry(const char* path, const struct stat* status, int, FTW*) {
    if (S_ISDIR(status->st_mode)) {
        rmdir(path);
        return 0;
    }
    unlink(path);
    return 0;
}

// Runs before a directory's entries are read, so that a directory whose bits
// a test took away can be walked and emptied.
int openDirectory(const char* path, const struct stat*, int type, FTW*) {
    if (type == FTW_D) chmod(path, 0700);
    return 0;
}

}  // namespace

ovTestTempDir::ovTestTempDir() {
    char pattern[] = "/tmp/ovsys-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ovTestTempDir::~ovTestTempDir() {
    nftw(path_.c_str(), openDirectory, 16, FTW_PHYS);
    nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ovTestTempDir::file(const std::string& name, const std::string& bytes) const {
    ovTestWriteFile(*this / name, bytes);
    return *this / name;
}

std::string ovTestTempDir::dir(const std::string& name) const {
    mkdir((*this / name).c_str(), 0700);
    return *this / name;
}

void ovTestWriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ovTestReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool ovTestExists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

int ovTestOpenDescriptors() {
    int count = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (fcntl(fd, F_GETFD) != -1) ++count;
    return count;
}
