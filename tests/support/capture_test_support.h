// Capturing what a call writes to standard output, and putting back a hook
// a test replaced.
#pragma once

#include <functional>
#include <string>

#include "runtime/exception.h"

// Everything the call writes to standard output (file descriptor 1 and the C
// stream over it), which goes nowhere else meanwhile.
std::string ovTestCapturedStdout(const std::function<void()>& call);

// Replaces one entry of the hook table for the guard's lifetime and puts the
// previous one back when it goes, also when the test fails half-way.
template <class Entry>
class ovTestHookGuard {
public:
    ovTestHookGuard(Entry& entry, Entry replacement) : entry_(entry), saved_(entry) { entry = replacement; }
    ~ovTestHookGuard() { entry_ = saved_; }
    ovTestHookGuard(const ovTestHookGuard&) = delete;
    ovTestHookGuard& operator=(const ovTestHookGuard&) = delete;

private:
    Entry& entry_;
    Entry saved_;
};
