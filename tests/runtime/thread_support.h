// Shared by the thread tests.  Every test waits for or detaches each thread
// it creates, so that between tests the registry holds the main record alone
// and the finished list only records already waited for, which the next
// ovThreadCreate frees.
#pragma once

#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdint>

#include "runtime/thread.h"

// Polls until the condition holds; gives up after a bound no healthy run
// comes near, so a fault fails the test instead of hanging it.
template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        sched_yield();
    }
    return true;
}

// Gives another thread plenty of chances to run.
inline void yieldALot() {
    for (int i = 0; i < 1000; ++i) sched_yield();
}

inline intptr_t toWord(const void* p) { return reinterpret_cast<intptr_t>(p); }

template <class T>
T* fromWord(intptr_t word) {
    return reinterpret_cast<T*>(word);
}

inline ovThreadRecord* startThread(ovThreadEntry entry, intptr_t argument) {
    ovThreadRecord* thread = ovThreadCreate(entry, argument);
    if (thread != nullptr) ovThreadResume(thread);
    return thread;
}

// A worker that counts as fast as it can until told to stop; a frozen count
// shows that it is suspended.
struct Counter {
    std::atomic<int64_t> count{0};
    std::atomic<bool> stop{false};

    static intptr_t run(intptr_t self) {
        auto* counter = fromWord<Counter>(self);
        while (!counter->stop) counter->count.fetch_add(1);
        return 0;
    }
    bool advances() {
        const int64_t seen = count;
        return eventually([&] { return count != seen; });
    }
    bool frozen() {
        const int64_t seen = count;
        yieldALot();
        return count == seen;
    }
};
