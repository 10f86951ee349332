// Threads: the registry of the process's threads, creation (blocked until
// resumed), waiting and detaching, suspension of single threads or of all
// threads but the caller with the capture of their stacks and registers, and
// two atomic Int operations.
//
// Threads are POSIX threads.  A created thread waits at a gate at the start
// of its routine with a suspend count of 1, so it runs its entry function
// only once ovThreadResume has brought the count to zero.  How a thread is
// stopped and woken is stated once, at the top of runtime/thread.cpp.
//
// Every registered thread may run managed code: a collection pass stops the
// others and scans their stacks.  A thread the layer did not start must not.
#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>

// Set while a created thread has not ended (see runtime/object.h).
extern std::atomic<bool> ovMultiThreaded;

struct ovCountingState;

// A thread's entry function: takes one word and returns one, the thread's
// result, which ovThreadWait hands to the waiter.
using ovThreadEntry = intptr_t (*)(intptr_t argument);

inline constexpr int32_t OV_THREAD_DATA_WORDS = 32;

// General registers captured at suspension, in this order:
// x86-64: RDI, RSI, RBX, RDX, RCX, RAX, RBP, R8 ... R15; AArch64: X0 ... X30.
#if defined(__x86_64__)
inline constexpr int32_t OV_THREAD_SAVED_REGISTERS = 15;
#elif defined(__aarch64__)
inline constexpr int32_t OV_THREAD_SAVED_REGISTERS = 31;
#else
#error "the thread layer captures registers on x86-64 and AArch64 only"
#endif

// A thread record (from malloc).  The fields up to id are the record proper;
// the ones after it stand in for the state a kernel keeps for a thread handle.
struct ovThreadRecord {
    ovThreadRecord* next;  // link in the registry or the finished list
    ovThreadEntry entry;   // 0 for the main thread
    intptr_t data[OV_THREAD_DATA_WORDS];  // data[0]: the entry's argument
    int32_t detached;  // non-zero: nobody waits, the record goes when the thread ends
    void* stackTop;    // highest stack address the thread's frames use
    // Lowest stack address holding data of the code interrupted by the last
    // suspension: the suspend handler's frame, below the interrupted stack
    // pointer, its red zone and the signal frame (for a thread that suspended
    // itself, its stack pointer less the x86-64 red zone of 128 bytes); a scan
    // of the thread covers [savedStackPointer, stackTop).
    void* savedStackPointer;
    uintptr_t savedRegisters[OV_THREAD_SAVED_REGISTERS];
    pthread_t handle;
    uint32_t id;  // the kernel's thread id (gettid)

    int32_t suspendCount;     // the thread runs only while it is 0
    uint32_t wakeGeneration;  // advances each time suspendCount returns to 0
    int32_t othersHolds;      // suspensions by ovThreadSuspendOthers not yet undone
    int32_t ackPending;       // a suspend signal is out and not yet acknowledged
    int32_t stopRequested;    // a suspend signal is out and no handler has taken it yet
    int32_t blocking;         // in a blocking call: at rest, its context published (ovBlockingCall)
    ovCountingState* counting;  // the thread's own counting state
    int32_t ended;            // the entry function has returned
    intptr_t result;          // what it returned
    sem_t acknowledged;       // posted once the thread has stopped (or reached its gate)
    sem_t wake;               // posted each time the wake generation advances
    sem_t endLatch;           // posted when the entry has returned; each waiter passes it on
};

// A lock whose waiters can still be suspended: a thread that finds it taken
// spins a while, then sleeps in sem_wait, which the suspend signal interrupts
// in every build (ThreadSanitizer holds the signal back from a thread blocked
// in pthread_mutex_lock until the lock is its own).  Not recursive, not fair.
// Taking and leaving a free lock is one atomic operation each.
class ovSuspendableLock {
public:
    ovSuspendableLock();
    ovSuspendableLock(const ovSuspendableLock&) = delete;
    ovSuspendableLock& operator=(const ovSuspendableLock&) = delete;
    void lock();
    bool tryLock() { return tryTake(0); }
    void unlock();
    // Whether some thread holds it now: a hint that may be stale at once.
    bool taken() const { return (state_.load(std::memory_order_relaxed) & 1) != 0; }

private:
    bool tryTake(int32_t waiters);

    std::atomic<int32_t> state_{0};  // bit 0: held; the rest: twice the number of sleepers
    sem_t wakeups_;                  // posted by an unlock that found sleepers
};

// The registers and stack pointer of a thread about to block, captured where
// the blocking call is made (every general register, so that whatever the
// caller holds there is seen).
struct ovBlockingContext {
    void* stackPointer;
    uintptr_t registers[OV_THREAD_SAVED_REGISTERS];
};

// Publishes the context and marks the thread blocking: a pass scans it from
// there without stopping it.  Leaving waits while a suspension holds it.
void ovThreadEnterBlocking(const ovBlockingContext& context);
void ovThreadLeaveBlocking();
// Whether every thread but one (the caller's, as a rule) is in a blocking
// call, so that stopping them takes no signal.  A hint: threads may enter
// and leave meanwhile.
bool ovThreadOthersAtRest();
// Lets the caller count plainly once every other registered thread has been
// in a blocking call for a while (see ovCountingState in runtime/object.h);
// asked at each batch hand-over and after each pass.  The thread that leaves
// its call first, or a new thread, takes it back.
void ovThreadTryCountingAlone();
// 1 while the thread is in a blocking call, for tests and diagnostics.
int32_t ovThreadIsBlocking(ovThreadRecord* thread);
// 1 while the thread counts alone, for tests and diagnostics.
int32_t ovThreadIsCountingAlone(ovThreadRecord* thread);

#if defined(__x86_64__)
// In the order of ovThreadRecord::savedRegisters.
#define OV_CAPTURE_BLOCKING_CONTEXT(context)                                                              \
    asm volatile(                                                                                        \
        "movq %%rsp, 0(%0)\n\tmovq %%rdi, 8(%0)\n\tmovq %%rsi, 16(%0)\n\tmovq %%rbx, 24(%0)\n\t"          \
        "movq %%rdx, 32(%0)\n\tmovq %%rcx, 40(%0)\n\tmovq %%rax, 48(%0)\n\tmovq %%rbp, 56(%0)\n\t"        \
        "movq %%r8, 64(%0)\n\tmovq %%r9, 72(%0)\n\tmovq %%r10, 80(%0)\n\tmovq %%r11, 88(%0)\n\t"          \
        "movq %%r12, 96(%0)\n\tmovq %%r13, 104(%0)\n\tmovq %%r14, 112(%0)\n\tmovq %%r15, 120(%0)\n\t"     \
        :                                                                                                \
        : "r"(&(context))                                                                                \
        : "memory")
#endif

// Runs call, which must not touch managed objects (a sleep, a wait, a socket
// or console read), as a blocking call of the runtime: a pass that comes
// meanwhile scans this thread's stack above here and the registers it had
// here, without a signal, and a suspension that comes meanwhile takes
// effect when the call returns.  Once a second thread exists.
template <class Call>
[[gnu::always_inline]] inline auto ovBlockingCall(Call call) -> decltype(call()) {
#if defined(__x86_64__)
    if (ovMultiThreaded.load(std::memory_order_acquire)) {
        ovBlockingContext context;
        OV_CAPTURE_BLOCKING_CONTEXT(context);
        ovThreadEnterBlocking(context);
        struct Leave {
            ~Leave() { ovThreadLeaveBlocking(); }
        } leave;
        return call();
    }
#endif
    return call();
}

// Registers the calling thread as the main thread: its stack top is the
// collector's stack base, so record that first.  Installs the suspend
// signal's handler.  Runs once; a failure ends the process with exit code -1
// (status 255).
void ovThreadStartup();

// Creates a thread that will run entry(argument) once resumed.  Returns its
// record, or 0 when entry is 0 or the thread cannot be created.
ovThreadRecord* ovThreadCreate(ovThreadEntry entry, intptr_t argument);
// Decrements the suspend count; the thread runs again when it reaches 0.
// Returns the previous count (0: it was running, nothing changed), or -1 for
// a thread that has ended or a record of 0.
int32_t ovThreadResume(ovThreadRecord* thread);
// Increments the suspend count and, when the thread was running, stops it
// and captures its stack pointer and registers before returning.  Returns
// the previous count, or -1 for a thread that has ended or a record of 0.
// A thread may suspend itself: the call returns 0 once another resumes it.
int32_t ovThreadSuspend(ovThreadRecord* thread);
// Marks the thread detached: its record is freed when it ends (or, when it
// has ended already, by the next ovThreadCreate).
void ovThreadDetach(ovThreadRecord* thread);
// Waits for the thread's end and returns its entry's result; the record is
// then detached.  A wait that cannot be done (the caller's own thread, a
// record of 0, a failing system call) prints "ERROR! ovThreadWait:
// WaitForSingleObject failed!" and "LastError=<errno>" on standard output
// and returns the Null object.
intptr_t ovThreadWait(ovThreadRecord* thread);

ovThreadRecord* ovThreadMain();
// The caller's record; 0 on a thread the layer did not start.
ovThreadRecord* ovThreadCurrent();

// Suspends every registered thread but the caller, capturing each one's stack
// pointer and registers, and returns the registry head (0 when empty); walk
// it through next.  Every call must be paired with ovThreadResumeOthers.  In
// between, the caller must not wait for anything a stopped thread may hold
// (the C heap's lock, a stdio stream's lock, the collector's lock: so it
// must not allocate managed memory or release a count to zero either).
ovThreadRecord* ovThreadSuspendOthers();
// Undoes the suspensions of ovThreadSuspendOthers (and only those: a thread
// suspended on its own, or created since, stays suspended).
void ovThreadResumeOthers();

// The signal that stops a thread; start-up must leave it alone, and a thread
// that runs managed code must not block it.
int ovThreadSuspendSignal();

// Lengths of the two lists, for tests and diagnostics.
struct ovThreadLists {
    int32_t registered;
    int32_t finished;
};
ovThreadLists ovThreadGetLists();

// Stores desired if *address equals expected; 1 when it stored, else 0.
inline int32_t ovAtomicCAS(int32_t* address, int32_t expected, int32_t desired) {
    return std::atomic_ref<int32_t>(*address).compare_exchange_strong(expected, desired) ? 1 : 0;
}

// Adds value (wrapping) and returns the previous value.
inline int32_t ovAtomicAdd(int32_t* address, int32_t value) {
    return std::atomic_ref<int32_t>(*address).fetch_add(value);
}
