// Entry point of every test executable: the stack base is recorded in this
// outermost frame, before anything else runs, so that collection passes see
// every frame of the tests.
#include <gtest/gtest.h>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/thread.h"

int main(int argc, char** argv) {
    ovGCSetStackBase();
    ovThreadStartup();
    ovCoreModuleInit();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
