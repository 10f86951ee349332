// Shared by the thread tests.  Every test waits for or detaches each thread
// it creates, so that between tests the registry holds the main record alone
// and the finished list only records already waited for, which the next
// ovThreadCreate frees.
#pragma once

#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "runtime/thread.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OV_TEST_UNDER_TSAN 1
#endif
#endif

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

// Waits for threads by polling, so that a waiter stays suspendable: a pass
// on another thread stops it.  (ThreadSanitizer holds the suspend signal back
// from a thread asleep in the futex wait of std::latch or std::barrier, so a
// pass would wait for it for ever.)  Reusable: the generation counts rounds.
class PollingBarrier {
public:
    explicit PollingBarrier(int32_t parties) : parties_(parties) {}
    bool arriveAndWait() {
        const int32_t round = generation_.load();
        if (arrived_.fetch_add(1) + 1 == parties_) {
            arrived_ = 0;
            generation_.fetch_add(1);
            return true;
        }
        return eventually([&] { return generation_.load() != round; });
    }

private:
    const int32_t parties_;
    std::atomic<int32_t> arrived_{0};
    std::atomic<int32_t> generation_{0};
};

// A one-way countdown polled the same way.
class PollingLatch {
public:
    explicit PollingLatch(int32_t count) : left_(count) {}
    void countDown() { left_.fetch_sub(1); }
    bool wait() const {
        return eventually([&] { return left_.load() <= 0; });
    }

private:
    std::atomic<int32_t> left_;
};

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

// Threads started together on one entry and argument.
class ThreadGroup {
public:
    ThreadGroup(int32_t count, ovThreadEntry entry, intptr_t argument) {
        for (int32_t i = 0; i < count; ++i) threads_.push_back(startThread(entry, argument));
    }
    bool started() const {
        for (ovThreadRecord* thread : threads_)
            if (thread == nullptr) return false;
        return true;
    }
    // Waits for every thread and returns the sum of their results.
    intptr_t waitAll() {
        intptr_t sum = 0;
        for (ovThreadRecord* thread : threads_)
            if (thread != nullptr) sum += ovThreadWait(thread);
        return sum;
    }

private:
    std::vector<ovThreadRecord*> threads_;
};

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
