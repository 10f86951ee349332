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
// Operations
// ---------------------------------------------------------------------------

// TLink's operations, in slot order (see "Lists of operations" in
// runtime/object.h).  Value is Null for a removed link; NextLink and
// PrevLink give the neighbour, or the Null object where it is the head.
// Remove takes the link out of its list (its value becomes the Null
// object); a link that is in no list, or the head, is left alone.
#define OV_LINK_OPERATIONS(X)                      \
    X(TLink, Object*, Value, (), (), "():Object")  \
    X(TLink, TLink*, NextLink, (), (), "():TLink") \
    X(TLink, TLink*, PrevLink, (), (), "():TLink") \
    X(TLink, int32_t, Remove, (), (), "()i")

#define OV_LIST_ENUM_OPERATIONS(X)                \
    X(TListEnum, int32_t, HasNext, (), (), "()i") \
    X(TListEnum, Object*, NextObject, (), (), "():Object")

// TList's operations.  Contains is 1 when an element's Compare with the
// value (element first) gives 0: identity for plain objects, equal text for
// Strings.  AddFirst and AddLast give the new link.  First, Last,
// RemoveFirst and RemoveLast give the Null object when the list is empty.
// InsertBeforeLink and InsertAfterLink give a new link for the value beside
// the link, which may belong to any list; a Null link raises
// TNullObjectException.  FindLink gives the first link whose value compares
// equal, or the Null object.  ValueAtIndex raises "List index out of range"
// outside 0 .. Count - 1.  Remove removes the first element that compares
// equal; 1 if there was one.  Swap exchanges the two lists' elements.  Copy
// and Reversed give new lists sharing the values: in order, and in reverse
// order.  Sort is a stable merge sort in place, ascending when the flag is
// non-zero; it relinks the links and allocates nothing.  Should the
// comparison throw, the list holds every element again (in no particular
// order) before the exception leaves Sort.  The comparison must not change
// the list.  ToArray gives a ":Object" array of the values in order;
// ovEmptyArray when empty.
#define OV_LIST_OPERATIONS(X)                                                                                   \
    X(TList, int32_t, _pad, (), (), "()i")                                                                      \
    X(TList, int32_t, Clear, (), (), "()i")                                                                     \
    X(TList, int32_t, IsEmpty, (), (), "()i")                                                                   \
    X(TList, int32_t, Contains, (Object * value), (value), "(:Object)i")                                        \
    X(TList, TLink*, AddFirst, (Object * value), (value), "(:Object):TLink")                                    \
    X(TList, TLink*, AddLast, (Object * value), (value), "(:Object):TLink")                                     \
    X(TList, Object*, First, (), (), "():Object")                                                               \
    X(TList, Object*, Last, (), (), "():Object")                                                                \
    X(TList, Object*, RemoveFirst, (), (), "():Object")                                                         \
    X(TList, Object*, RemoveLast, (), (), "():Object")                                                          \
    X(TList, TLink*, FirstLink, (), (), "():TLink")                                                             \
    X(TList, TLink*, LastLink, (), (), "():TLink")                                                              \
    X(TList, TLink*, InsertBeforeLink, (Object * value, TLink * link), (value, link), "(:Object,:TLink):TLink") \
    X(TList, TLink*, InsertAfterLink, (Object * value, TLink * link), (value, link), "(:Object,:TLink):TLink")  \
    X(TList, TLink*, FindLink, (Object * value), (value), "(:Object):TLink")                                    \
    X(TList, Object*, ValueAtIndex, (int32_t index), (index), "(i):Object")                                     \
    X(TList, int32_t, Count, (), (), "()i")                                                                     \
    X(TList, int32_t, Remove, (Object * value), (value), "(:Object)i")                                          \
    X(TList, int32_t, Swap, (TList * other), (other), "(:TList)i")                                              \
    X(TList, TList*, Copy, (), (), "():TList")                                                                  \
    X(TList, int32_t, Reverse, (), (), "()i")                                                                   \
    X(TList, TList*, Reversed, (), (), "():TList")                                                              \
    X(TList, int32_t, Sort, (int32_t ascending, ovCompareFunction compare), (ascending, compare),               \
      "(i,(:Object,:Object)i)i")                                                                                \
    X(TList, TListEnum*, ObjectEnumerator, (), (), "():TListEnum")                                              \
    X(TList, Array*, ToArray, (), (), "():[]:Object")

// The class function: a new list of the array's elements in index order; an
// array whose elements are not references raises a runtime error.
#define OV_LIST_FUNCTIONS(X) X(TList, TList*, FromArray, (Array * array), (array), "([]:Object):TList")

// ---------------------------------------------------------------------------
// Class records
// ---------------------------------------------------------------------------

struct TLinkClass : ObjectClass {
    OV_LINK_OPERATIONS(OV_SLOT)
};

struct TListEnumClass : ObjectClass {
    OV_LIST_ENUM_OPERATIONS(OV_SLOT)
};

struct TListClass : ObjectClass {
    OV_LIST_OPERATIONS(OV_SLOT)
    OV_LIST_FUNCTIONS(OV_FUNCTION_SLOT)
};

// ---------------------------------------------------------------------------
// Instances
// ---------------------------------------------------------------------------

// One element of a list, or its head (whose _value is the head itself).
struct TLink : Object {
    ovRef<Object> _value;
    ovRef<TLink> _succ;  // the head after the last element
    ovRef<TLink> _pred;  // the head before the first element

    OV_LINK_OPERATIONS(OV_DISPATCH)
};

struct TListEnum : Object {
    ovRef<TLink> _link;  // the link whose value comes next

    OV_LIST_ENUM_OPERATIONS(OV_DISPATCH)
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

    OV_LIST_OPERATIONS(OV_DISPATCH)
};

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

int32_t TLinkNew(Object* self);
// Releases _pred, _succ and _value, in that order.
int32_t TLinkDelete(Object* self);
OV_LINK_OPERATIONS(OV_DECLARE_OWN)

int32_t TListEnumNew(Object* self);
int32_t TListEnumDelete(Object* self);
OV_LIST_ENUM_OPERATIONS(OV_DECLARE_OWN)

int32_t TListNew(Object* self);
int32_t TListDelete(Object* self);
OV_LIST_OPERATIONS(OV_DECLARE_OWN)
OV_LIST_FUNCTIONS(OV_DECLARE_OWN_FUNCTION)

extern const ovScope TLinkScope, TListEnumScope, TListScope;
extern const TLinkClass TLinkType;
extern const TListEnumClass TListEnumType;
extern const TListClass TListType;

inline constexpr TLinkClass TLinkType = ovMakeClass<TLinkClass, TLink>(ObjectType, &TLinkScope, [](auto& r) {
    r.New = TLinkNew;
    r.Delete = TLinkDelete;
    OV_LINK_OPERATIONS(OV_FILL_OWN)
});

inline constexpr TListEnumClass TListEnumType =
    ovMakeClass<TListEnumClass, TListEnum>(ObjectType, &TListEnumScope, [](auto& r) {
        r.New = TListEnumNew;
        r.Delete = TListEnumDelete;
        OV_LIST_ENUM_OPERATIONS(OV_FILL_OWN)
    });

inline constexpr TListClass TListType = ovMakeClass<TListClass, TList>(ObjectType, &TListScope, [](auto& r) {
    r.New = TListNew;
    r.Delete = TListDelete;
    OV_LIST_OPERATIONS(OV_FILL_OWN)
    OV_LIST_FUNCTIONS(OV_FILL_OWN)
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
