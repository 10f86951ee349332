// Test files for the benchmarks that read and write real files: one directory
// made under /tmp on first use, removed with everything named in it when the
// process ends, so an interrupted filter or a failed run leaves nothing behind
// but what the kernel could not delete.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class ScratchFiles {
public:
    static ScratchFiles& instance() {
        static ScratchFiles files;
        return files;
    }

    // The path of a file of this name in the directory; it is removed at exit.
    std::string path(const char* name) {
        std::string full = directory_ + "/" + name;
        names_.push_back(full);
        return full;
    }

    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

private:
    ScratchFiles() {
        char pattern[] = "/tmp/ov-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        directory_ = pattern;
    }

    ~ScratchFiles() {
        for (const std::string& name : names_) unlink(name.c_str());
        rmdir(directory_.c_str());
    }

    std::string directory_;
    std::vector<std::string> names_;
};
