// Helpers for tests of the system layer: a temporary directory removed with
// everything in it, raw file access that bypasses the layer, and Strings from
// UTF-16 text.
#pragma once

#include <string>
#include <string_view>

#include "tests/support/text_test_support.h"

struct String;

// A fresh directory under /tmp, removed (links as links) when the object goes.
class ovTestTempDir {
public:
    ovTestTempDir();
    ~ovTestTempDir();
    ovTestTempDir(const ovTestTempDir&) = delete;
    ovTestTempDir& operator=(const ovTestTempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Writes the bytes to the named file inside and returns its path.
    std::string file(const std::string& name, const std::string& bytes) const;
    // Makes the named sub-directory and returns its path.
    std::string dir(const std::string& name) const;

private:
    std::string path_;
};

void ovTestWriteFile(const std::string& path, const std::string& bytes);
// The whole content, or "<missing>" when the file cannot be opened.
std::string ovTestReadFile(const std::string& path);
bool ovTestExists(const std::string& path);  // lstat: a dangling link exists too
// The number of file descriptors the process holds open now.
int ovTestOpenDescriptors();
