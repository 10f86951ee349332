// Helpers for the list tests: keyed values, lists built from values, the
// values of a list in order, and a check that a list's ring is whole.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "collections/list.h"
#include "runtime/object.h"
#include "tests/support/gc_test_support.h"

// The fixture of the list tests: the list module ready.
class ListTest : public ::testing::Test {
protected:
    void SetUp() override { ovLinkedListModuleInit(); }
};

// A counted test object carrying a sort key and a tag (its position before
// sorting, say).
inline TCounted* ovTestKeyed(int64_t key, int64_t tag = 0) {
    auto* value = ovNew<TCounted>(&TCountedType);
    value->payload[0] = key;
    value->payload[1] = tag;
    return value;
}
inline int64_t ovTestKeyOf(Object* value) { return static_cast<TCounted*>(value)->payload[0]; }
inline int64_t ovTestTagOf(Object* value) { return static_cast<TCounted*>(value)->payload[1]; }

// Orders keyed values by key; fails the test if handed a link (the head).
inline int32_t ovTestByKey(Object* a, Object* b) {
    if (ovIsInstance(a, &TLinkType) || ovIsInstance(b, &TLinkType)) ADD_FAILURE() << "compared with a link";
    const int64_t x = ovTestKeyOf(a);
    const int64_t y = ovTestKeyOf(b);
    return (x > y) - (x < y);
}

inline TList* ovTestListOf(std::initializer_list<Object*> values) {
    TList* list = ListNew();
    for (Object* value : values) list->AddLast(value);
    return list;
}

// The values front to back.  The list keeps them alive, the vector does not.
inline std::vector<Object*> ovTestValues(TList* list) {
    std::vector<Object*> values;
    for (TLink* link : *list) values.push_back(link->_value);
    return values;
}

// Every link is its successor's predecessor, the walk back from the head
// meets the same links as the walk forward, and only the head is its own
// value.  Both walks are bounded, so a broken ring fails instead of hanging.
inline ::testing::AssertionResult ovTestRingIsWhole(TList* list, size_t maxLinks = 100000) {
    TLink* head = list->_head;
    if (head->_value.get() != head) return ::testing::AssertionFailure() << "the head lost its mark";
    std::vector<TLink*> forward;
    for (TLink* link = head->_succ; link != head; link = link->_succ) {
        if (forward.size() == maxLinks) return ::testing::AssertionFailure() << "no way back to the head";
        if (link->_succ->_pred.get() != link) return ::testing::AssertionFailure() << "a successor points elsewhere";
        if (link->_value.get() == link) return ::testing::AssertionFailure() << "an element marked as a head";
        forward.push_back(link);
    }
    if (head->_succ->_pred.get() != head) return ::testing::AssertionFailure() << "the first link lost the head";
    std::vector<TLink*> backward;
    for (TLink* link = head->_pred; link != head && backward.size() <= forward.size(); link = link->_pred)
        backward.push_back(link);
    std::reverse(backward.begin(), backward.end());
    if (forward != backward) return ::testing::AssertionFailure() << "the walks forward and back differ";
    return ::testing::AssertionSuccess();
}
