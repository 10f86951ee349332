// The linked list, its links and its enumerator.
#include "collections/list.h"

#include <utility>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "runtime/string.h"

namespace {

// The head is the one link whose value is itself.
bool isHead(TLink* link) { return link != ovNullOf<TLink>() && link->_value.get() == link; }

// A neighbour as the links show it: the Null object in place of the head.
TLink* unlessHead(TLink* link) { return isHead(link) ? ovNullOf<TLink>() : link; }

// True for a link that both neighbours point back at: an element or the head
// of a list, not a fresh link nor one already removed.
bool inRing(TLink* link) {
    TLink* succ = link->_succ;
    TLink* pred = link->_pred;
    return succ != ovNullOf<TLink>() && pred != ovNullOf<TLink>() && succ->_pred.get() == link &&
           pred->_succ.get() == link;
}

// A new link goes only beside a link of some list: beside a removed or fresh
// one it would be half linked, and its neighbours' fields may not exist.
void requireInRing(TLink* link) {
    if (link == ovNullOf<TLink>()) RaiseNullObject();
    if (!inRing(link)) RaiseRuntimeError(ovLiteral(u"Link is not in a list"));
}

// TLink's New with the link's first value and neighbours.
TLink* constructLink(Object* object, Object* value, TLink* succ, TLink* pred) {
    auto* link = ovChainNew<TLink, TLinkType>(object);
    link->_value.init(value);
    link->_succ.init(succ);
    link->_pred.init(pred);
    return link;
}

// A new link between the two, constructed with its value and neighbours
// rather than constructed empty and then set, which would count the Null
// object into three fields and out again for every link.
TLink* newLinkBetween(Object* value, TLink* pred, TLink* succ) {
    TLink* link = constructLink(ovGCAllocObject(TLinkType.size, &TLinkType), value, succ, pred);
    pred->_succ.set(link);
    succ->_pred.set(link);
    return link;
}

TLink* firstLink(TList* self) { return self->IsEmpty() ? ovNullOf<TLink>() : self->_head->_succ.get(); }
TLink* lastLink(TList* self) { return self->IsEmpty() ? ovNullOf<TLink>() : self->_head->_pred.get(); }

Object* valueOf(TLink* link) { return link == ovNullOf<TLink>() ? ovNull : link->_value.get(); }

Object* removeValueOf(TLink* link) {
    Object* value = valueOf(link);
    if (link != ovNullOf<TLink>()) link->Remove();
    return value;
}

TLink* findLink(TList* self, Object* value) {
    for (TLink* link : *self)
        if (link->_value->Compare(value) == 0) return link;
    return ovNullOf<TLink>();
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
// way, queueing live links for the collector.  While Sort runs, the runs it
// merges end in a null pointer; the ring is whole again before it returns or
// throws.
void relinkUncounted(ovRef<TLink>& field, TLink* link) { field.ptr = link; }
void exchangeNeighbours(TLink* link) { std::swap(link->_succ.ptr, link->_pred.ptr); }

// "result times sign is greater than 0", without overflowing at INT32_MIN.
bool ordersAfter(int32_t result, bool ascending) { return ascending ? result > 0 : result < 0; }

// Sorted links chained through _succ and ended by a null pointer; their
// _pred fields are right but for the first link's.
struct Run {
    TLink* first = nullptr;
    TLink* last = nullptr;

    bool empty() const { return first == nullptr; }
};

// The stable merge sort of a ring: the merges of the bottom-up merge of runs
// (runs of 1, 2, 4, ... links from the front, each pair merged, earlier run
// first, a short last run carried up), made depth first as a binary counter:
// level k holds a run of 2^k links, and each link taken from the ring is
// merged up through the levels it completes.  The merges, and the comparisons
// within each, are those of a pass-by-pass sort; only their order differs, so
// that each merge works on links the previous ones just touched and a long
// list stays in the cache.  Equal values come from the earlier run, which
// keeps the sort stable in both directions.
class RingSorter {
public:
    RingSorter(TLink* head, bool ascending, ovCompareFunction compare)
        : head_(head), next_(head->_succ), ascending_(ascending), compare_(compare) {}

    // Joins the pieces into the ring.  After a whole sort the one piece is
    // the sorted run; when the comparison throws, the pieces (levels, the
    // merge under way, the links not yet taken) follow each other as they
    // stand, so the list holds every element again before the exception goes
    // on.
    ~RingSorter() { joinIntoRing(); }

    RingSorter(const RingSorter&) = delete;
    RingSorter& operator=(const RingSorter&) = delete;

    void sort() {
        while (next_ != head_) {
            carry_ = takeNext();
            size_t level = 0;
            for (; !levels_[level].empty(); ++level) mergeIntoCarry(levels_[level]);
            levels_[level] = std::exchange(carry_, Run{});
        }
        for (Run& run : levels_) {
            if (run.empty()) continue;
            if (carry_.empty())
                carry_ = std::exchange(run, Run{});
            else
                mergeIntoCarry(run);
        }
    }

private:
    Run takeNext() {
        TLink* link = next_;
        next_ = link->_succ;
        relinkUncounted(link->_succ, nullptr);
        return {link, link};
    }

    // Merges the earlier run with the carry into the carry.
    void mergeIntoCarry(Run& earlier) {
        left_ = std::exchange(earlier, Run{});
        right_ = std::exchange(carry_, Run{});
        while (!left_.empty() && !right_.empty()) {
            if (ordersAfter(compare_(left_.first->_value, right_.first->_value), ascending_))
                append(takeFirst(right_));
            else
                append(takeFirst(left_));
        }
        appendRun(std::exchange(left_, Run{}));
        appendRun(std::exchange(right_, Run{}));
        carry_ = std::exchange(merged_, Run{});
    }

    static TLink* takeFirst(Run& run) {
        TLink* link = run.first;
        run.first = link->_succ;
        return link;
    }

    void append(TLink* link) {
        if (merged_.empty()) {
            merged_.first = link;
        } else {
            relinkUncounted(merged_.last->_succ, link);
            relinkUncounted(link->_pred, merged_.last);
        }
        merged_.last = link;
    }

    // Appends a whole run, which keeps its own links and its null end.
    void appendRun(const Run& run) {
        if (run.empty()) return;
        append(run.first);
        merged_.last = run.last;
    }

    void joinIntoRing() {
        TLink* tail = head_;
        const auto attach = [&tail](const Run& run) {
            if (run.empty()) return;
            relinkUncounted(tail->_succ, run.first);
            relinkUncounted(run.first->_pred, tail);
            tail = run.last;
        };
        if (next_ != head_) attach({next_, head_->_pred});
        attach(merged_);
        attach(left_);
        attach(right_);
        attach(carry_);
        for (const Run& run : levels_) attach(run);
        relinkUncounted(tail->_succ, head_);
        relinkUncounted(head_->_pred, tail);
    }

    TLink* const head_;
    TLink* next_;  // the first link not yet taken; the head when all are
    const bool ascending_;
    const ovCompareFunction compare_;
    Run levels_[64];
    Run carry_;
    Run left_, right_, merged_;  // the merge under way
};

// ---------------------------------------------------------------------------
// Scopes
// ---------------------------------------------------------------------------

constexpr ovScopeEntry linkEntries[] = {
    OV_FIELD_ENTRY(TLink, _value, ":Object"),
    OV_FIELD_ENTRY(TLink, _succ, ":TLink"),
    OV_FIELD_ENTRY(TLink, _pred, ":TLink"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_LINK_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry,
};

constexpr ovScopeEntry listEnumEntries[] = {
    OV_FIELD_ENTRY(TListEnum, _link, ":TLink"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_LIST_ENUM_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry,
};

constexpr ovScopeEntry listEntries[] = {
    OV_FIELD_ENTRY(TList, _head, ":TLink"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_LIST_OPERATIONS(OV_LISTED_ENTRY) OV_LIST_FUNCTIONS(OV_LISTED_FUNCTION_ENTRY) ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TLinkScope = {OV_SCOPE_CLASS, "TLink", linkEntries};
constexpr ovScope TListEnumScope = {OV_SCOPE_CLASS, "TListEnum", listEnumEntries};
constexpr ovScope TListScope = {OV_SCOPE_CLASS, "TList", listEntries};

// ---------------------------------------------------------------------------
// TLink
// ---------------------------------------------------------------------------

int32_t TLinkNew(Object* object) {
    constructLink(object, ovNull, ovNullOf<TLink>(), ovNullOf<TLink>());
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
    ovChainNew<TListEnum, TListEnumType>(object)->_link.init(ovNullOf<TLink>());
    return 0;
}

int32_t TListEnumDelete(Object* object) {
    static_cast<TListEnum*>(object)->_link.release();
    return ovChainDelete<TListEnumType>(object);
}

// A fresh enumerator, or one whose list was freed under it, has nothing left.
int32_t TListEnumHasNext(TListEnum* self) {
    TLink* link = self->_link;
    return link != ovNullOf<TLink>() && !isHead(link) ? 1 : 0;
}

Object* TListEnumNextObject(TListEnum* self) {
    TLink* link = self->_link;
    if (link == ovNullOf<TLink>()) RaiseNullObject();
    Object* value = link->_value;
    self->_link.set(link->_succ);
    return value;
}

// ---------------------------------------------------------------------------
// TList
// ---------------------------------------------------------------------------

int32_t TListNew(Object* object) {
    auto* self = ovChainNew<TList, TListType>(object);
    self->_head.init(ovNullOf<TLink>());
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
    head->_succ.set(ovNullOf<TLink>());
    head->_pred.set(ovNullOf<TLink>());
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
int32_t TListContains(TList* self, Object* value) { return findLink(self, value) != ovNullOf<TLink>() ? 1 : 0; }

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
    if (link == ovNullOf<TLink>()) return 0;
    link->Remove();
    return 1;
}

int32_t TListSwap(TList* self, TList* other) {
    if (other == ovNullOf<TList>()) RaiseNullObject();
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
    RingSorter sorter(self->_head, ascending != 0, compare);
    sorter.sort();
    return 0;
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

// Only an array of references holds values a list can take; the one array
// without elements has no element kind at all.
TList* TListFromArray(Array* array) {
    if (array != &ovEmptyArray && !ovArrayTagIsCounted(array->tag))
        RaiseRuntimeError(ovLiteral(u"List values must come from an array of references"));
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
