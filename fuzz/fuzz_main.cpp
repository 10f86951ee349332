// libFuzzer's entry points, shared by every target: the runtime comes up
// once, and each input's check runs below the frame that is the collector's
// stack base, so every managed value it makes is seen by a pass.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovFuzzStartRuntime();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovGCSetStackBase();
    if (size <= ovFuzzMaxInput) ovFuzzCheck(data, size);
    return 0;
}
