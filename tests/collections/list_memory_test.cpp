// The list and the collector: a dropped list goes with every value and link,
// whatever was done to it, a million-element list goes without deep
// recursion, and links and enumerators that outlive their list stay safe.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "collections/list.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "tests/collections/list_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

// Counts what is alive before a test's work and checks after a pass that
// the work left nothing behind.
class ListCollection : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        ovTestCollect();
        countedBefore_ = ovTestCountedAlive;
        bytesBefore_ = ovGCGetState().bytesInUse;
    }

    // After a pass run from the test's own frame (ovTestCollect), so that
    // the stack scrubbed below it covers the frames the work ran in.
    ::testing::AssertionResult everythingFreed() {
        const int64_t bytes = ovGCGetState().bytesInUse;
        if (ovTestCountedAlive == countedBefore_ && bytes == bytesBefore_) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << ovTestCountedAlive - countedBefore_ << " values and "
                                             << bytes - bytesBefore_ << " bytes left";
    }

    int32_t countedBefore_ = 0;
    int64_t bytesBefore_ = 0;
    ovTestModeGuard manual_{0};
};

int32_t throwAtThird(Object* a, Object* b) {
    static int32_t calls = 0;
    if (++calls % 3 == 0) ovThrow(ovLiteral(u"comparison failed"));
    return ovTestByKey(a, b);
}

// Builds a list of counted values, does the work on it and drops it, all
// in a frame of its own.
__attribute__((noinline)) void dropListAfter(int32_t n, const std::function<void(TList*)>& work) {
    TList* list = ListNew();
    for (int32_t i = 0; i < n; ++i) list->AddLast(ovTestKeyed(n - i));
    work(list);
}

TEST_F(ListCollection, ADroppedListGoesWithEveryValueAndLink) {
    const struct {
        const char* name;
        std::function<void(TList*)> work;
    } cases[] = {
        {"nothing", [](TList*) {}},
        {"sorted", [](TList* list) { list->Sort(1, ovTestByKey); }},
        {"reversed", [](TList* list) { list->Reverse(); }},
        {"sort interrupted", [](TList* list) { ovTestThrown([&] { list->Sort(1, throwAtThird); }); }},
        {"half removed", [](TList* list) {
             for (int i = 0; i < 20; ++i) list->RemoveFirst();
         }},
        {"swapped", [](TList* list) { list->Swap(ovTestListOf({ovTestKeyed(0)})); }},
        {"copied and turned to an array", [](TList* list) { TListType.FromArray(list->Reversed()->Copy()->ToArray()); }},
        {"half enumerated", [](TList* list) {
             TListEnum* enumerator = list->ObjectEnumerator();
             for (int i = 0; i < 20; ++i) enumerator->NextObject();
         }},
    };
    for (const auto& c : cases) {
        dropListAfter(40, c.work);
        ovTestCollect();
        EXPECT_TRUE(everythingFreed()) << c.name;
    }
}

// The links of the cleared list each hold the next one, a chain a million
// long that the collector releases one queued link at a time.  The
// automatic collector builds it in every build: a pass before each of two
// million allocations would take minutes under the sanitizers.
TEST_F(ListCollection, AMillionElementListGoesWithoutDeepRecursion) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    dropListAfter(1000000, [](TList* list) { EXPECT_EQ(list->Count(), 1000000); });
    ovTestCollect();
    EXPECT_TRUE(everythingFreed());
}

// A counted reference outside every frame, for objects that must outlive
// the frames that made them; what the tests learn through it, they learn in
// frames of their own, so that no pointer to it stays in the test's frame.
ovRef<Object> keptElsewhere = {ovNull};

// Held elsewhere, a link outlives its list as a removed link: its value is
// gone, and it keeps only the links it points at.
__attribute__((noinline)) void keepThirdLinkOfADroppedList() {
    TList* list = ovTestListOf({ovTestKeyed(1), ovTestKeyed(2), ovTestKeyed(3), ovTestKeyed(4)});
    keptElsewhere.set(list->FirstLink()->NextLink()->NextLink());
}

__attribute__((noinline)) bool keptLinkLostItsValue() {
    return static_cast<TLink*>(keptElsewhere.get())->Value() == ovNull;
}

TEST_F(ListCollection, ALinkHeldElsewhereOutlivesItsList) {
    keepThirdLinkOfADroppedList();
    ovTestCollect();
    EXPECT_TRUE(keptLinkLostItsValue());
    EXPECT_EQ(ovTestCountedAlive, countedBefore_) << "every value went with the list";
    keptElsewhere.set(ovNull);
    ovTestCollect();
    EXPECT_TRUE(everythingFreed());
}

// An enumerator holds a link but not the list: the list may go first, and
// the enumerator then yields Null objects until it runs out.
__attribute__((noinline)) void keepEnumeratorOfADroppedList() {
    TList* list = ovTestListOf({ovTestKeyed(1), ovTestKeyed(2), ovTestKeyed(3)});
    TListEnum* enumerator = list->ObjectEnumerator();
    enumerator->NextObject();
    keptElsewhere.set(enumerator);
}

// The number of values the kept enumerator still yields, all of them the
// Null object; -1 for anything else or for more than the list ever held.
__attribute__((noinline)) int32_t nullsLeftInKeptEnumerator() {
    auto* enumerator = static_cast<TListEnum*>(keptElsewhere.get());
    int32_t yielded = 0;
    for (; enumerator->HasNext(); ++yielded)
        if (yielded > 3 || enumerator->NextObject() != ovNull) return -1;
    return yielded;
}

TEST_F(ListCollection, AnEnumeratorOutlivingItsListRunsOutSafely) {
    keepEnumeratorOfADroppedList();
    ovTestCollect();
    EXPECT_GE(nullsLeftInKeptEnumerator(), 2);
    keptElsewhere.set(ovNull);
    ovTestCollect();
    EXPECT_TRUE(everythingFreed());
}

}  // namespace
