// The allocator, the trigger rules and the collection pass.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "tests/support/capture_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

struct RawBlock {
    void* block;
    int32_t size;
};

// A block that is alive and out of the zero-count table, so that it can be
// handed back directly without leaving a stale table entry.
RawBlock allocateHeld(int32_t size) {
    Object* o = ovGCAllocObject(size, &ObjectType);
    ovTestHoldOutsideTable(o);
    return {o, size};
}

void releaseHeld(RawBlock b) {
    static_cast<Object*>(b.block)->refs = 0;
    ovGCDeallocObject(b.block, b.size);
}

TEST(MemoryBlocks, SizeClassesShareBlocksOfTheirRoundedSize) {
    ovTestModeGuard manual(0);
    RawBlock first = allocateHeld(100);  // class 7: 112 bytes
    void* address = first.block;
    releaseHeld(first);
    RawBlock sameClass = allocateHeld(112);
    EXPECT_EQ(sameClass.block, address) << "a freed block is reused first by its own class";
    releaseHeld(sameClass);
    RawBlock nextClass = allocateHeld(113);
    EXPECT_NE(nextClass.block, address);
    releaseHeld(nextClass);
}

TEST(MemoryBlocks, BytesInUseCountRequestedSizes) {
    ovTestModeGuard manual(0);
    const int64_t before = ovGCGetState().bytesInUse;
    RawBlock tiny = allocateHeld(1);
    EXPECT_EQ(ovGCGetState().bytesInUse, before + 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(tiny.block) % 16, 0u);
    RawBlock large = allocateHeld(241);
    EXPECT_EQ(ovGCGetState().bytesInUse, before + 242);
    EXPECT_EQ(ovGCIsObject(reinterpret_cast<uintptr_t>(large.block)), 1);
    EXPECT_EQ(ovGCIsObject(reinterpret_cast<uintptr_t>(large.block) + 16), 0) << "only block starts count";
    releaseHeld(large);
    releaseHeld(tiny);
    EXPECT_EQ(ovGCGetState().bytesInUse, before);
    EXPECT_EQ(ovGCIsObject(reinterpret_cast<uintptr_t>(tiny.block)), 0);
}

// The scan's first test takes the bounds of all block starts; the blocks at
// the top of the newest chunk and of a large block lie on or near the upper
// bound, and words off a block start by any of the low four bits never count.
TEST(MemoryBlocks, EveryBlockStartIsAnObjectAndNothingBesideIt) {
    ovTestModeGuard manual(0);
    std::vector<RawBlock> blocks;
    for (int i = 0; i < 5000; ++i) blocks.push_back(allocateHeld(16));  // more than a chunk
    blocks.push_back(allocateHeld(300));
    for (const RawBlock& b : blocks) {
        const auto start = reinterpret_cast<uintptr_t>(b.block);
        ASSERT_EQ(ovGCIsObject(start), 1);
        for (const uintptr_t offBy : {1, 4, 8, 15}) ASSERT_EQ(ovGCIsObject(start + offBy), 0) << offBy;
    }
    for (const uintptr_t word : {uintptr_t{0}, uintptr_t{1}, uintptr_t{16}, UINTPTR_MAX, UINTPTR_MAX - 15})
        EXPECT_EQ(ovGCIsObject(word), 0) << word;
    for (const RawBlock& b : blocks) releaseHeld(b);
    for (const RawBlock& b : blocks) EXPECT_EQ(ovGCIsObject(reinterpret_cast<uintptr_t>(b.block)), 0);
}

TEST(MemoryBlocks, NonPositiveSizesYieldNoBlock) {
    ovTestModeGuard manual(0);
    EXPECT_EQ(ovGCAllocObject(0, &ObjectType), nullptr);
    EXPECT_EQ(ovGCAllocObject(-5, &ObjectType), nullptr);
}

TEST(MemoryBlocks, FreeingTwiceIsReported) {
    ovTestModeGuard manual(0);
    RawBlock b = allocateHeld(32);
    releaseHeld(b);
    EXPECT_EQ(ovTestThrownText([b] { ovGCDeallocObject(b.block, b.size); }), u"clrMemBit error: membit not set");
}

TEST(MemoryBlocks, QueueingAHeldInstanceIsReported) {
    ovTestModeGuard manual(0);
    Object* o = ovObjectNew(&ObjectType);
    ovGCRetain(o);
    EXPECT_EQ(ovTestThrownText([o] { ovGCFree(o); }), u"GC ovGCFree: mem has non-0 refs");
    ovGCRelease(o);
}

// Unreferenced blocks that stay queued until the test's closing pass; the
// vector is not scanned, so that pass frees them all.
class QueuedBlocks {
public:
    ~QueuedBlocks() {
        blocks_.clear();
        ovTestCollect();
    }
    char* take(int32_t size) {
        Object* block = size == 16 ? ovGCAllocObject(16, &ObjectType) : ovTestAllocSized(size);
        blocks_.push_back(block);
        return reinterpret_cast<char*>(block);
    }
    // Takes blocks until one is carved from the chunk rather than popped
    // from the free list, which is then empty; returns the carved block.
    char* takeCarved(int32_t size) {
        for (;;) {
            const int32_t remaining = ovGCGetState().chunkRemaining;
            char* block = take(size);
            if (ovGCGetState().chunkRemaining != remaining) return block;
        }
    }

private:
    std::vector<Object*> blocks_;
};

TEST(MemoryBlocks, AChunkTailTooSmallForTheNextBlockGoesToItsSizeClass) {
    ovTestModeGuard manual(0);
    QueuedBlocks blocks;
    // Blocks of 32, after one of 16 where the chunk's rest is a multiple of
    // 32, leave a tail of 16 bytes: too small for the next block of 32.
    blocks.takeCarved(32);
    char* end = blocks.takeCarved(16) + 16;
    if (ovGCGetState().chunkRemaining % 32 == 0) end = blocks.take(16) + 16;
    while (ovGCGetState().chunkRemaining > 16) end = blocks.take(32) + 32;
    ASSERT_EQ(ovGCGetState().chunkRemaining, 16);

    EXPECT_NE(blocks.take(32), end);
    EXPECT_GT(ovGCGetState().chunkRemaining, 16) << "carved from a new chunk";
    EXPECT_EQ(blocks.take(16), end) << "the tail is the next block of its class";
}

TEST(MemoryRaw, AlignedBlocksExtendKeepingTheirPrefix) {
    auto* block = static_cast<char*>(ovMemAlloc(40));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    for (int i = 0; i < 40; ++i) block[i] = static_cast<char>(i);
    auto* grown = static_cast<char*>(ovMemExtend(block, 24, 4000));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(grown[i], static_cast<char>(i));
    ovMemMove(grown + 1, grown, 23);
    EXPECT_EQ(grown[1], 0);
    EXPECT_EQ(grown[23], 22);
    // Large blocks grow in place where the C heap can; the prefix stays.
    for (size_t size = 8192; size <= (size_t{32} << 20); size *= 4) {
        grown = static_cast<char*>(ovMemExtend(grown, 24, size));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % 16, 0u);
        EXPECT_EQ(grown[23], 22) << size;
        grown[size - 1] = 1;
    }
    ovMemFree(grown);
    ovMemFree(nullptr);
}

// ---------------------------------------------------------------------------
// Passes
// ---------------------------------------------------------------------------

__attribute__((noinline)) bool survivesAPassWhileALocalHoldsIt() {
    const int32_t deletedBefore = ovTestCountedDeleted;
    Object* local = ovObjectNew(&TCountedType);
    ovTestCollect();
    const bool survived = ovTestCountedDeleted == deletedBefore;
    ovKeepAlive(local);
    return survived;
}

TEST(CollectorPass, ALocalKeepsAnInstanceUntilItIsGone) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const int32_t deletedBefore = ovTestCountedDeleted;
    EXPECT_TRUE(survivesAPassWhileALocalHoldsIt());
    ovTestCollect();
    EXPECT_EQ(ovTestCountedDeleted, deletedBefore + 1) << "freed by the first pass after the local is gone";
}

TEST(CollectorPass, DestructorsRunAtThePassNotWhenDropped) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const int32_t deletedBefore = ovTestCountedDeleted;
    ovTestNewCountedAddress();
    EXPECT_EQ(ovTestCountedDeleted, deletedBefore);
    ovTestCollect();
    EXPECT_EQ(ovTestCountedDeleted, deletedBefore + 1);
}

__attribute__((noinline)) void makeCycle() {
    auto* a = ovNew<TCounted>(&TCountedType);
    auto* b = ovNew<TCounted>(&TCountedType);
    a->other.set(b);
    b->other.set(a);
}

__attribute__((noinline)) void makeChain() {
    auto* head = ovNew<TCounted>(&TCountedType);
    head->other.set(ovObjectNew(&TCountedType));
}

TEST(CollectorPass, CyclesAreNeverFreed) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const int32_t aliveBefore = ovTestCountedAlive;
    makeCycle();
    ovTestCollect();
    ovTestCollect();
    EXPECT_EQ(ovTestCountedAlive, aliveBefore + 2);
}

TEST(CollectorPass, AFieldReleasedByAFreedInstanceGoesInTheSamePass) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    makeChain();
    ovTestCollect();
    EXPECT_EQ(ovGCGetState().objectsFreed, 2);
}

TEST(CollectorPass, FreeingReturnsTheSizeOfTheOriginalClass) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const int64_t before = ovGCGetState().bytesInUse;
    ovTestNewCountedAddress();  // 64 bytes, while Object's Delete would see 16
    EXPECT_EQ(ovGCGetState().bytesInUse, before + static_cast<int64_t>(sizeof(TCounted)));
    ovTestCollect();
    EXPECT_EQ(ovGCGetState().bytesInUse, before);
}

TEST(CollectorPass, NothingHappensWhileSuspended) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const int32_t deletedBefore = ovTestCountedDeleted;
    ovGCSuspend();
    ovTestNewCountedAddress();
    EXPECT_EQ(ovTestCollect(), 0);
    EXPECT_EQ(ovTestCountedDeleted, deletedBefore);
    EXPECT_EQ(ovGCResume(), 0);
    EXPECT_GT(ovTestCollect(), 0);
    EXPECT_EQ(ovTestCountedDeleted, deletedBefore + 1);
}

TEST(CollectorPass, DebugPrintsOneStatisticsLinePerPass) {
    ovTestModeGuard manual(0);
    ovTestNewCountedAddress();
    ovGCSetDebug(1);
    const std::string out = ovTestCapturedStdout([] { ovTestCollect(); });
    ovGCSetDebug(0);
    const std::regex line(
        "GC collectMem: memFreed=[0-9]+, time=[0-9]+ms, objsFreed=[0-9]+, objsScanned=[0-9]+, objsLive=[0-9]+\n");
    EXPECT_TRUE(std::regex_match(out, line)) << out;
}

TEST(CollectorPass, AQueuedCountWithoutItsMarkIsReported) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    String* text = ovStringFromCString("odd");
    text->refs = 3;  // what a stray write past the queue's back would leave
    const std::string out = ovTestCapturedStdout([] { ovTestCollect(); });
    // The local holding it is a root (once per copy on the stack), so the
    // pass sees the count raised by the roots.
    const std::regex report("bad refs:obj=\\$[0-9a-f]{16} refs=\\$[0-9a-f]+\nString:odd\n");
    EXPECT_TRUE(std::regex_match(out, report)) << out;
    EXPECT_EQ(text->refs, 3) << "it stays alive";
    text->refs = 1;
    ovGCRelease(text);
}

// An instance whose destructor throws.
int32_t throwingDelete(Object*) { ovRuntimeError("Delete failed"); }
constexpr ovScope throwingScope = {OV_SCOPE_CLASS, "TThrowing", ovNoScopeEntries};
extern const ObjectClass throwingClass;
constexpr ObjectClass throwingClass = ovMakeClass<ObjectClass, Object>(ObjectType, &throwingScope, [](auto& r) {
    r.New = ovFieldlessNew<throwingClass>;
    r.Delete = throwingDelete;
});

// Queues a TCounted, the throwing instance and another TCounted, in order.
__attribute__((noinline)) void dropAThrowerBetweenTwoCounted() {
    ovObjectNew(&TCountedType);
    ovObjectNew(&throwingClass);
    ovObjectNew(&TCountedType);
}

// The exception leaves the pass, but the pass first lowers the roots' counts
// and ends the suspension, and what it had not swept stays queued.
TEST(CollectorPass, ADestructorThatThrowsLeavesTheCollectorAsBeforeThePass) {
    const struct {
        const char* how;
        void (*startPass)();
    } cases[] = {
        {"ovGCCollect", [] { ovTestCollect(); }},
        {"an allocation's trigger",
         [] {
             ovTestScrubStack();
             ovTestModeGuard stress(OV_GC_STRESS_MODE);
             ovObjectNew(&ObjectType);
         }},
    };
    for (const auto& c : cases) {
        ovTestModeGuard manual(0);
        ovTestCollect();
        Object* held = ovGCRetain(ovObjectNew(&ObjectType));
        const int32_t deletedBefore = ovTestCountedDeleted;
        dropAThrowerBetweenTwoCounted();
        EXPECT_EQ(ovTestThrownText(c.startPass), u"Delete failed") << c.how;
        EXPECT_EQ(ovGCGetState().suspended, 0) << c.how;
        EXPECT_EQ(held->refs, 1) << c.how << ": the root's count is lowered again";
        EXPECT_EQ(ovTestCountedDeleted, deletedBefore + 1) << c.how << ": the one before the thrower was freed";
        ovTestCollect();
        EXPECT_EQ(ovTestCountedDeleted, deletedBefore + 2) << c.how << ": the one after it goes in the next pass";
        ovGCRelease(held);
    }
}

// ---------------------------------------------------------------------------
// The automatic trigger
// ---------------------------------------------------------------------------

TEST(CollectorTrigger, TheByteSumMustExceedTheLimit) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    ovTestAllocSized(64);  // forces a trigger check; may start a pass
    const ovGCState start = ovGCGetState();
    const int32_t rest = static_cast<int32_t>(OV_GC_BYTES_TRIGGER - start.bytesSinceCollection);
    ovTestAllocSized(rest);
    EXPECT_EQ(ovGCGetState().passes, start.passes) << "exactly the limit runs no pass";
    EXPECT_EQ(ovGCGetState().bytesSinceCollection, OV_GC_BYTES_TRIGGER);
    ovTestAllocSized(24);
    EXPECT_EQ(ovGCGetState().passes, start.passes + 1);
    EXPECT_EQ(ovGCGetState().bytesSinceCollection, 0);
}

TEST(CollectorTrigger, TheTableAboveItsThresholdRunsAPassAndAdaptsIt) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    const ovGCState start = ovGCGetState();
    ASSERT_LT(start.queued, start.tableThreshold);
    for (int32_t n = start.queued; n <= start.tableThreshold; ++n) ovTestNewCountedAddress();
    EXPECT_EQ(ovGCGetState().passes, start.passes) << "a table at its threshold runs no pass";
    EXPECT_EQ(ovGCGetState().queued, start.tableThreshold + 1);
    ovTestNewCountedAddress();
    const ovGCState after = ovGCGetState();
    EXPECT_EQ(after.passes, start.passes + 1);
    // The threshold adapts to what survived: the next pass comes after about
    // the initial threshold's worth of new entries, not sooner, not never.
    int32_t entries = 0;
    while (ovGCGetState().passes == after.passes && entries <= 2 * OV_GC_INITIAL_THRESHOLD) {
        ovTestNewCountedAddress();
        ++entries;
    }
    EXPECT_GE(entries, OV_GC_INITIAL_THRESHOLD - 2);
    EXPECT_LE(entries, OV_GC_INITIAL_THRESHOLD + 2);
}

TEST(CollectorTrigger, OtherModesNeverCollect) {
    ovTestModeGuard manual(0);
    const int32_t passes = ovGCGetState().passes;
    for (int i = 0; i < 600; ++i) ovTestNewCountedAddress();
    EXPECT_EQ(ovGCGetState().passes, passes);
    ovTestCollect();
}

}  // namespace
