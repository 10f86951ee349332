#include "tests/support/gc_test_support.h"

#include <cstring>

namespace {

int32_t countedNew(Object* self) {
    ObjectType.New(self);
    self->cls = &TCountedType;
    auto* counted = static_cast<TCounted*>(self);
    ovInitRef(counted->other, ovNull);
    ++ovTestCountedAlive;
    return 0;
}

int32_t countedDelete(Object* self) {
    auto* counted = static_cast<TCounted*>(self);
    ovReleaseRef(counted->other);
    --ovTestCountedAlive;
    ++ovTestCountedDeleted;
    return 0;
}

const ovScope countedScope = {OV_SCOPE_CLASS, "TCounted", ovNoScopeEntries};

ObjectClass makeCountedClass() {
    ObjectClass record{};
    ovDeriveClass(record, ObjectType, &countedScope, static_cast<int32_t>(sizeof(TCounted)));
    record.New = countedNew;
    record.Delete = countedDelete;
    return record;
}

const ObjectClass countedClass = makeCountedClass();

}  // namespace

const ObjectClass& TCountedType = countedClass;
int32_t ovTestCountedAlive = 0;
int32_t ovTestCountedDeleted = 0;

__attribute__((noinline)) void ovTestScrubStack() {
    volatile char area[16384];
    std::memset(const_cast<char*>(area), 0, sizeof area);
    asm volatile("" : : "r"(area) : "memory");
}

__attribute__((noinline)) uintptr_t ovTestNewCountedAddress() {
    return reinterpret_cast<uintptr_t>(ovObjectNew(&TCountedType)) ^ 1;
}
