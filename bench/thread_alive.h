// A second registered thread that only waits: it sleeps in ovDelay until the
// scope ends, so that what it costs the thread that works is the price of
// another thread being alive.
#pragma once

#include <atomic>

#include "runtime/process.h"
#include "runtime/thread.h"

class SleepingThread {
public:
    SleepingThread() : thread_(start(&stop_)) {}
    ~SleepingThread() {
        stop_ = true;
        if (thread_ != nullptr) ovThreadWait(thread_);
    }
    SleepingThread(const SleepingThread&) = delete;
    SleepingThread& operator=(const SleepingThread&) = delete;

private:
    static ovThreadRecord* start(std::atomic<bool>* stop) {
        ovThreadStartup();  // the process's first thread becomes the main one
        ovThreadRecord* thread = ovThreadCreate(run, reinterpret_cast<intptr_t>(stop));
        if (thread != nullptr) ovThreadResume(thread);
        return thread;
    }
    static intptr_t run(intptr_t word) {
        const auto& stop = *reinterpret_cast<const std::atomic<bool>*>(word);
        while (!stop) ovDelay(20);
        return 0;
    }

    std::atomic<bool> stop_{false};  // before thread_, which the constructor starts
    ovThreadRecord* thread_;
};
