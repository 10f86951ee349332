// The linked list, its links and its enumerator.
#include "collections/list.h"

#include <utility>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"

namespace {

// The head is the one link whose value is itself.
bool isHead(TLink* link) { return link != ovNullLink() && link->_value.get() == link; }

// A neighbour as the links show it: the Null object in place of the head.
TLink* unlessHead(TLink* link) { return isHead(link) ? ovNullLink() : link; }

// True for a link that both neighbours point back at: an element or the head
// of a list, not a fresh link nor one already removed.
bool inRing(TLink* link) {
    TLink* succ = link->_succ;
    TLink* pred = link->_pred;
    return succ != ovNullLink() && pred != ovNullLink() && succ->_pred.get() == link && pred->_succ.get() == link;
}

// A new link goes only beside a link of some list: beside a removed or fresh
// one it would be half linked, and its neighbours' fields may not exist.
void requireInRing(TLink* link) {
    if (link == ovNullLink()) RaiseNullObject();
    if (!inRing(link)) RaiseRuntimeError(ovLiteral(u"Link is not in a list"));
}

TLink* newLinkBetween(Object* value, TLink* pred, TLink* succ) {
    auto* link = ovNew<TLink>(&TLinkType);
    link->_value.set(value);
    link->_pred.set(pred);
    link->_succ.set(succ);
    pred->_succ.set(link);
    succ->_pred.set(link);
    return link;
}

TLink* firstLink(TList* self) { return self->IsEmpty() ? ovNullLink() : self->_head->_succ.get(); }
TLink* lastLink(TList* self) { return self->IsEmpty() ? ovNullLink() : self->_head->_pred.get(); }

Object* valueOf(TLink* link) { return link == ovNullLink() ? ovNull : link->_value.get(); }

Object* removeValueOf(TLink* link) {
    Object* value = valueOf(link);
    if (link != ovNullLink()) link->Remove();
    return value;
}

TLink* findLink(TList* self, Object* value) {
    for (TLink* link : *self)
        if (link->_value->Compare(value) == 0) return link;
    return ovNullLink();
}

int32_t countLinks(TList* self) {
    int32_t count = 0;
    for ([[maybe_unused]] TLink* link : *self) ++count;
    return count;
}

// ---------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------

// Sort and Reverse only rearrange the links of one ring, and when they are
// done every link is again the successor of one link and the predecessor of
// one, so every count is what it was.  They move neighbour fields without
// counting: counting each move would let counts pass through zero on the
// way, queueing live links for the collector.
void relinkUncounted(ovRef<TLink>& field, TLink* link) { field.ptr = link; }
void exchangeNeighbours(TLink* link) { std::swap(link->_succ.ptr, link->_pred.ptr); }

// "result times sign is greater than 0", without overflowing at INT32_MIN.
bool ordersAfter(int32_t result, bool ascending) { return ascending ? result > 0 : result < 0; }

// One pass of the bottom-up merge: the ring is read as runs of runLength
// links, and each pair of runs (p, then q) is merged onto the tail of what
// the pass has merged so far.  Links not yet merged keep their successors,
// so each run can still be followed from its next link.
class MergePass {
public:
    explicit MergePass(TLink* head) : head_(head), tail_(head), p_(head->_succ), q_(head) {}

    // Appends what the merges left behind and closes the ring.  After a whole
    // pass nothing is left; when the comparison throws, the rest of run p and
    // everything from q on follow the merged links as they stand, so the
    // list holds every element again before the exception goes on.
    ~MergePass() {
        while (pLeft_ > 0) takeP();
        while (q_ != head_) takeQ();
        relinkUncounted(tail_->_succ, head_);
        relinkUncounted(head_->_pred, tail_);
    }

    MergePass(const MergePass&) = delete;
    MergePass& operator=(const MergePass&) = delete;

    // The number of merges made.
    int64_t run(int64_t runLength, bool ascending, ovCompareFunction compare) {
        int64_t merges = 0;
        while (p_ != head_) {
            ++merges;
            startRuns(runLength);
            mergeRuns(ascending, compare);
            p_ = q_;
        }
        return merges;
    }

private:
    void startRuns(int64_t runLength) {
        q_ = p_;
        pLeft_ = 0;
        while (pLeft_ < runLength && q_ != head_) {
            ++pLeft_;
            q_ = q_->_succ;
        }
        qLeft_ = runLength;
    }

    // Equal values come from run p, which keeps the sort stable both ways.
    void mergeRuns(bool ascending, ovCompareFunction compare) {
        while (pLeft_ > 0 && qLeft_ > 0 && q_ != head_) {
            if (ordersAfter(compare(p_->_value, q_->_value), ascending))
                takeQ();
            else
                takeP();
        }
        while (pLeft_ > 0) takeP();
        while (qLeft_ > 0 && q_ != head_) takeQ();
    }

    void takeP() {
        TLink* link = p_;
        p_ = p_->_succ;
        --pLeft_;
        append(link);
    }

    void takeQ() {
        TLink* link = q_;
        q_ = q_->_succ;
        --qLeft_;
        append(link);
    }

    void append(TLink* link) {
        relinkUncounted(link->_pred, tail_);
        relinkUncounted(tail_->_succ, link);
        tail_ = link;
    }

    TLink* const head_;
    TLink* tail_;
    TLink* p_;
    TLink* q_;
    int64_t pLeft_ = 0;
    int64_t qLeft_ = 0;
};

// ---------------------------------------------------------------------------
// Scopes
// ---------------------------------------------------------------------------

constexpr ovScopeEntry linkEntries[] = {
    OV_FIELD_ENTRY(TLink, _value, ":Object"),
    OV_FIELD_ENTRY(TLink, _succ, ":TLink"),
    OV_FIELD_ENTRY(TLink, _pred, ":TLink"),
    OV_METHOD_ENTRY(TLinkClass, New, "()i"),
    OV_METHOD_ENTRY(TLinkClass, Delete, "()i"),
    OV_METHOD_ENTRY(TLinkClass, Value, "():Object"),
    OV_METHOD_ENTRY(TLinkClass, NextLink, "():TLink"),
    OV_METHOD_ENTRY(TLinkClass, PrevLink, "():TLink"),
    OV_METHOD_ENTRY(TLinkClass, Remove, "()i"),
    ovScopeEndEntry,
};

constexpr ovScopeEntry listEnumEntries[] = {
    OV_FIELD_ENTRY(TListEnum, _link, ":TLink"),
    OV_METHOD_ENTRY(TListEnumClass, New, "()i"),
    OV_METHOD_ENTRY(TListEnumClass, Delete, "()i"),
    OV_METHOD_ENTRY(TListEnumClass, HasNext, "()i"),
    OV_METHOD_ENTRY(TListEnumClass, NextObject, "():Object"),
    ovScopeEndEntry,
};

#define OV_LIST_METHOD(slot, type) OV_METHOD_ENTRY(TListClass, slot, type)

constexpr ovScopeEntry listEntries[] = {
    OV_FIELD_ENTRY(TList, _head, ":TLink"),
    OV_LIST_METHOD(New, "()i"),
    OV_LIST_METHOD(Delete, "()i"),
    OV_LIST_METHOD(_pad, "()i"),
    OV_LIST_METHOD(Clear, "()i"),
    OV_LIST_METHOD(IsEmpty, "()i"),
    OV_LIST_METHOD(Contains, "(:Object)i"),
    OV_LIST_METHOD(AddFirst, "(:Object):TLink"),
    OV_LIST_METHOD(AddLast, "(:Object):TLink"),
    OV_LIST_METHOD(First, "():Object"),
    OV_LIST_METHOD(Last, "():Object"),
    OV_LIST_METHOD(RemoveFirst, "():Object"),
    OV_LIST_METHOD(RemoveLast, "():Object"),
    OV_LIST_METHOD(FirstLink, "():TLink"),
    OV_LIST_METHOD(LastLink, "():TLink"),
    OV_LIST_METHOD(InsertBeforeLink, "(:Object,:TLink):TLink"),
    OV_LIST_METHOD(InsertAfterLink, "(:Object,:TLink):TLink"),
    OV_LIST_METHOD(FindLink, "(:Object):TLink"),
    OV_LIST_METHOD(ValueAtIndex, "(i):Object"),
    OV_LIST_METHOD(Count, "()i"),
    OV_LIST_METHOD(Remove, "(:Object)i"),
    OV_LIST_METHOD(Swap, "(:TList)i"),
    OV_LIST_METHOD(Copy, "():TList"),
    OV_LIST_METHOD(Reverse, "()i"),
    OV_LIST_METHOD(Reversed, "():TList"),
    OV_LIST_METHOD(Sort, "(i,(:Object,:Object)i)i"),
    OV_LIST_METHOD(ObjectEnumerator, "():TListEnum"),
    OV_LIST_METHOD(ToArray, "():[]:Object"),
    OV_FUNCTION_ENTRY(TListClass, FromArray, "([]:Object):TList"),
    ovScopeEndEntry,
};

#undef OV_LIST_METHOD

}  // namespace

constexpr ovScope TLinkScope = {OV_SCOPE_CLASS, "TLink", linkEntries};
constexpr ovScope TListEnumScope = {OV_SCOPE_CLASS, "TListEnum", listEnumEntries};
constexpr ovScope TListScope = {OV_SCOPE_CLASS, "TList", listEntries};

// ---------------------------------------------------------------------------
// TLink
// ---------------------------------------------------------------------------

int32_t TLinkNew(Object* object) {
    auto* self = ovChainNew<TLink, TLinkType>(object);
    self->_value.init(ovNull);
    self->_succ.init(ovNullLink());
    self->_pred.init(ovNullLink());
    return 0;
}

int32_t TLinkDelete(Object* object) {
    auto* self = static_cast<TLink*>(object);
    self->_pred.release();
    self->_succ.release();
    self->_value.release();
    return ovChainDelete<TLinkType>(object);
}

Object* TLinkValue(TLink* self) { return self->_value; }
TLink* TLinkNextLink(TLink* self) { return unlessHead(self->_succ); }
TLink* TLinkPrevLink(TLink* self) { return unlessHead(self->_pred); }

// The removed link keeps its own neighbours, so an enumerator standing on
// it goes on with the link that followed it.  Removing it again, or removing
// a link that was never in a list, would relink neighbours that have moved
// on; it does nothing instead.
int32_t TLinkRemove(TLink* self) {
    if (isHead(self) || !inRing(self)) return 0;
    self->_value.set(ovNull);
    self->_succ->_pred.set(self->_pred);
    self->_pred->_succ.set(self->_succ);
    return 0;
}

// ---------------------------------------------------------------------------
// TListEnum
// ---------------------------------------------------------------------------

int32_t TListEnumNew(Object* object) {
    ovChainNew<TListEnum, TListEnumType>(object)->_link.init(ovNullLink());
    return 0;
}

int32_t TListEnumDelete(Object* object) {
    static_cast<TListEnum*>(object)->_link.release();
    return ovChainDelete<TListEnumType>(object);
}

// A fresh enumerator, or one whose list was freed under it, has nothing left.
int32_t TListEnumHasNext(TListEnum* self) {
    TLink* link = self->_link;
    return link != ovNullLink() && !isHead(link) ? 1 : 0;
}

Object* TListEnumNextObject(TListEnum* self) {
    TLink* link = self->_link;
    if (link == ovNullLink()) RaiseNullObject();
    Object* value = link->_value;
    self->_link.set(link->_succ);
    return value;
}

// ---------------------------------------------------------------------------
// TList
// ---------------------------------------------------------------------------

int32_t TListNew(Object* object) {
    auto* self = ovChainNew<TList, TListType>(object);
    self->_head.init(ovNullLink());
    auto* head = ovNew<TLink>(&TLinkType);
    self->_head.set(head);
    head->_succ.set(head);
    head->_pred.set(head);
    head->_value.set(head);
    return 0;
}

// Clearing the list and then the head's fields breaks the ring, the one
// cycle the collector could not free on its own.
int32_t TListDelete(Object* object) {
    auto* self = static_cast<TList*>(object);
    self->Clear();
    TLink* head = self->_head;
    head->_value.set(ovNull);
    head->_succ.set(ovNullLink());
    head->_pred.set(ovNullLink());
    self->_head.release();
    return ovChainDelete<TListType>(object);
}

int32_t TList_pad(TList*) { return 0; }

int32_t TListClear(TList* self) {
    TLink* head = self->_head;
    while (head->_succ.get() != head) head->_succ->Remove();
    return 0;
}

int32_t TListIsEmpty(TList* self) { return self->_head->_succ.get() == self->_head.get() ? 1 : 0; }
int32_t TListContains(TList* self, Object* value) { return findLink(self, value) != ovNullLink() ? 1 : 0; }

TLink* TListAddFirst(TList* self, Object* value) { return self->InsertAfterLink(value, self->_head); }
TLink* TListAddLast(TList* self, Object* value) { return self->InsertBeforeLink(value, self->_head); }

Object* TListFirst(TList* self) { return valueOf(firstLink(self)); }
Object* TListLast(TList* self) { return valueOf(lastLink(self)); }
Object* TListRemoveFirst(TList* self) { return removeValueOf(firstLink(self)); }
Object* TListRemoveLast(TList* self) { return removeValueOf(lastLink(self)); }
TLink* TListFirstLink(TList* self) { return firstLink(self); }
TLink* TListLastLink(TList* self) { return lastLink(self); }

TLink* TListInsertBeforeLink(TList*, Object* value, TLink* link) {
    requireInRing(link);
    return newLinkBetween(value, link->_pred, link);
}

TLink* TListInsertAfterLink(TList*, Object* value, TLink* link) {
    requireInRing(link);
    return newLinkBetween(value, link, link->_succ);
}

TLink* TListFindLink(TList* self, Object* value) { return findLink(self, value); }

Object* TListValueAtIndex(TList* self, int32_t index) {
    if (index >= 0) {
        for (TLink* link : *self)
            if (index-- == 0) return link->_value;
    }
    RaiseRuntimeError(ovLiteral(u"List index out of range"));
}

int32_t TListCount(TList* self) { return countLinks(self); }

int32_t TListRemove(TList* self, Object* value) {
    TLink* link = self->FindLink(value);
    if (link == ovNullLink()) return 0;
    link->Remove();
    return 1;
}

int32_t TListSwap(TList* self, TList* other) {
    if (other == ovNullList()) RaiseNullObject();
    TLink* head = self->_head;
    self->_head.set(other->_head);
    other->_head.set(head);
    return 0;
}

TList* TListCopy(TList* self) {
    TList* copy = ListNew();
    for (TLink* link : *self) copy->AddLast(link->_value);
    return copy;
}

int32_t TListReverse(TList* self) {
    TLink* head = self->_head;
    TLink* link = head;
    do {
        exchangeNeighbours(link);
        link = link->_pred;  // the successor before the exchange
    } while (link != head);
    return 0;
}

TList* TListReversed(TList* self) {
    TList* reversed = ListNew();
    for (TLink* link : *self) reversed->AddFirst(link->_value);
    return reversed;
}

int32_t TListSort(TList* self, int32_t ascending, ovCompareFunction compare) {
    if (compare == nullptr) RaiseNullFunction();
    TLink* head = self->_head;
    for (int64_t runLength = 1;; runLength *= 2) {
        MergePass pass(head);
        if (pass.run(runLength, ascending != 0, compare) <= 1) return 0;
    }
}

TListEnum* TListObjectEnumerator(TList* self) {
    auto* enumerator = ovNew<TListEnum>(&TListEnumType);
    enumerator->_link.set(self->_head->_succ);
    return enumerator;
}

Array* TListToArray(TList* self) {
    Array* array = ovArrayNew1D(":Object", countLinks(self));
    Object** elements = array->elements<Object*>();
    int32_t i = 0;
    for (TLink* link : *self) ovStore(elements[i++], link->_value.get());
    return array;
}

TList* TListFromArray(Array* array) {
    TList* list = ListNew();
    const int32_t count = array->count();
    for (int32_t i = 0; i < count; ++i) list->AddLast(array->elements<Object*>()[i]);
    ovKeepAlive(array);
    return list;
}

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

namespace {

constexpr int32_t zeroAfter(int32_t) { return 0; }

}  // namespace

int32_t ObjectOrder(Object* a, Object* b) { return a->Compare(b); }
TList* ListNew() { return ovNew<TList>(&TListType); }
int32_t ListClear(TList* list) { return zeroAfter(list->Clear()); }
int32_t ListCount(TList* list) { return list->Count(); }
int32_t ListEmpty(TList* list) { return list->IsEmpty(); }
int32_t ListHas(TList* list, Object* value) { return list->Contains(value); }
int32_t ListSort(TList* list, int32_t ascending, ovCompareFunction compare) {
    return zeroAfter(list->Sort(ascending, compare));
}
TList* ListOfArray(Array* array) { return TListType.FromArray(array); }
Array* ListAsArray(TList* list) { return list->ToArray(); }
int32_t ListSwap(TList* list, TList* other) { return zeroAfter(list->Swap(other)); }
int32_t ListReverse(TList* list) { return zeroAfter(list->Reverse()); }
TLink* ListLinkOf(TList* list, Object* value) { return list->FindLink(value); }
TLink* ListAppend(TList* list, Object* value) { return list->AddLast(value); }
TLink* ListPrepend(TList* list, Object* value) { return list->AddFirst(value); }
int32_t ListDelete(TList* list, Object* value) { return zeroAfter(list->Remove(value)); }
int32_t LinkDelete(TLink* link) { return zeroAfter(link->Remove()); }

void ovLinkedListModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovObjectRegisterTypes({&TLinkType, &TListEnumType, &TListType});
    });
}
