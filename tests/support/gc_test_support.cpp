#include "tests/support/gc_test_support.h"

#include <cstring>

namespace {

extern const ObjectClass countedClass;

int32_t countedNew(Object* self) {
    auto* counted = ovChainNew<TCounted, countedClass>(self);
    counted->other.init(ovNull);
    ++ovTestCountedAlive;
    return 0;
}

int32_t countedDelete(Object* self) {
    auto* counted = static_cast<TCounted*>(self);
    counted->other.release();
    --ovTestCountedAlive;
    ++ovTestCountedDeleted;
    return ovChainDelete<countedClass>(self);
}

constexpr ovScope countedScope = {OV_SCOPE_CLASS, "TCounted", ovNoScopeEntries};

constexpr ObjectClass countedClass = ovMakeClass<ObjectClass, TCounted>(ObjectType, &countedScope, [](auto& r) {
    r.New = countedNew;
    r.Delete = countedDelete;
});

// Instances that carry their own block size.
struct TSized : Object {
    int32_t blockSize;
};

void sizedFree(Object* self) { ovGCDeallocObject(self, static_cast<TSized*>(self)->blockSize); }

const ObjectClass sizedClass = [] {
    ObjectClass record = ObjectType;
    record.free = sizedFree;
    return record;
}();

}  // namespace

Object* ovTestAllocSized(int32_t size) {
    auto* instance = static_cast<TSized*>(ovGCAllocObject(size, &sizedClass));
    instance->blockSize = size;
    return instance;
}

void ovTestHoldOutsideTable(Object* instance) {
    ovGCRetain(instance);
    ovGCCollect();
}

const ObjectClass& TCountedType = countedClass;
int32_t ovTestCountedAlive = 0;
int32_t ovTestCountedDeleted = 0;

// Zeroes the stack below this function's own small frame with a loop that
// makes no calls.  A frame with a large local array would not do: padding and
// sanitizer redzones inside it keep their stale contents, and the collector's
// frames later occupy the same addresses.
__attribute__((noinline, no_sanitize_address)) void ovTestScrubStack() {
#if defined(__x86_64__)
    uintptr_t* sp;
    asm volatile("mov %%rsp, %0" : "=r"(sp));
    for (volatile uintptr_t* p = sp - 4096; p < sp - 1; ++p) *p = 0;
#else
    volatile char area[32768];
    for (size_t i = 0; i < sizeof area; ++i) area[i] = 0;
#endif
}

__attribute__((noinline)) uintptr_t ovTestNewCountedAddress() {
    return reinterpret_cast<uintptr_t>(ovObjectNew(&TCountedType)) ^ 1;
}
