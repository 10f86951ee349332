// The linked list: a circular doubly linked list of objects around a sentinel
// head link, its enumerator, a stable merge sort by a comparison function,
// conversion to and from object arrays, and module functions that forward to
// the methods.
//
// Every link holds counted references to its value and both neighbours, and
// the head's value is the head itself, so the ring is a cycle that the
// collector alone would never free: a list's Delete breaks it by removing
// every element and clearing the head.  A removed link keeps its own
// neighbours, so an enumerator (or a C++ range-for, see ovLinkIterator)
// standing on it still reaches the link that followed it.
#pragma once

#include <cstdint>

#include "runtime/array.h"
#include "runtime/object.h"

struct TLink;
struct TListEnum;
struct TList;

// A comparison for Sort: negative, zero or positive as a orders before, with
// or after b.
using ovCompareFunction = int32_t (*)(Object* a, Object* b);

// ---------------------------------------------------------------------------
// Class records
// ---------------------------------------------------------------------------

struct TLinkClass : ObjectClass {
    Object* (*Value)(TLink* self);
    TLink* (*NextLink)(TLink* self);
    TLink* (*PrevLink)(TLink* self);
    int32_t (*Remove)(TLink* self);
};

struct TListEnumClass : ObjectClass {
    int32_t (*HasNext)(TListEnum* self);
    Object* (*NextObject)(TListEnum* self);
};

struct TListClass : ObjectClass {
    int32_t (*_pad)(TList* self);
    int32_t (*Clear)(TList* self);
    int32_t (*IsEmpty)(TList* self);
    int32_t (*Contains)(TList* self, Object* value);
    TLink* (*AddFirst)(TList* self, Object* value);
    TLink* (*AddLast)(TList* self, Object* value);
    Object* (*First)(TList* self);
    Object* (*Last)(TList* self);
    Object* (*RemoveFirst)(TList* self);
    Object* (*RemoveLast)(TList* self);
    TLink* (*FirstLink)(TList* self);
    TLink* (*LastLink)(TList* self);
    TLink* (*InsertBeforeLink)(TList* self, Object* value, TLink* link);
    TLink* (*InsertAfterLink)(TList* self, Object* value, TLink* link);
    TLink* (*FindLink)(TList* self, Object* value);
    Object* (*ValueAtIndex)(TList* self, int32_t index);
    int32_t (*Count)(TList* self);
    int32_t (*Remove)(TList* self, Object* value);
    int32_t (*Swap)(TList* self, TList* other);
    TList* (*Copy)(TList* self);
    int32_t (*Reverse)(TList* self);
    TList* (*Reversed)(TList* self);
    int32_t (*Sort)(TList* self, int32_t ascending, ovCompareFunction compare);
    TListEnum* (*ObjectEnumerator)(TList* self);
    Array* (*ToArray)(TList* self);
    TList* (*FromArray)(Array* array);  // class function
};

// ---------------------------------------------------------------------------
// Instances
// ---------------------------------------------------------------------------

// One element of a list, or its head (whose _value is the head itself).
struct TLink : Object {
    ovRef<Object> _value;
    ovRef<TLink> _succ;  // the head after the last element
    ovRef<TLink> _pred;  // the head before the first element

    // The value, Null for a removed link.
    inline Object* Value();
    // The neighbour, or the Null object where it is the head.
    inline TLink* NextLink();
    inline TLink* PrevLink();
    // Takes the link out of its list (its value becomes the Null object);
    // a link that is in no list, or the head, is left alone.
    inline int32_t Remove();
};

struct TListEnum : Object {
    ovRef<TLink> _link;  // the link whose value comes next

    inline int32_t HasNext();
    inline Object* NextObject();
};

// Walks a list's links front to back for C++ callers:
//
//     for (TLink* link : *list) use(link->_value);
//
// It steps from a link to the one that followed it, as the enumerator does,
// so the body may Remove the link it was handed.
class ovLinkIterator {
public:
    explicit ovLinkIterator(TLink* link) : link_(link) {}
    TLink* operator*() const { return link_; }
    ovLinkIterator& operator++() {
        link_ = link_->_succ;
        return *this;
    }
    bool operator==(const ovLinkIterator& other) const { return link_ == other.link_; }

private:
    TLink* link_;
};

struct TList : Object {
    ovRef<TLink> _head;

    ovLinkIterator begin() const { return ovLinkIterator(_head->_succ); }
    ovLinkIterator end() const { return ovLinkIterator(_head); }

    inline int32_t Clear();
    inline int32_t IsEmpty();
    // 1 when an element's Compare with the value (element first) gives 0:
    // identity for plain objects, equal text for Strings.
    inline int32_t Contains(Object* value);
    // The new link.
    inline TLink* AddFirst(Object* value);
    inline TLink* AddLast(Object* value);
    // The Null object when the list is empty.
    inline Object* First();
    inline Object* Last();
    inline Object* RemoveFirst();
    inline Object* RemoveLast();
    inline TLink* FirstLink();
    inline TLink* LastLink();
    // A new link for the value beside the link, which may belong to any list;
    // a Null link raises TNullObjectException.
    inline TLink* InsertBeforeLink(Object* value, TLink* link);
    inline TLink* InsertAfterLink(Object* value, TLink* link);
    // The first link whose value compares equal, or the Null object.
    inline TLink* FindLink(Object* value);
    // Raises "List index out of range" outside 0 .. Count - 1.
    inline Object* ValueAtIndex(int32_t index);
    inline int32_t Count();
    // Removes the first element that compares equal; 1 if there was one.
    inline int32_t Remove(Object* value);
    // Exchanges the two lists' elements.
    inline int32_t Swap(TList* other);
    // New lists sharing the values: in order, and in reverse order.
    inline TList* Copy();
    inline int32_t Reverse();
    inline TList* Reversed();
    // Stable merge sort in place, ascending when the flag is non-zero.  It
    // relinks the links and allocates nothing.  Should the comparison throw,
    // the list holds every element again (in no particular order) before the
    // exception leaves Sort.  The comparison must not change the list.
    inline int32_t Sort(int32_t ascending, ovCompareFunction compare);
    inline TListEnum* ObjectEnumerator();
    // A ":Object" array of the values in order; ovEmptyArray when empty.
    inline Array* ToArray();
};

inline Object* TLink::Value() { return record<TLinkClass>()->Value(this); }
inline TLink* TLink::NextLink() { return record<TLinkClass>()->NextLink(this); }
inline TLink* TLink::PrevLink() { return record<TLinkClass>()->PrevLink(this); }
inline int32_t TLink::Remove() { return record<TLinkClass>()->Remove(this); }

inline int32_t TListEnum::HasNext() { return record<TListEnumClass>()->HasNext(this); }
inline Object* TListEnum::NextObject() { return record<TListEnumClass>()->NextObject(this); }

inline int32_t TList::Clear() { return record<TListClass>()->Clear(this); }
inline int32_t TList::IsEmpty() { return record<TListClass>()->IsEmpty(this); }
inline int32_t TList::Contains(Object* value) { return record<TListClass>()->Contains(this, value); }
inline TLink* TList::AddFirst(Object* value) { return record<TListClass>()->AddFirst(this, value); }
inline TLink* TList::AddLast(Object* value) { return record<TListClass>()->AddLast(this, value); }
inline Object* TList::First() { return record<TListClass>()->First(this); }
inline Object* TList::Last() { return record<TListClass>()->Last(this); }
inline Object* TList::RemoveFirst() { return record<TListClass>()->RemoveFirst(this); }
inline Object* TList::RemoveLast() { return record<TListClass>()->RemoveLast(this); }
inline TLink* TList::FirstLink() { return record<TListClass>()->FirstLink(this); }
inline TLink* TList::LastLink() { return record<TListClass>()->LastLink(this); }
inline TLink* TList::InsertBeforeLink(Object* value, TLink* link) {
    return record<TListClass>()->InsertBeforeLink(this, value, link);
}
inline TLink* TList::InsertAfterLink(Object* value, TLink* link) {
    return record<TListClass>()->InsertAfterLink(this, value, link);
}
inline TLink* TList::FindLink(Object* value) { return record<TListClass>()->FindLink(this, value); }
inline Object* TList::ValueAtIndex(int32_t index) { return record<TListClass>()->ValueAtIndex(this, index); }
inline int32_t TList::Count() { return record<TListClass>()->Count(this); }
inline int32_t TList::Remove(Object* value) { return record<TListClass>()->Remove(this, value); }
inline int32_t TList::Swap(TList* other) { return record<TListClass>()->Swap(this, other); }
inline TList* TList::Copy() { return record<TListClass>()->Copy(this); }
inline int32_t TList::Reverse() { return record<TListClass>()->Reverse(this); }
inline TList* TList::Reversed() { return record<TListClass>()->Reversed(this); }
inline int32_t TList::Sort(int32_t ascending, ovCompareFunction compare) {
    return record<TListClass>()->Sort(this, ascending, compare);
}
inline TListEnum* TList::ObjectEnumerator() { return record<TListClass>()->ObjectEnumerator(this); }
inline Array* TList::ToArray() { return record<TListClass>()->ToArray(this); }

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

int32_t TLinkNew(Object* self);
// Releases _pred, _succ and _value, in that order.
int32_t TLinkDelete(Object* self);
Object* TLinkValue(TLink* self);
TLink* TLinkNextLink(TLink* self);
TLink* TLinkPrevLink(TLink* self);
int32_t TLinkRemove(TLink* self);

int32_t TListEnumNew(Object* self);
int32_t TListEnumDelete(Object* self);
int32_t TListEnumHasNext(TListEnum* self);
Object* TListEnumNextObject(TListEnum* self);

int32_t TListNew(Object* self);
int32_t TListDelete(Object* self);
int32_t TList_pad(TList* self);
int32_t TListClear(TList* self);
int32_t TListIsEmpty(TList* self);
int32_t TListContains(TList* self, Object* value);
TLink* TListAddFirst(TList* self, Object* value);
TLink* TListAddLast(TList* self, Object* value);
Object* TListFirst(TList* self);
Object* TListLast(TList* self);
Object* TListRemoveFirst(TList* self);
Object* TListRemoveLast(TList* self);
TLink* TListFirstLink(TList* self);
TLink* TListLastLink(TList* self);
TLink* TListInsertBeforeLink(TList* self, Object* value, TLink* link);
TLink* TListInsertAfterLink(TList* self, Object* value, TLink* link);
TLink* TListFindLink(TList* self, Object* value);
Object* TListValueAtIndex(TList* self, int32_t index);
int32_t TListCount(TList* self);
int32_t TListRemove(TList* self, Object* value);
int32_t TListSwap(TList* self, TList* other);
TList* TListCopy(TList* self);
int32_t TListReverse(TList* self);
TList* TListReversed(TList* self);
int32_t TListSort(TList* self, int32_t ascending, ovCompareFunction compare);
TListEnum* TListObjectEnumerator(TList* self);
Array* TListToArray(TList* self);
// A new list of the array's elements in index order; an array of numbers raises a runtime error.
TList* TListFromArray(Array* array);

extern const ovScope TLinkScope, TListEnumScope, TListScope;
extern const TLinkClass TLinkType;
extern const TListEnumClass TListEnumType;
extern const TListClass TListType;

inline constexpr TLinkClass TLinkType = ovMakeClass<TLinkClass, TLink>(ObjectType, &TLinkScope, [](auto& r) {
    r.New = TLinkNew;
    r.Delete = TLinkDelete;
    r.Value = TLinkValue;
    r.NextLink = TLinkNextLink;
    r.PrevLink = TLinkPrevLink;
    r.Remove = TLinkRemove;
});

inline constexpr TListEnumClass TListEnumType =
    ovMakeClass<TListEnumClass, TListEnum>(ObjectType, &TListEnumScope, [](auto& r) {
        r.New = TListEnumNew;
        r.Delete = TListEnumDelete;
        r.HasNext = TListEnumHasNext;
        r.NextObject = TListEnumNextObject;
    });

inline constexpr TListClass TListType = ovMakeClass<TListClass, TList>(ObjectType, &TListScope, [](auto& r) {
    r.New = TListNew;
    r.Delete = TListDelete;
    r._pad = TList_pad;
    r.Clear = TListClear;
    r.IsEmpty = TListIsEmpty;
    r.Contains = TListContains;
    r.AddFirst = TListAddFirst;
    r.AddLast = TListAddLast;
    r.First = TListFirst;
    r.Last = TListLast;
    r.RemoveFirst = TListRemoveFirst;
    r.RemoveLast = TListRemoveLast;
    r.FirstLink = TListFirstLink;
    r.LastLink = TListLastLink;
    r.InsertBeforeLink = TListInsertBeforeLink;
    r.InsertAfterLink = TListInsertAfterLink;
    r.FindLink = TListFindLink;
    r.ValueAtIndex = TListValueAtIndex;
    r.Count = TListCount;
    r.Remove = TListRemove;
    r.Swap = TListSwap;
    r.Copy = TListCopy;
    r.Reverse = TListReverse;
    r.Reversed = TListReversed;
    r.Sort = TListSort;
    r.ObjectEnumerator = TListObjectEnumerator;
    r.ToArray = TListToArray;
    r.FromArray = TListFromArray;
});

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------
//
// Each calls the method through the list's (or link's) class record, so a
// subclass's overrides take effect.

// a.Compare(b): a comparison for Sort (address order for plain objects).
int32_t ObjectOrder(Object* a, Object* b);
TList* ListNew();
int32_t ListClear(TList* list);
int32_t ListCount(TList* list);
int32_t ListEmpty(TList* list);
int32_t ListHas(TList* list, Object* value);
int32_t ListSort(TList* list, int32_t ascending, ovCompareFunction compare);
TList* ListOfArray(Array* array);
Array* ListAsArray(TList* list);
int32_t ListSwap(TList* list, TList* other);
int32_t ListReverse(TList* list);
TLink* ListLinkOf(TList* list, Object* value);
TLink* ListAppend(TList* list, Object* value);
TLink* ListPrepend(TList* list, Object* value);
int32_t ListDelete(TList* list, Object* value);
int32_t LinkDelete(TLink* link);

// The list module's initialiser: runs the core module's initialiser and
// registers TLink, TListEnum and TList, once.
void ovLinkedListModuleInit();
