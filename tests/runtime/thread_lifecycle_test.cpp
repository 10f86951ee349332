// Thread records from start-up to the end of a thread: the main record,
// creation blocked until resumed, waiting for a result, detaching, and when
// records leave the finished list.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <latch>
#include <string>
#include <thread>

#include "runtime/memory.h"
#include "runtime/object.h"
#include "tests/runtime/thread_support.h"
#include "tests/support/capture_test_support.h"

namespace {

TEST(ThreadMain, IsTheCurrentRecordAndStartsAtTheStackBase) {
    ovThreadRecord* main = ovThreadMain();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(ovThreadCurrent(), main);
    EXPECT_EQ(main->stackTop, ovGCStackBase());
    EXPECT_EQ(main->id, static_cast<uint32_t>(gettid()));

    ovThreadRecord* seenByForeignThread = main;
    std::thread([&] { seenByForeignThread = ovThreadCurrent(); }).join();
    EXPECT_EQ(seenByForeignThread, nullptr);
}

struct Probe {
    ovThreadRecord* self = nullptr;
    const void* local = nullptr;
    uint32_t id = 0;
};

intptr_t recordItself(intptr_t argument) {
    auto* probe = fromWord<Probe>(argument);
    probe->self = ovThreadCurrent();
    probe->local = &probe;
    probe->id = static_cast<uint32_t>(gettid());
    return 7;
}

TEST(ThreadCreate, RunsTheEntryOnItsOwnRecordAndHandsBackItsResult) {
    Probe probe;
    ovThreadRecord* thread = ovThreadCreate(recordItself, toWord(&probe));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(thread->data[0], toWord(&probe));
    EXPECT_EQ(ovThreadResume(thread), 1);  // created with one suspension

    EXPECT_EQ(ovThreadWait(thread), 7);
    EXPECT_EQ(ovThreadWait(thread), 7);  // a second wait gets the same result
    EXPECT_EQ(probe.self, thread);
    EXPECT_EQ(probe.id, thread->id);
    EXPECT_LT(reinterpret_cast<uintptr_t>(probe.local), reinterpret_cast<uintptr_t>(thread->stackTop));
    EXPECT_EQ(ovThreadSuspend(thread), -1);  // it has ended
    EXPECT_EQ(ovThreadResume(thread), -1);
}

intptr_t raiseFlag(intptr_t flag) {
    fromWord<std::atomic<int>>(flag)->store(1);
    return 0;
}

TEST(ThreadCreate, TheEntryWaitsForTheLastResume) {
    EXPECT_EQ(ovThreadCreate(nullptr, 0), nullptr);
    std::atomic<int> ran{0};
    ovThreadRecord* thread = ovThreadCreate(raiseFlag, toWord(&ran));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(ovThreadSuspend(thread), 1);  // stacks on the creation's suspension
    EXPECT_EQ(ovThreadResume(thread), 2);
    yieldALot();
    EXPECT_EQ(ran, 0);

    EXPECT_EQ(ovThreadResume(thread), 1);
    EXPECT_EQ(ovThreadWait(thread), 0);
    EXPECT_EQ(ran, 1);
}

std::string failureText(int error) {
    return "ERROR! ovThreadWait: WaitForSingleObject failed!\nLastError=" + std::to_string(error) + "\n";
}

TEST(ThreadWait, AWaitThatCanNeverEndReportsAndGivesNull) {
    intptr_t result = 0;
    EXPECT_EQ(ovTestCapturedStdout([&] { result = ovThreadWait(ovThreadCurrent()); }), failureText(EDEADLK));
    EXPECT_EQ(result, toWord(ovNull));
    EXPECT_EQ(ovTestCapturedStdout([&] { result = ovThreadWait(nullptr); }), failureText(ESRCH));
    EXPECT_EQ(result, toWord(ovNull));
}

intptr_t twice(intptr_t value) { return value * 2; }

TEST(ThreadRecords, AnEndedRecordWaitedForOrDetachedIsFreedByTheNextCreate) {
    ovThreadRecord* waited = startThread(twice, 3);
    ASSERT_NE(waited, nullptr);
    EXPECT_EQ(ovThreadWait(waited), 6);
    ovThreadRecord* detached = startThread(twice, 4);  // frees the waited one
    ASSERT_NE(detached, nullptr);
    ASSERT_TRUE(eventually([] { return ovThreadGetLists().finished == 1; }));

    ovThreadDetach(detached);
    EXPECT_EQ(ovThreadGetLists().finished, 1);  // freeing waits for a create
    ovThreadRecord* last = ovThreadCreate(twice, 5);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(ovThreadGetLists().finished, 0);
    ovThreadResume(last);
    EXPECT_EQ(ovThreadWait(last), 10);
}

TEST(ThreadCreate, CountsAreSharedOnlyWhileACreatedThreadHasNotEnded) {
    ASSERT_FALSE(ovCountsShared());
    ovThreadRecord* thread = ovThreadCreate(twice, 1);  // waits at its gate
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(ovCountsShared());
    ovThreadResume(thread);
    EXPECT_EQ(ovThreadWait(thread), 2);
    EXPECT_FALSE(ovCountsShared()) << "the only other thread has ended";
}

intptr_t waitForLatch(intptr_t latch) {
    fromWord<std::latch>(latch)->wait();
    return 0;
}

TEST(ThreadRecords, ADetachedThreadNeverReachesTheFinishedList) {
    const int32_t registered = ovThreadGetLists().registered;
    std::latch release(1);
    ovThreadRecord* thread = startThread(waitForLatch, toWord(&release));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(ovThreadGetLists().registered, registered + 1);

    ovThreadDetach(thread);
    release.count_down();
    EXPECT_TRUE(eventually([&] { return ovThreadGetLists().registered == registered; }));
    EXPECT_EQ(ovThreadGetLists().finished, 0);
}

}  // namespace
