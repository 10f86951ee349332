// The fixture of the file system tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/string.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"
#include "tests/support/system_test_support.h"

// The module ready with the wide platform calls, and a temporary directory to
// work in.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovUseWideApi = 1;
        ovFileSystemModuleInit();
    }
    // The name's path inside the temporary directory.
    String* at(const std::string& name) { return ovTestAscii(dir / name); }

    ovTestTempDir dir;
};
