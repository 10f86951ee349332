// The thread layer: records, the registry and the finished list, creation,
// waiting, and suspension.
//
// The suspension protocol, stated here once (thread.h and docs/threads.md
// point here):
// - A suspension is a count per thread; the thread runs only while it is 0.
//   Counts change under the registry lock, so a stopped thread never holds
//   that lock: a signal is sent only with it held, and it is held until the
//   stop is acknowledged.
// - To stop a running thread the suspender sets the record's stopRequested
//   and then sends the suspend signal (SIGRTMIN+4).  The handler acts only when
//   it takes the request (an atomic exchange to 0), so a repeated or stray
//   signal does nothing.  It copies the general registers from its ucontext
//   into the record, takes its own frame as the saved stack pointer (it runs
//   below the interrupted stack pointer, its red zone and the signal frame,
//   so a scan from there covers them, also where ThreadSanitizer runs the
//   handler later and at another depth than the signal came), posts the
//   acknowledgement and parks.
// - A suspender without an acknowledgement after 50 ms signals again while
//   the request is untaken: ThreadSanitizer, which defers a signal that comes
//   while the thread runs plain code, now and then never delivers it.
// - A thread parks (at its gate, in the handler, or suspending itself) in
//   sem_wait with the suspend signal blocked, until its wake generation moves
//   on: the last resume advances the generation and posts the wake
//   semaphore.  No handler can run inside a park and take the wake meant for
//   it; a suspension that comes meanwhile stays pending and stops the thread
//   once it has left the park.  (A wake signal and sigsuspend would do as
//   well natively, but ThreadSanitizer loses a stop that follows such a
//   signal closely.)  A thread suspending itself records its context with
//   getcontext and parks the same way.
// - ovThreadSuspendOthers signals every other registered thread and then
//   collects the acknowledgements, so they stop in parallel;
//   ovThreadResumeOthers undoes exactly those suspensions, so a thread
//   suspended on its own, or created in between, stays suspended.
// - A thread counting alone (its counts plain while every other one blocks)
//   is stopped the same way by whoever takes that back, and counts
//   atomically from the stop on once it stopped outside an update.
#include "runtime/thread.h"

#include <errno.h>
#include <signal.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <iterator>

#include "runtime/memory.h"
#include "runtime/object.h"

namespace {

// The thread-record slot.  A static (initial-exec) thread_local rather than a
// pthread key: the suspend signal handler must find its record, and reading
// static TLS is a plain load, whereas pthread_getspecific is not
// async-signal-safe; it also cannot fail at start-up and costs nothing on
// the hot path of ovThreadCurrent.
[[gnu::tls_model("initial-exec")]] thread_local ovThreadRecord* currentThread = nullptr;

// Guards both lists, and every record's suspension state and end, once a
// second thread exists.
ovSuspendableLock registryLock;

ovThreadRecord* registry = nullptr;  // running threads, newest first
ovThreadRecord* finished = nullptr;  // ended, not yet detached or waited for, newest first
ovThreadRecord* mainThread = nullptr;

// A created thread starts with one suspension: the one ovThreadResume lifts.
constexpr int32_t kCreatedSuspendCount = 1;

int suspendSignal() { return SIGRTMIN + 4; }

// Threads in a blocking call: changed under the registry lock, read without
// it by ovThreadOthersAtRest.
std::atomic<int32_t> threadsBlocking{0};

// Holds the registry lock for a scope.  While the process has one thread
// nothing can race with it, so no lock is taken.
class RegistryLock {
public:
    RegistryLock() : held_(ovMultiThreaded.load(std::memory_order_acquire)) {
        if (held_) registryLock.lock();
    }
    ~RegistryLock() {
        if (held_) registryLock.unlock();
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    bool held_;
};

// The suspend handler reads the generation, so it must not hide a lock.
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

std::atomic_ref<uint32_t> wakeGeneration(ovThreadRecord* thread) {
    return std::atomic_ref<uint32_t>(thread->wakeGeneration);
}

std::atomic_ref<int32_t> detachedFlag(ovThreadRecord* thread) {
    return std::atomic_ref<int32_t>(thread->detached);
}

uint32_t currentSystemId() { return static_cast<uint32_t>(gettid()); }

// ---------------------------------------------------------------------------
// Records and lists
// ---------------------------------------------------------------------------

// Stops: acknowledgements; wakes: posts that go with the wake generation;
// the end latch.
constexpr size_t kSemaphores = 3;
std::array<sem_t*, kSemaphores> semaphoresOf(ovThreadRecord* thread) {
    return {&thread->acknowledged, &thread->wake, &thread->endLatch};
}

ovThreadRecord* newRecord(ovThreadEntry entry, int32_t suspendCount) {
    auto* thread = static_cast<ovThreadRecord*>(std::malloc(sizeof(ovThreadRecord)));
    if (thread == nullptr) return nullptr;
    std::memset(thread, 0, sizeof *thread);
    thread->entry = entry;
    thread->suspendCount = suspendCount;
    const auto semaphores = semaphoresOf(thread);
    size_t made = 0;
    while (made < kSemaphores && sem_init(semaphores[made], 0, 0) == 0) ++made;
    if (made == kSemaphores) return thread;
    while (made > 0) sem_destroy(semaphores[--made]);
    std::free(thread);
    return nullptr;
}

// Threads are created detached, so a record holds no system resource but its
// semaphores: freeing it is all that closing the thread's handle takes.
void freeRecord(ovThreadRecord* thread) {
    for (sem_t* semaphore : semaphoresOf(thread)) sem_destroy(semaphore);
    std::free(thread);
}

void push(ovThreadRecord*& head, ovThreadRecord* thread) {
    thread->next = head;
    head = thread;
}

void unlink(ovThreadRecord*& head, ovThreadRecord* thread) {
    for (ovThreadRecord** link = &head; *link != nullptr; link = &(*link)->next) {
        if (*link == thread) {
            *link = thread->next;
            return;
        }
    }
}

void freeDetachedFinished() {
    for (ovThreadRecord** link = &finished; *link != nullptr;) {
        ovThreadRecord* thread = *link;
        if (detachedFlag(thread).load(std::memory_order_acquire) != 0) {
            *link = thread->next;
            freeRecord(thread);
        } else {
            link = &thread->next;
        }
    }
}

int32_t listLength(const ovThreadRecord* head) {
    int32_t length = 0;
    for (; head != nullptr; head = head->next) ++length;
    return length;
}

// ---------------------------------------------------------------------------
// Stopping and waking
// ---------------------------------------------------------------------------

void captureContext(ovThreadRecord* thread, const ucontext_t& context) {
#if defined(__x86_64__)
    static constexpr int kOrder[] = {REG_RDI, REG_RSI, REG_RBX, REG_RDX, REG_RCX, REG_RAX, REG_RBP, REG_R8,
                                     REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};
    static_assert(std::size(kOrder) == OV_THREAD_SAVED_REGISTERS);
    for (int32_t i = 0; i < OV_THREAD_SAVED_REGISTERS; ++i)
        thread->savedRegisters[i] = static_cast<uintptr_t>(context.uc_mcontext.gregs[kOrder[i]]);
    // A leaf function may keep data in the 128 bytes below its stack pointer.
    constexpr uintptr_t kRedZone = 128;
    const auto stackPointer = static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
    thread->savedStackPointer = reinterpret_cast<void*>(stackPointer - kRedZone);
#elif defined(__aarch64__)
    for (int32_t i = 0; i < OV_THREAD_SAVED_REGISTERS; ++i)
        thread->savedRegisters[i] = static_cast<uintptr_t>(context.uc_mcontext.regs[i]);
    thread->savedStackPointer = reinterpret_cast<void*>(context.uc_mcontext.sp);
#endif
}

// The park of the protocol above: blocks until the wake generation moves on
// from the one read while the stopping suspension was in force.  Every wake
// posts once; a post that came before the wait only makes the loop test
// again.  sem_wait is a futex wait without locks, so the handler may park.
void parkUntilWoken(ovThreadRecord* self, uint32_t generation) {
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, suspendSignal());
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &suspend, &previous);
    while (wakeGeneration(self).load() == generation) sem_wait(&self->wake);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// Repeats a wait that a signal (a suspension) interrupted.
template <class Wait>
int untilNotInterrupted(Wait wait) {
    int result;
    while ((result = wait()) != 0 && errno == EINTR) {
    }
    return result;
}

// Waits for a post.
int awaitPost(sem_t* semaphore) {
    return untilNotInterrupted([semaphore] { return sem_wait(semaphore); });
}

// Waits up to the given milliseconds for a post; true when one came.
bool awaitPostFor(sem_t* semaphore, long milliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    constexpr long kNanosecondsPerSecond = 1'000'000'000;
    deadline.tv_nsec += milliseconds * 1'000'000;
    deadline.tv_sec += deadline.tv_nsec / kNanosecondsPerSecond;
    deadline.tv_nsec %= kNanosecondsPerSecond;
    return untilNotInterrupted([&] { return sem_timedwait(semaphore, &deadline); }) == 0;
}

std::atomic_ref<int32_t> stopRequest(ovThreadRecord* thread) {
    return std::atomic_ref<int32_t>(thread->stopRequested);
}

// Sends the suspend signal for a stop the handler has not yet taken.
bool signalStop(ovThreadRecord* thread) {
    stopRequest(thread).store(1);
    if (pthread_kill(thread->handle, suspendSignal()) == 0) return true;
    stopRequest(thread).store(0);
    return false;
}

// Signals a stop again while it is untaken (see the protocol above).
void awaitAcknowledgement(ovThreadRecord* thread) {
    constexpr long kResendAfterMilliseconds = 50;
    while (!awaitPostFor(&thread->acknowledged, kResendAfterMilliseconds)) {
        if (stopRequest(thread).load() != 0) pthread_kill(thread->handle, suspendSignal());
    }
}

// The handler's frame, not the context's stack pointer, starts the part of
// the stack that stays still while the thread is stopped: where the handler
// runs later than the signal came, the thread may have returned from the
// frames it had then, and parks where they were.
void captureSignalledContext(ovThreadRecord* self, const ucontext_t& context, void* handlerFrame) {
    captureContext(self, context);
    self->savedStackPointer = handlerFrame;
}

void onSuspendSignal(int, siginfo_t*, void* context) {
    const int savedErrno = errno;
    ovThreadRecord* self = currentThread;
    if (self != nullptr && stopRequest(self).exchange(0) != 0) {  // else a repeated signal
        // Read before acknowledging: until then the suspender holds the lock,
        // so no wake can come between.
        const uint32_t generation = wakeGeneration(self).load();
        captureSignalledContext(self, *static_cast<const ucontext_t*>(context), __builtin_frame_address(0));
        sem_post(&self->acknowledged);
        parkUntilWoken(self, generation);
    }
    errno = savedErrno;
}

bool installSignalHandler() {
    struct sigaction suspend {};
    suspend.sa_sigaction = onSuspendSignal;
    suspend.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&suspend.sa_mask);
    return sigaction(suspendSignal(), &suspend, nullptr) == 0;
}

// The following run under the registry lock (or with a single thread).

// Adds a suspension to another, running or stopped, thread.  When it was
// running, the suspend signal goes out and ackPending is set: the caller
// must then awaitStop before it releases the lock.  Returns the previous
// count, or -1 when the signal cannot be sent (nothing changed then).
int32_t beginStop(ovThreadRecord* thread) {
    const int32_t previous = thread->suspendCount;
    if (previous == 0 && thread->blocking == 0) {
        if (!signalStop(thread)) return -1;
        thread->ackPending = 1;
    }
    thread->suspendCount = previous + 1;
    return previous;
}

void awaitStop(ovThreadRecord* thread) {
    if (thread->ackPending == 0) return;
    awaitAcknowledgement(thread);
    thread->ackPending = 0;
}

// Lifts one suspension; the thread is woken when none is left.
int32_t lowerCount(ovThreadRecord* thread) {
    const int32_t previous = thread->suspendCount;
    if (previous == 0) return 0;
    thread->suspendCount = previous - 1;
    if (previous == 1) {
        wakeGeneration(thread).fetch_add(1);
        sem_post(&thread->wake);
    }
    return previous;
}

// ---------------------------------------------------------------------------
// Counting alone
// ---------------------------------------------------------------------------

// A thread counts alone only once no blocking call has been left for this
// long: with a thread that blocks briefly and often (on a socket, say), every
// leave would stop the one counting.
constexpr auto kCalmBeforeCountingAlone = std::chrono::milliseconds(1);

// Leaves of blocking calls so far (under the registry lock).
std::atomic<uint32_t> blockingLeaves{0};

// The thread counting alone, if any (under the registry lock).
ovThreadRecord* countingAlone = nullptr;

struct Calm {
    uint32_t leaves;
    std::chrono::steady_clock::time_point since;
};
[[gnu::tls_model("initial-exec")]] constinit thread_local Calm calm{};

// Whether no blocking call has been left since the caller last looked, and
// for long enough.
bool othersCalm() {
    const uint32_t leaves = blockingLeaves.load(std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (leaves != calm.leaves) {
        calm = {leaves, now};
        return false;
    }
    return now - calm.since >= kCalmBeforeCountingAlone;
}

void stopCountingAlone(ovThreadRecord* thread) {
    thread->counting->alone.store(0, std::memory_order_relaxed);
    countingAlone = nullptr;
}

// Takes plain counting back before a second thread runs managed code.  The
// one counting alone is stopped, and let go and stopped again until it is
// stopped between two updates.
void revokeCountingAlone() {
    ovThreadRecord* holder = countingAlone;
    if (holder == nullptr) return;
    if (holder != currentThread) {
        while (beginStop(holder) >= 0) {
            awaitStop(holder);
            const bool betweenUpdates = holder->counting->updating.load(std::memory_order_relaxed) == 0;
            if (betweenUpdates) stopCountingAlone(holder);
            lowerCount(holder);
            if (betweenUpdates) return;
        }
    }
    stopCountingAlone(holder);
}

// A thread stops itself without a signal: it records its own context, and
// parks once the lock is released so that others can resume it.
int32_t suspendSelf(ovThreadRecord* self) {
    uint32_t generation;
    {
        RegistryLock lock;
        ucontext_t context;
        getcontext(&context);
        captureContext(self, context);
        generation = wakeGeneration(self).load();
        self->suspendCount = 1;  // it is running, so the count was 0
    }
    parkUntilWoken(self, generation);
    return 0;
}

// Parks a thread that leaves a blocking call while a suspension holds it.
// It stays marked blocking meanwhile, so the context it published stays the
// one a pass scans, and further suspensions need no signal either.
void leaveBlocking(ovThreadRecord* self) {
    for (;;) {
        uint32_t generation;
        {
            RegistryLock lock;
            if (self->suspendCount == 0) {
                self->blocking = 0;
                threadsBlocking.fetch_sub(1, std::memory_order_relaxed);
                blockingLeaves.fetch_add(1, std::memory_order_relaxed);
                revokeCountingAlone();
                return;
            }
            generation = wakeGeneration(self).load();
        }
        parkUntilWoken(self, generation);
    }
}

// ---------------------------------------------------------------------------
// Thread life
// ---------------------------------------------------------------------------

// Created threads that have not ended, and the main thread.
// Changed under the registry lock; read without it by ovThreadOthersAtRest.
std::atomic<int32_t> threadsAlive{1};

void countEnded();

void finish(ovThreadRecord* self, intptr_t result) {
    RegistryLock lock;
    self->result = result;
    self->ended = 1;
    if (countingAlone == self) stopCountingAlone(self);
    unlink(registry, self);
    if (detachedFlag(self).load(std::memory_order_acquire) != 0) {
        freeRecord(self);
    } else {
        push(finished, self);
        sem_post(&self->endLatch);
    }
    countEnded();
}

// The two change the count under the registry lock, taken whatever the flag
// says, so that an end clearing the flag and a creation setting it cannot
// interleave.  An end clears it as the last thing under the lock: from then
// on the remaining thread takes no lock, and what the ended thread did is
// visible to it through the flag.
void countCreated() {
    registryLock.lock();
    ++threadsAlive;
    ovMultiThreaded.store(true, std::memory_order_release);
    revokeCountingAlone();
    registryLock.unlock();
}

void countEnded() {
    if (--threadsAlive == 1) ovMultiThreaded.store(false, std::memory_order_release);
}

void* threadStart(void* parameter) {
    auto* self = static_cast<ovThreadRecord*>(parameter);
    currentThread = self;
    self->counting = &ovOwnCounting;
    self->id = currentSystemId();
    self->stackTop = __builtin_frame_address(0);
    self->savedStackPointer = self->stackTop;
    const uint32_t generation = wakeGeneration(self).load();
    sem_post(&self->acknowledged);  // tells ovThreadCreate the record is complete
    parkUntilWoken(self, generation);
    const intptr_t result = self->entry(self->data[0]);
    ovGCThreadEnded();
    finish(self, result);
    return nullptr;
}

bool spawn(ovThreadRecord* thread) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    const bool started = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                         pthread_create(&thread->handle, &attributes, threadStart, thread) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

void registerCreated(ovThreadRecord* thread) {
    RegistryLock lock;
    freeDetachedFinished();
    push(registry, thread);
}

// Blocks until the thread has ended and fetches its result; returns 0, or
// the error that makes the wait impossible.  The latch is posted once, at the
// end, and every waiter posts it again for the next.
int awaitEnd(ovThreadRecord* thread, intptr_t* result) {
    if (thread == nullptr) return ESRCH;
    if (thread == currentThread) return EDEADLK;  // its own end never comes
    if (ovBlockingCall([thread] { return awaitPost(&thread->endLatch); }) != 0) return errno;
    sem_post(&thread->endLatch);
    *result = thread->result;
    return 0;
}

intptr_t reportWaitFailure(int error) {
    std::printf("ERROR! ovThreadWait: WaitForSingleObject failed!\n");
    std::printf("LastError=%i\n", error);
    std::fflush(stdout);
    return reinterpret_cast<intptr_t>(ovNull);
}

// A waiter spins this many times (some 15 microseconds) before it sleeps:
// the collector lock is held that long for a thread's own pass, and going to
// sleep and being woken costs two context switches, more than the wait.  A
// thread waiting for the collector lock spins in a blocking call, so a pass
// does not wait for it.
constexpr int32_t kLockSpins = 1000;
constexpr int32_t kLockedBit = 1;
constexpr int32_t kOneWaiter = 2;

inline void pauseSpinning() {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace

std::atomic<bool> ovMultiThreaded{false};
[[gnu::tls_model("initial-exec")]] constinit thread_local ovCountingState ovOwnCounting{};

ovSuspendableLock::ovSuspendableLock() { sem_init(&wakeups_, 0, 0); }

// Sets the locked bit if it is clear, also taking off one waiter when asked.
bool ovSuspendableLock::tryTake(int32_t waiters) {
    int32_t state = state_.load(std::memory_order_relaxed);
    while ((state & kLockedBit) == 0) {
        if (state_.compare_exchange_weak(state, (state | kLockedBit) - waiters, std::memory_order_acquire,
                                         std::memory_order_relaxed))
            return true;
    }
    return false;
}

// A free lock goes to whoever sets the bit first, a running thread or one
// woken from the wait; a woken waiter that loses sleeps again.
void ovSuspendableLock::lock() {
    for (int32_t spin = 0; spin < kLockSpins; ++spin) {
        if (tryTake(0)) return;
        pauseSpinning();
    }
    state_.fetch_add(kOneWaiter, std::memory_order_relaxed);
    while (!tryTake(kOneWaiter)) awaitPost(&wakeups_);
}

// A waiter counted before the bit is cleared gets a post; one counted after
// finds the bit clear.
void ovSuspendableLock::unlock() {
    if (state_.fetch_sub(kLockedBit, std::memory_order_release) != kLockedBit) sem_post(&wakeups_);
}

void ovThreadStartup() {
    if (mainThread != nullptr) return;
    ovThreadRecord* thread = newRecord(nullptr, 0);
    if (thread == nullptr || !installSignalHandler()) std::exit(-1);
    thread->stackTop = ovGCStackBase();
    thread->savedStackPointer = thread->stackTop;
    thread->handle = pthread_self();
    thread->id = currentSystemId();
    thread->counting = &ovOwnCounting;
    currentThread = thread;
    push(registry, thread);
    mainThread = thread;
}

ovThreadRecord* ovThreadCreate(ovThreadEntry entry, intptr_t argument) {
    if (entry == nullptr) return nullptr;
    ovThreadRecord* thread = newRecord(entry, kCreatedSuspendCount);
    if (thread == nullptr) return nullptr;
    thread->data[0] = argument;
    ovGCThreadCreating();
    // Before the thread exists, so that it never sees plain counts.
    countCreated();
    if (!spawn(thread)) {
        registryLock.lock();
        countEnded();
        registryLock.unlock();
        freeRecord(thread);
        return nullptr;
    }
    awaitAcknowledgement(thread);  // stack top and id are set, the thread waits at its gate
    registerCreated(thread);
    return thread;
}

int32_t ovThreadResume(ovThreadRecord* thread) {
    if (thread == nullptr) return -1;
    RegistryLock lock;
    if (thread->ended != 0) return -1;
    return lowerCount(thread);
}

int32_t ovThreadSuspend(ovThreadRecord* thread) {
    if (thread == nullptr) return -1;
    if (thread == currentThread) return suspendSelf(thread);
    RegistryLock lock;
    if (thread->ended != 0) return -1;
    const int32_t previous = beginStop(thread);
    awaitStop(thread);
    return previous;
}

void ovThreadDetach(ovThreadRecord* thread) {
    if (thread != nullptr) detachedFlag(thread).store(1, std::memory_order_release);
}

intptr_t ovThreadWait(ovThreadRecord* thread) {
    intptr_t result = 0;
    const int error = awaitEnd(thread, &result);
    if (error != 0) return reportWaitFailure(error);
    ovThreadDetach(thread);  // the next ovThreadCreate frees the record
    return result;
}

ovThreadRecord* ovThreadMain() { return mainThread; }

ovThreadRecord* ovThreadCurrent() { return currentThread; }

// Takes the registry lock, unlike a walk without it: a thread that ends
// during the walk would otherwise unlink and free its record under it.  The
// signals all go out first and the acknowledgements are collected after, so
// the threads stop in parallel.
ovThreadRecord* ovThreadSuspendOthers() {
    RegistryLock lock;
    for (ovThreadRecord* thread = registry; thread != nullptr; thread = thread->next) {
        if (thread != currentThread && beginStop(thread) >= 0) ++thread->othersHolds;
    }
    for (ovThreadRecord* thread = registry; thread != nullptr; thread = thread->next) {
        if (thread != currentThread) awaitStop(thread);
    }
    return registry;
}

void ovThreadResumeOthers() {
    RegistryLock lock;
    for (ovThreadRecord* thread = registry; thread != nullptr; thread = thread->next) {
        if (thread == currentThread || thread->othersHolds == 0) continue;
        --thread->othersHolds;
        lowerCount(thread);
    }
}

void ovThreadEnterBlocking(const ovBlockingContext& context) {
    ovThreadRecord* self = currentThread;
    if (self == nullptr) return;
    RegistryLock lock;
    self->savedStackPointer = context.stackPointer;
    std::copy(std::begin(context.registers), std::end(context.registers), self->savedRegisters);
    self->blocking = 1;
    threadsBlocking.fetch_add(1, std::memory_order_release);
    if (countingAlone == self) stopCountingAlone(self);
}

bool ovThreadOthersAtRest() {
    return threadsBlocking.load(std::memory_order_acquire) >= threadsAlive.load(std::memory_order_relaxed) - 1;
}

void ovThreadTryCountingAlone() {
    ovThreadRecord* self = currentThread;
    if (self == nullptr || !ovMultiThreaded.load(std::memory_order_relaxed) ||
        ovOwnCounting.alone.load(std::memory_order_relaxed) != 0)
        return;
    if (!ovThreadOthersAtRest() || !othersCalm()) return;
    RegistryLock lock;
    // Exact under the lock, which every change of the two counts holds.
    if (countingAlone != nullptr || self->blocking != 0 || !ovThreadOthersAtRest()) return;
    countingAlone = self;
    ovOwnCounting.alone.store(1, std::memory_order_relaxed);
}

int32_t ovThreadIsCountingAlone(ovThreadRecord* thread) {
    RegistryLock lock;
    return countingAlone == thread ? 1 : 0;
}

// Keeps errno: the caller reads what the blocking call left there.
void ovThreadLeaveBlocking() {
    const int savedErrno = errno;
    if (currentThread != nullptr) leaveBlocking(currentThread);
    errno = savedErrno;
}

int32_t ovThreadIsBlocking(ovThreadRecord* thread) {
    RegistryLock lock;
    return thread->blocking;
}

int ovThreadSuspendSignal() { return suspendSignal(); }

ovThreadLists ovThreadGetLists() {
    RegistryLock lock;
    return {listLength(registry), listLength(finished)};
}
