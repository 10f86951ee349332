// The list's operations: order at both ends, neighbours, index access,
// search by Compare, removal, swapping, copies, arrays, links that are not in
// a list, enumeration with removal, the range-for, and dispatch through the
// class record.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "collections/list.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/collections/list_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

using ListOrder = ListTest;
using ListSearch = ListTest;
using ListLinks = ListTest;
using ListArrays = ListTest;
using ListEnumeration = ListTest;
using ListDispatch = ListTest;

Object* plain() { return ovObjectNew(&ObjectType); }

bool isRuntimeError(Object* thrown, String* message) {
    return ovIsInstance(thrown, &TRuntimeExceptionType) &&
           ovStringCompare(static_cast<TRuntimeException*>(thrown)->error, message) == 0;
}

// The values of the enumerator until HasNext turns 0.
std::vector<Object*> enumerated(TListEnum* enumerator) {
    std::vector<Object*> values;
    while (enumerator->HasNext()) values.push_back(enumerator->NextObject());
    return values;
}

// ---------------------------------------------------------------------------
// Order
// ---------------------------------------------------------------------------

TEST_F(ListOrder, ANewListIsEmptyEverywhere) {
    TList* list = ListNew();
    EXPECT_EQ(list->IsEmpty(), 1);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->First(), ovNull);
    EXPECT_EQ(list->Last(), ovNull);
    EXPECT_EQ(list->FirstLink(), ovNullOf<TLink>());
    EXPECT_EQ(list->LastLink(), ovNullOf<TLink>());
    EXPECT_EQ(list->RemoveFirst(), ovNull);
    EXPECT_EQ(list->RemoveLast(), ovNull);
    list->Sort(1, ovTestByKey);
    list->Reverse();
    EXPECT_EQ(list->IsEmpty(), 1);
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListOrder, BothEndsGrowInTheirOwnDirection) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    TList* list = ListNew();
    TLink* first = list->AddFirst(a);
    TLink* last = list->AddLast(b);
    list->AddFirst(c);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{c, a, b}));
    EXPECT_EQ(first->Value(), a);
    EXPECT_EQ(last->Value(), b);
    EXPECT_EQ(list->First(), c);
    EXPECT_EQ(list->Last(), b);
    EXPECT_EQ(list->LastLink(), last);
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(list->RemoveFirst(), c);
    EXPECT_EQ(list->RemoveLast(), b);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{a}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListOrder, ReverseTurnsTheListAndReversedLeavesItAlone) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    TList* list = ovTestListOf({c, a, b});
    TList* reversed = list->Reversed();
    EXPECT_EQ(ovTestValues(reversed), (std::vector<Object*>{b, a, c}));
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{c, a, b}));
    list->Reverse();
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{b, a, c}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
    EXPECT_EQ(list->First(), b);
    EXPECT_EQ(list->Last(), c);
    TList* single = ovTestListOf({a});
    single->Reverse();
    EXPECT_EQ(ovTestValues(single), (std::vector<Object*>{a}));
    EXPECT_TRUE(ovTestRingIsWhole(single));
}

TEST_F(ListOrder, InsertingBesideALinkOfAnyList) {
    Object* a = plain();
    Object* b = plain();
    Object* x = plain();
    Object* y = plain();
    TList* list = ovTestListOf({a, b});
    TLink* linkOfA = list->FirstLink();
    list->InsertAfterLink(x, linkOfA);
    list->InsertBeforeLink(y, linkOfA);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{y, a, x, b}));
    TList* other = ListNew();
    other->InsertAfterLink(plain(), list->LastLink());  // goes into list, as the link decides
    EXPECT_EQ(list->Count(), 5);
    EXPECT_EQ(other->Count(), 0);
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListOrder, SwapExchangesContents) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    TList* first = ovTestListOf({a, b});
    TList* second = ovTestListOf({c});
    EXPECT_EQ(ListSwap(first, second), 0);
    EXPECT_EQ(ovTestValues(first), (std::vector<Object*>{c}));
    EXPECT_EQ(ovTestValues(second), (std::vector<Object*>{a, b}));
    EXPECT_EQ(ListCount(first), 1);
    EXPECT_EQ(ListCount(second), 2);
    first->Swap(first);
    EXPECT_EQ(ovTestValues(first), (std::vector<Object*>{c}));
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { first->Swap(ovNullOf<TList>()); }), &TNullObjectExceptionType));
}

TEST_F(ListOrder, CopiesShareValuesButNotLinks) {
    Object* a = plain();
    Object* b = plain();
    TList* list = ovTestListOf({a, b});
    TList* copy = list->Copy();
    EXPECT_EQ(ovTestValues(copy), ovTestValues(list));
    copy->RemoveFirst();
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{a, b}));
}

// ---------------------------------------------------------------------------
// Search and index access
// ---------------------------------------------------------------------------

TEST_F(ListSearch, StringsMatchByTextObjectsByIdentity) {
    Object* o = plain();
    TList* list = ovTestListOf({ovStringFromCString("abc"), o});
    EXPECT_EQ(ListHas(list, ovStringFromCString("abc")), 1);
    EXPECT_EQ(ListHas(list, ovStringFromCString("abd")), 0);
    EXPECT_EQ(ListHas(list, o), 1);
    EXPECT_EQ(ListHas(list, plain()), 0);
    EXPECT_EQ(ListLinkOf(list, o), list->LastLink());
    EXPECT_EQ(ListLinkOf(list, plain()), ovNullOf<TLink>());
}

TEST_F(ListSearch, RemoveTakesOnlyTheFirstMatch) {
    String* first = ovStringFromCString("x");
    String* second = ovStringFromCString("x");
    Object* y = plain();
    TList* list = ovTestListOf({first, y, second});
    EXPECT_EQ(list->Remove(plain()), 0);
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Remove(ovStringFromCString("x")), 1);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{y, second}));
    EXPECT_EQ(ListDelete(list, ovStringFromCString("x")), 0);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{y}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListSearch, IndexesOutsideTheListRaise) {
    Object* a = plain();
    Object* b = plain();
    TList* list = ovTestListOf({a, b});
    EXPECT_EQ(list->ValueAtIndex(0), a);
    EXPECT_EQ(list->ValueAtIndex(1), b);
    for (int32_t index : {-1, 2, INT32_MIN, INT32_MAX})
        EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { list->ValueAtIndex(index); }), ovLiteral(u"List index out of range")))
            << index;
    EXPECT_TRUE(isRuntimeError(ovTestThrown([] { ListNew()->ValueAtIndex(0); }), ovLiteral(u"List index out of range")));
}

// ---------------------------------------------------------------------------
// Links
// ---------------------------------------------------------------------------

TEST_F(ListLinks, NeighboursStopShortOfTheHead) {
    TList* list = ovTestListOf({plain(), plain(), plain()});
    TLink* first = list->FirstLink();
    TLink* last = list->LastLink();
    EXPECT_EQ(first->PrevLink(), ovNullOf<TLink>());
    EXPECT_EQ(last->NextLink(), ovNullOf<TLink>());
    EXPECT_EQ(first->NextLink()->NextLink(), last);
    EXPECT_EQ(last->PrevLink()->PrevLink(), first);
}

TEST_F(ListLinks, ALinkRemovedTwiceIsRemovedOnce) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    TList* list = ovTestListOf({a, b, c});
    TLink* middle = list->FirstLink()->NextLink();
    EXPECT_EQ(LinkDelete(middle), 0);
    EXPECT_EQ(middle->Value(), ovNull);
    list->RemoveFirst();  // the removed link's predecessor moves on
    LinkDelete(middle);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{c}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListLinks, TheHeadAndFreshLinksCannotBeRemoved) {
    Object* a = plain();
    TList* list = ovTestListOf({a});
    list->_head->Remove();
    ovNew<TLink>(&TLinkType)->Remove();
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{a}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListLinks, NothingGoesBesideALinkOutsideAList) {
    TList* list = ovTestListOf({plain(), plain()});
    TLink* removed = list->FirstLink();
    removed->Remove();
    TLink* fresh = ovNew<TLink>(&TLinkType);
    for (TLink* link : {removed, fresh}) {
        EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { list->InsertAfterLink(plain(), link); }), ovLiteral(u"Link is not in a list")));
        EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { list->InsertBeforeLink(plain(), link); }), ovLiteral(u"Link is not in a list")));
    }
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { list->InsertAfterLink(plain(), list->FindLink(plain())); }),
                             &TNullObjectExceptionType));
    EXPECT_EQ(list->Count(), 1);
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

// ---------------------------------------------------------------------------
// Arrays
// ---------------------------------------------------------------------------

TEST_F(ListArrays, ValuesGoToAnObjectArrayAndBack) {
    Object* a = plain();
    Object* b = ovStringFromCString("b");
    TList* list = ovTestListOf({a, b});
    Array* array = ListAsArray(list);
    ASSERT_EQ(array->count(), 2);
    EXPECT_STREQ(array->tag, ":Object");
    EXPECT_EQ(array->elements<Object*>()[0], a);
    EXPECT_EQ(array->elements<Object*>()[1], b);
    EXPECT_EQ(ovTestValues(ListOfArray(array)), (std::vector<Object*>{a, b}));
}

TEST_F(ListArrays, AnEmptyListIsTheEmptyArray) {
    EXPECT_EQ(ListNew()->ToArray(), &ovEmptyArray);
    TList* list = TListType.FromArray(&ovEmptyArray);
    EXPECT_EQ(list->IsEmpty(), 1);
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

TEST_F(ListArrays, AnArrayOfNumbersIsRefused) {
    for (const char* tag : {"i", "b", "l", "d"}) {
        Array* numbers = ovArrayNew1D(tag, 3);
        EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { ListOfArray(numbers); }),
                                   ovLiteral(u"List values must come from an array of references")))
            << tag;
    }
    EXPECT_EQ(ListOfArray(ovArrayNew1D("$", 2))->Count(), 2) << "Strings are references";
}

// ---------------------------------------------------------------------------
// Enumeration
// ---------------------------------------------------------------------------

TEST_F(ListEnumeration, ValuesComeInOrderThenHasNextTurnsZero) {
    Object* a = plain();
    Object* b = plain();
    TListEnum* enumerator = ovTestListOf({a, b})->ObjectEnumerator();
    EXPECT_EQ(enumerated(enumerator), (std::vector<Object*>{a, b}));
    EXPECT_EQ(enumerator->HasNext(), 0);
    EXPECT_EQ(ListNew()->ObjectEnumerator()->HasNext(), 0);
}

TEST_F(ListEnumeration, RemovingTheValueJustReturnedChangesNothing) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    TList* list = ovTestListOf({a, b, c});
    TListEnum* enumerator = list->ObjectEnumerator();
    std::vector<Object*> seen;
    while (enumerator->HasNext()) {
        Object* value = enumerator->NextObject();
        seen.push_back(value);
        list->Remove(value);
    }
    EXPECT_EQ(seen, (std::vector<Object*>{a, b, c}));
    EXPECT_EQ(list->IsEmpty(), 1);
}

TEST_F(ListEnumeration, RemovingWhatComesNextYieldsNullInItsPlace) {
    Object* a = plain();
    Object* b = plain();
    Object* c = plain();
    Object* d = plain();
    TList* list = ovTestListOf({a, b, c, d});
    TListEnum* enumerator = list->ObjectEnumerator();
    EXPECT_EQ(enumerator->NextObject(), a);
    list->Remove(b);
    list->Remove(c);
    EXPECT_EQ(enumerated(enumerator), (std::vector<Object*>{ovNull, ovNull, d}));
}

TEST_F(ListEnumeration, ClearingMidwayYieldsNullsToTheEnd) {
    TList* list = ovTestListOf({plain(), plain(), plain()});
    TListEnum* enumerator = list->ObjectEnumerator();
    enumerator->NextObject();
    ListClear(list);
    EXPECT_EQ(enumerated(enumerator), (std::vector<Object*>{ovNull, ovNull}));
}

TEST_F(ListEnumeration, AFreshEnumeratorHasNothing) {
    auto* enumerator = ovNew<TListEnum>(&TListEnumType);
    EXPECT_EQ(enumerator->HasNext(), 0);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { enumerator->NextObject(); }), &TNullObjectExceptionType));
}

TEST_F(ListEnumeration, ARangeForMayRemoveTheLinkItStandsOn) {
    std::vector<Object*> values;
    TList* list = ListNew();
    for (int i = 0; i < 6; ++i) values.push_back(list->AddLast(plain())->Value());
    int visited = 0;
    for (TLink* link : *list)
        if (visited++ % 2 == 0) link->Remove();
    EXPECT_EQ(visited, 6);
    EXPECT_EQ(ovTestValues(list), (std::vector<Object*>{values[1], values[3], values[5]}));
    EXPECT_TRUE(ovTestRingIsWhole(list));
}

// ---------------------------------------------------------------------------
// Dispatch
// ---------------------------------------------------------------------------

// A list class whose AddLast, AddFirst and Count say that they ran.
int32_t overrideCalls = 0;
TLink* countedAddLast(TList* self, Object* value) {
    ++overrideCalls;
    return TListAddLast(self, value);
}
TLink* countedAddFirst(TList* self, Object* value) {
    ++overrideCalls;
    return TListAddFirst(self, value);
}
int32_t countPlusThousand(TList* self) { return 1000 + TListCount(self); }

extern const TListClass spyListType;
constexpr ovScope spyListScope = {OV_SCOPE_CLASS, "TSpyList", ovNoScopeEntries};
constexpr TListClass spyListType = ovMakeClass<TListClass, TList>(TListType, &spyListScope, [](auto& r) {
    r.New = ovFieldlessNew<spyListType>;
    r.Delete = ovChainDelete<spyListType>;
    r.AddLast = countedAddLast;
    r.AddFirst = countedAddFirst;
    r.Count = countPlusThousand;
});

TEST_F(ListDispatch, ModuleFunctionsReachASubclassesOverrides) {
    auto* list = ovNew<TList>(&spyListType);
    overrideCalls = 0;
    ListAppend(list, plain());
    ListPrepend(list, plain());
    EXPECT_EQ(overrideCalls, 2);
    EXPECT_EQ(ListCount(list), 1002);
    EXPECT_EQ(ListEmpty(list), 0);
}

TEST_F(ListDispatch, TheModuleRegistersItsClassesInOrderOnce) {
    ovLinkedListModuleInit();
    int32_t count = 0;
    const ObjectClass* const* types = ovObjectRegisteredTypes(&count);
    std::vector<const ObjectClass*> listTypes;
    for (int32_t i = 0; i < count; ++i)
        if (types[i] == &TLinkType || types[i] == &TListEnumType || types[i] == &TListType)
            listTypes.push_back(types[i]);
    EXPECT_EQ(listTypes, (std::vector<const ObjectClass*>{&TLinkType, &TListEnumType, &TListType}));
}

}  // namespace
