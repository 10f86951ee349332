// Helpers for tests that observe the collector.
#pragma once

#include <cstdint>

#include "runtime/memory.h"
#include "runtime/object.h"

// Overwrites the stack below the caller, so that stale copies of pointers
// left there by finished calls cannot keep objects alive in the next pass.
void ovTestScrubStack();

// Runs a collection with a scrubbed stack below the caller.  Inlined, so
// that the pass's own frames start inside the scrubbed area rather than in a
// frame of ours that might keep a stale word.
__attribute__((always_inline)) inline int32_t ovTestCollect() {
    ovTestScrubStack();
    return ovGCCollect();
}

// Sets a collector mode for the lifetime of the guard and restores the one in
// force before (the sanitizer build starts in stress mode).
class ovTestModeGuard {
public:
    explicit ovTestModeGuard(int32_t mode) : saved_(ovGCGetState().mode) { ovGCSetMode(mode); }
    ~ovTestModeGuard() { ovGCSetMode(saved_); }

private:
    int32_t saved_;
};

// A test class that counts constructions and destructions and holds one
// counted reference.
struct TCounted : Object {
    ovRef<Object> other;
    int64_t payload[4];  // gives the instance its own size class
};
extern const ObjectClass& TCountedType;
extern int32_t ovTestCountedAlive;
extern int32_t ovTestCountedDeleted;

// An unreferenced instance of any size of at least 24 bytes, which the next
// pass frees with the size it was allocated with.
Object* ovTestAllocSized(int32_t size);

// Takes a queued instance out of the zero-count table while keeping it
// alive: retains it and runs a pass, which clears its queued mark.
void ovTestHoldOutsideTable(Object* instance);

// Creates a TCounted in a frame of its own and returns its address as an
// integer, so that no pointer to it stays in the caller's frame.
uintptr_t ovTestNewCountedAddress();
