// The root class Object, the Null object, creation and destruction chains,
// downcast, the null values of the type tags and the class registry.
#include "runtime/object.h"

#include <cinttypes>
#include <cstdio>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"

const ovScopeEntry ovNoScopeEntries[1] = {ovScopeEndEntry};
const ovScope ObjectScope = {OV_SCOPE_CLASS, "Object", ovNoScopeEntries};

Object ovNullObject = {nullptr, OV_STATIC_COUNT, 0};

Object* ovObjectNew(const ObjectClass* cls) {
    Object* instance = ovGCAllocObject(cls->size, cls);
    cls->New(instance);
    return instance;
}

void ovObjectFree(Object* instance) {
    if (instance == ovNull) {
        instance->refs = OV_STATIC_COUNT;
        return;
    }
    // Delete walks down the chain rewriting word 0, so the size must come
    // from the record the instance had when it was handed to us.
    const ObjectClass* cls = instance->cls;
    cls->Delete(instance);
    ovGCDeallocObject(instance, cls->size);
}

Object* ovObjectDowncast(Object* instance, const ObjectClass* cls) {
    if (instance == ovNull) return ovNull;
    for (const ObjectClass* c = instance->cls; c != nullptr; c = c->super)
        if (c == cls) return instance;
    return ovNull;
}

int32_t ovObjectReserved(Object*) { ovRuntimeError("Illegal call to reserved method"); }

int32_t ovObjectCtor(Object* self) {
    self->cls = &ObjectType;
    return 0;
}

int32_t ovObjectDtor(Object* self) {
    self->cls = nullptr;
    return 0;
}

String* ovObjectToString(Object* self) {
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIXPTR, reinterpret_cast<uintptr_t>(self));
    return ovStringFromCString(text);
}

// Ordered by address.  The sign of the difference, not the difference itself:
// a 64-bit difference truncated to 32 bits could be 0 or change sign.
int32_t ovObjectCompare(Object* self, Object* other) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(self);
    const uintptr_t b = reinterpret_cast<uintptr_t>(other);
    return (a > b) - (a < b);
}

Object* ovObjectSendMessage(Object*, Object*, Object*) { return ovNull; }

intptr_t ovNullValueOf(const char* typeTag) {
    switch (typeTag[0]) {
        case '(':
            return reinterpret_cast<intptr_t>(&RaiseNullFunction);
        case ':':
            return reinterpret_cast<intptr_t>(ovNull);
        case '[':
            return reinterpret_cast<intptr_t>(&ovEmptyArray);
        case '$':
            return reinterpret_cast<intptr_t>(&ovEmptyString);
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------
// Class registry
// ---------------------------------------------------------------------------

namespace {

inline constexpr int32_t kRegistryGrowth = 256;

const ObjectClass** registryEntries = nullptr;
int32_t registryCount = 0;
int32_t registryCapacity = 0;

}  // namespace

void ovObjectRegisterType(const ObjectClass* cls) {
    if (registryCount == registryCapacity) {
        const size_t kept = sizeof(ObjectClass*) * static_cast<size_t>(registryCount);
        const size_t grown = kept + sizeof(ObjectClass*) * kRegistryGrowth;
        registryEntries = static_cast<const ObjectClass**>(ovMemExtend(registryEntries, kept, grown));
        registryCapacity += kRegistryGrowth;
    }
    registryEntries[registryCount++] = cls;
}

void ovObjectRegisterTypes(std::initializer_list<const ObjectClass*> classes) {
    for (const ObjectClass* cls : classes) ovObjectRegisterType(cls);
}

const ObjectClass* const* ovObjectRegisteredTypes(int32_t* count) {
    *count = registryCount;
    return registryEntries;
}

int32_t ovObjectRegistryCapacity() { return registryCapacity; }
