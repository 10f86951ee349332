#include "runtime/thread.h"

#include <errno.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
pthread_mutex_t registryLock = PTHREAD_MUTEX_INITIALIZER;
// Broadcast under registryLock whenever a thread ends.
pthread_cond_t threadEnded = PTHREAD_COND_INITIALIZER;

ovThreadRecord* registry = nullptr;  // running threads, newest first
ovThreadRecord* finished = nullptr;  // ended, not yet detached or waited for, newest first
ovThreadRecord* mainThread = nullptr;
std::atomic<bool> multiThreaded{false};

// A created thread starts with one suspension: the one ovThreadResume lifts.
constexpr int32_t kCreatedSuspendCount = 1;

int suspendSignal() { return SIGRTMIN + 4; }
int resumeSignal() { return SIGRTMIN + 5; }

// Holds the registry lock for a scope.  While the process has one thread
// nothing can race with it, so no lock is taken unless the caller needs the
// lock regardless (to wait on threadEnded, or to end a created thread).
class RegistryLock {
public:
    explicit RegistryLock(bool always = false)
        : held_(always || multiThreaded.load(std::memory_order_acquire)) {
        if (held_) pthread_mutex_lock(&registryLock);
    }
    ~RegistryLock() {
        if (held_) pthread_mutex_unlock(&registryLock);
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

ovThreadRecord* newRecord(ovThreadEntry entry, int32_t suspendCount) {
    auto* thread = static_cast<ovThreadRecord*>(std::malloc(sizeof(ovThreadRecord)));
    if (thread == nullptr) return nullptr;
    std::memset(thread, 0, sizeof *thread);
    thread->entry = entry;
    thread->suspendCount = suspendCount;
    if (sem_init(&thread->acknowledged, 0, 0) != 0) {
        std::free(thread);
        return nullptr;
    }
    return thread;
}

// Threads are created detached, so a record holds no system resource but its
// semaphore: freeing it is all that closing the thread's handle takes.
void freeRecord(ovThreadRecord* thread) {
    sem_destroy(&thread->acknowledged);
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

// Blocks the calling thread until its wake generation moves on from the one
// read while the suspension that stops it was in force, i.e. until its
// suspend count has returned to 0.  When a new suspension follows that wake
// at once, its signal is pending and stops the thread again straight away.
// Async-signal-safe: the suspend handler parks here.
void parkUntilWoken(ovThreadRecord* self, uint32_t generation) {
    sigset_t resume;
    sigemptyset(&resume);
    sigaddset(&resume, resumeSignal());
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &resume, &previous);
    // The wake signal stays blocked between the test and sigsuspend, so one
    // sent in that gap is kept pending rather than lost.
    sigset_t waitMask = previous;
    sigdelset(&waitMask, resumeSignal());
    while (wakeGeneration(self).load() == generation) sigsuspend(&waitMask);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void awaitAcknowledgement(ovThreadRecord* thread) {
    while (sem_wait(&thread->acknowledged) != 0 && errno == EINTR) {
    }
}

void onSuspendSignal(int, siginfo_t*, void* context) {
    const int savedErrno = errno;
    ovThreadRecord* self = currentThread;
    if (self != nullptr) {
        // Read before acknowledging: until then the suspender holds the lock,
        // so no wake can come between.
        const uint32_t generation = wakeGeneration(self).load();
        captureContext(self, *static_cast<const ucontext_t*>(context));
        sem_post(&self->acknowledged);
        parkUntilWoken(self, generation);
    }
    errno = savedErrno;
}

// The wake signal only has to interrupt sigsuspend.
void onResumeSignal(int) {}

bool installSignalHandlers() {
    struct sigaction suspend {};
    suspend.sa_sigaction = onSuspendSignal;
    suspend.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&suspend.sa_mask);

    struct sigaction resume {};
    resume.sa_handler = onResumeSignal;
    resume.sa_flags = SA_RESTART;
    sigemptyset(&resume.sa_mask);

    return sigaction(suspendSignal(), &suspend, nullptr) == 0 && sigaction(resumeSignal(), &resume, nullptr) == 0;
}

// The following run under the registry lock (or with a single thread).

// Adds a suspension to another, running or stopped, thread.  When it was
// running, the suspend signal goes out and ackPending is set: the caller
// must then awaitStop before it releases the lock.  Returns the previous
// count, or -1 when the signal cannot be sent (nothing changed then).
int32_t beginStop(ovThreadRecord* thread) {
    const int32_t previous = thread->suspendCount;
    if (previous == 0) {
        if (pthread_kill(thread->handle, suspendSignal()) != 0) return -1;
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
        pthread_kill(thread->handle, resumeSignal());
    }
    return previous;
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

// ---------------------------------------------------------------------------
// Thread life
// ---------------------------------------------------------------------------

void finish(ovThreadRecord* self, intptr_t result) {
    RegistryLock lock(true);
    self->result = result;
    self->ended = 1;
    unlink(registry, self);
    if (detachedFlag(self).load(std::memory_order_acquire) != 0)
        freeRecord(self);
    else
        push(finished, self);
    pthread_cond_broadcast(&threadEnded);
}

void* threadStart(void* parameter) {
    auto* self = static_cast<ovThreadRecord*>(parameter);
    currentThread = self;
    self->id = currentSystemId();
    self->stackTop = __builtin_frame_address(0);
    self->savedStackPointer = self->stackTop;
    const uint32_t generation = wakeGeneration(self).load();
    sem_post(&self->acknowledged);  // tells ovThreadCreate the record is complete
    parkUntilWoken(self, generation);
    finish(self, self->entry(self->data[0]));
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
    {
        RegistryLock lock;
        freeDetachedFinished();
        push(registry, thread);
    }
    multiThreaded.store(true, std::memory_order_release);
}

// Blocks until the thread has ended and fetches its result; returns 0, or
// the error that makes the wait impossible.
int awaitEnd(ovThreadRecord* thread, intptr_t* result) {
    if (thread == nullptr) return ESRCH;
    if (thread == currentThread) return EDEADLK;  // its own end never comes
    RegistryLock lock(true);
    while (thread->ended == 0) {
        const int error = pthread_cond_wait(&threadEnded, &registryLock);
        if (error != 0) return error;
    }
    *result = thread->result;
    return 0;
}

intptr_t reportWaitFailure(int error) {
    std::printf("ERROR! ovThreadWait: WaitForSingleObject failed!\n");
    std::printf("LastError=%i\n", error);
    std::fflush(stdout);
    return reinterpret_cast<intptr_t>(ovNull);
}

}  // namespace

void ovThreadStartup() {
    if (mainThread != nullptr) return;
    ovThreadRecord* thread = newRecord(nullptr, 0);
    if (thread == nullptr || !installSignalHandlers()) std::exit(-1);
    thread->stackTop = ovGCStackBase();
    thread->savedStackPointer = thread->stackTop;
    thread->handle = pthread_self();
    thread->id = currentSystemId();
    currentThread = thread;
    push(registry, thread);
    mainThread = thread;
}

ovThreadRecord* ovThreadCreate(ovThreadEntry entry, intptr_t argument) {
    if (entry == nullptr) return nullptr;
    ovThreadRecord* thread = newRecord(entry, kCreatedSuspendCount);
    if (thread == nullptr) return nullptr;
    thread->data[0] = argument;
    if (!spawn(thread)) {
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

int ovThreadSuspendSignal() { return suspendSignal(); }

int ovThreadResumeSignal() { return resumeSignal(); }

ovThreadLists ovThreadGetLists() {
    RegistryLock lock;
    return {listLength(registry), listLength(finished)};
}
