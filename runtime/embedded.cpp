// The embedded-file registry: a singly linked list, newest entry first, whose
// records come from the raw allocator.  Its head is constant-initialised, so
// the registry is usable from static initialisers in any order.
#include "runtime/embedded.h"

#include "runtime/memory.h"
#include "runtime/string.h"

namespace {

struct EmbeddedEntry {
    EmbeddedEntry* next;
    ovRef<String> name;
    const uint8_t* address;
    int32_t length;
};

EmbeddedEntry* registryHead = nullptr;

EmbeddedEntry* findEntry(String* name) {
    for (EmbeddedEntry* entry = registryHead; entry != nullptr; entry = entry->next)
        if (ovStringCompare(entry->name, name) == 0) return entry;
    return nullptr;
}

}  // namespace

int32_t ovEmbeddedAdd(String* name, const uint8_t* address, int32_t length) {
    if (findEntry(name) != nullptr) return 0;
    auto* entry = static_cast<EmbeddedEntry*>(ovMemAlloc(sizeof(EmbeddedEntry)));
    entry->next = registryHead;
    entry->name.init(name);
    entry->address = address;
    entry->length = length;
    registryHead = entry;
    return 1;
}

const uint8_t* ovEmbeddedAddress(String* name) {
    const EmbeddedEntry* entry = findEntry(name);
    return entry != nullptr ? entry->address : nullptr;
}

int32_t ovEmbeddedLength(String* name) {
    const EmbeddedEntry* entry = findEntry(name);
    return entry != nullptr ? entry->length : 0;
}
