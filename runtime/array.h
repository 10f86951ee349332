// Typed arrays: one object holding a header and the elements of one element
// type, with one or more dimensions stored as one flat sequence.
//
// Layout of an array with d dimensions:
//
//   offset  0  class record (ArrayType), 8 bytes
//           8  reference count, 4 bytes padding
//          16  element tag: pointer to static text, e.g. "b", "$", ":TList", "[]i"
//          24  number of dimensions d
//          28  data size: element count x element size, in bytes
//          32  d scale words: scale[k] = length[k] x length[k+1] x ... x length[d-1]
//   ovArrayHeaderSize(d)  the elements, packed, starting on an 8-byte boundary
//
// scale[0] is the element count (the length of a one-dimensional array); the
// element at (i0, ..., i(d-1)) is the flat element i0 x scale[1] + ... + i(d-1).
// Reference elements ("$", ":", "[") are counted references: store them with
// ovStore, and the array's free function releases them.  Function elements
// ("(") are plain pointers.  Element sizes: "b" 1, "s" 2, "i" and "f" 4, "l" and
// "d" 8, every other tag (references, functions, pointers) 8.
#pragma once

#include <cstdint>

#include "runtime/object.h"

struct Array : Object {
    const char* tag;     // type tag of one element; the text is not copied
    int32_t dimensions;  // d >= 1 (0 only in ovEmptyArray)
    int32_t dataSize;    // bytes of element data

    static constexpr int32_t kScaleOffset = 32;

    int32_t* scales() { return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(this) + kScaleOffset); }
    const int32_t* scales() const {
        return reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(this) + kScaleOffset);
    }
    // The element count, scale[0].
    int32_t count() const { return scales()[0]; }

    // The first element, typed by the caller to match the tag.
    template <class T>
    T* elements();
    template <class T>
    const T* elements() const;

    inline int32_t Sort(int32_t ascending);
    inline Array* Dimensions();
};
static_assert(sizeof(Array) == Array::kScaleOffset, "the scale words follow the header fields");

// Bytes from the start of an array with d dimensions to its first element.
// Every allocation, free, slice and concatenation sizes blocks through this.
inline constexpr int64_t ovArrayHeaderSize(int64_t dimensions) {
    return (Array::kScaleOffset + 4 * dimensions + 7) & ~int64_t{7};
}

template <class T>
inline T* Array::elements() {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + ovArrayHeaderSize(dimensions));
}
template <class T>
inline const T* Array::elements() const {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(this) + ovArrayHeaderSize(dimensions));
}

// The Array class record: Object's slots, then the two own operations.
struct ArrayClass : ObjectClass {
    int32_t (*Sort)(Array* self, int32_t ascending);
    Array* (*Dimensions)(Array* self);
};

extern const ArrayClass& ArrayType;
extern const ovScope ArrayScope;

inline int32_t Array::Sort(int32_t ascending) { return record<ArrayClass>()->Sort(this, ascending); }
inline Array* Array::Dimensions() { return record<ArrayClass>()->Dimensions(this); }

// The one array without elements (static count, tag "", 0 dimensions, element
// count 0).  Every creation with no elements returns it, so emptiness may be
// tested by identity.
extern Array& ovEmptyArray;

// ---------------------------------------------------------------------------
// Element tags
// ---------------------------------------------------------------------------

// Size in bytes of one element of the tag.
int32_t ovArrayElementSize(const char* tag);
// True for tags whose elements are counted references ("$", ":...", "[...").
bool ovArrayTagIsCounted(const char* tag);

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------
//
// A length <= 0 in any dimension (or d < 1) gives ovEmptyArray.  Lengths whose
// product does not fit in an Int, or whose data size does not fit in a block,
// raise a runtime error.  New arrays have count 0; callers retain what they
// store.

// An array of the given lengths whose elements are not yet initialised.
Array* ovArrayAlloc(const char* tag, int32_t dimensions, const int32_t* lengths);
// Sets every element to the tag's null value (not retained) or to zero bytes.
void ovArrayInit(Array* array);
// Alloc and Init, with the d lengths as further Int arguments.
Array* ovArrayNew(const char* tag, int32_t dimensions, ...);
// Alloc and Init, with the lengths in memory.
Array* ovArrayNewEx(const char* tag, int32_t dimensions, const int32_t* lengths);
// Alloc and Init of a one-dimensional array.
Array* ovArrayNew1D(const char* tag, int32_t length);

// A one-dimensional array of to - from elements: element k is the source's flat
// element from + k where that exists, the tag's null value elsewhere.  Copied
// reference elements are retained.  to <= from gives ovEmptyArray.
Array* ovArraySlice(const char* tag, Array* source, int32_t from, int32_t to);
// A one-dimensional array of a's elements followed by b's, each reference
// element retained once more.
Array* ovArrayConcat(const char* tag, Array* a, Array* b);
// A byte array made from a raw block of ovMemAlloc or ovMemExtend whose
// bytes from ovArrayHeaderSize(1) on hold its n elements: a large block
// becomes the array itself, trimmed to its size, so the bytes are not
// copied.  The block is the array's (or freed) afterwards.  n <= 0 gives
// ovEmptyArray.
Array* ovArrayAdoptBytes(void* block, int32_t n);
// A one-dimensional array of n elements from a block in memory: for "b" and
// "s" the low 8 or 16 bits of each Int of the block, for other tags the bytes
// unchanged (references are not retained).  n <= 0 gives ovEmptyArray.
Array* ovArrayFromData(const char* tag, int32_t n, const void* values);

// ---------------------------------------------------------------------------
// Queries, casts, sorting, freeing
// ---------------------------------------------------------------------------

// A new Int array of the lengths the array was created with; ovEmptyArray
// for an array without elements.
Array* ovArrayDimensions(Array* array);
// The object when it is ovEmptyArray, or an array whose tag equals the wanted
// one (any object array passes for any object-array tag); else the Null object.
Object* ovArrayCastFromObject(Object* object, const char* tag);
// Sorts the elements in place, ascending when the flag is non-zero.  Numbers
// compare by value (Bytes and Shorts unsigned), Strings and objects by their
// Compare; other tags are left unchanged.  Returns 0.
int32_t ovArraySort(Array* array, int32_t ascending);
// The free function of the record: releases reference elements, returns the block.
void ovArrayFree(Object* array);
