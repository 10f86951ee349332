// Typed arrays: creation, slicing, concatenation, casts, sorting and freeing.
#include "runtime/array.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <utility>

#include "runtime/exception.h"
#include "runtime/memory.h"

const ovScope ArrayScope = {OV_SCOPE_CLASS, "Array", ovNoScopeEntries};

namespace {

const ArrayClass arrayRecord = {
    {
        &ObjectType,
        ovArrayFree,
        &ArrayScope,
        0,  // the size varies with the elements
        nullptr,
        nullptr,
        ovObjectToString,
        ovObjectCompare,
        ovObjectSendMessage,
        {ovObjectReserved, ovObjectReserved, ovObjectReserved},
    },
    ovArraySort,
    ovArrayDimensions,
};

// The empty array lives in static data.  It has no dimensions, so the word
// after its header fields is where scale[0] would be, and it reads as 0.
struct EmptyArrayBlock {
    Array header;
    int32_t scale0;
};
EmptyArrayBlock emptyArrayBlock = {{{&arrayRecord, OV_STATIC_COUNT, 0}, "", 0, 0}, 0};

constexpr int64_t kIntMax = INT32_MAX;

int32_t checkedCount(int64_t count) {
    if (count > kIntMax) ovRuntimeError("Array too large: more than 2147483647 elements");
    return static_cast<int32_t>(count);
}

// Bytes of the block of an array: allocation and freeing must agree on it.
int64_t blockSize(int32_t dimensions, int64_t dataSize) { return ovArrayHeaderSize(dimensions) + dataSize; }

// The element count of the lengths: 0 when any of them is 0 or negative.
int32_t elementCount(int32_t dimensions, const int32_t* lengths) {
    if (std::any_of(lengths, lengths + dimensions, [](int32_t length) { return length <= 0; })) return 0;
    int64_t product = 1;
    for (int32_t k = 0; k < dimensions; ++k) product = checkedCount(product * lengths[k]);
    return static_cast<int32_t>(product);
}

// A block for count (> 0) elements with tag, dimensions and data size set.
Array* allocate(const char* tag, int32_t dimensions, int32_t count) {
    const int64_t dataSize = int64_t{count} * ovArrayElementSize(tag);
    const int64_t size = blockSize(dimensions, dataSize);
    if (size > kIntMax) ovRuntimeError("Array too large: more than 2147483647 bytes");
    auto* array = static_cast<Array*>(ovGCAllocObject(static_cast<int32_t>(size), &arrayRecord));
    array->tag = tag;
    array->dimensions = dimensions;
    array->dataSize = static_cast<int32_t>(dataSize);
    return array;
}

// A one-dimensional array of count elements, not initialised; counts computed
// in 64 bits (slice widths, concatenated lengths) are checked here.
Array* allocate1D(const char* tag, int64_t count) {
    if (count <= 0) return &ovEmptyArray;
    Array* array = allocate(tag, 1, checkedCount(count));
    array->scales()[0] = static_cast<int32_t>(count);
    return array;
}

// Writes n elements of the tag's null value, not retained: the static count of
// the empty string, the Null object and the empty array absorbs it.
void fillNull(const char* tag, char* first, int64_t n, int32_t elementSize) {
    const intptr_t null = ovNullValueOf(tag);
    if (null == 0) {
        std::memset(first, 0, static_cast<size_t>(n * elementSize));
        return;
    }
    std::fill_n(reinterpret_cast<intptr_t*>(first), n, null);
}

// Copies n elements; the copy of a reference is one more counted reference.
void copyElements(const char* tag, char* destination, const char* source, int64_t n, int32_t elementSize) {
    std::memcpy(destination, source, static_cast<size_t>(n * elementSize));
    if (!ovArrayTagIsCounted(tag)) return;
    Object* const* copied = reinterpret_cast<Object* const*>(destination);
    std::for_each(copied, copied + n, ovGCRetain);
}

// The number of whole elements of the given size in the array's data: the
// element count for an array of that tag, and never more than its data holds
// when a caller slices or concatenates with a tag of wider elements.
int64_t elementsReadable(const Array* array, int32_t elementSize) { return array->dataSize / elementSize; }

// Low 8 or 16 bits of each Int of the block.
template <class T>
void narrowInts(T* destination, const int32_t* source, int32_t n) {
    std::transform(source, source + n, destination, [](int32_t value) { return static_cast<T>(value); });
}

// ---------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------

// Quicksort of the elements lo..hi (inclusive) with the median of three as
// pivot.  The pivot is read through its index, which follows it when a swap
// moves it.  Only the left part is sorted by a nested call; the loop goes on
// with the right part.
template <class T, class Before>
void quicksort(T* element, int32_t lo, int32_t hi, Before before) {
    while (hi > lo) {
        if (hi == lo + 1) {
            if (before(element[hi], element[lo])) std::swap(element[hi], element[lo]);
            return;
        }
        int32_t mid = lo + (hi - lo) / 2;
        if (before(element[mid], element[lo])) std::swap(element[mid], element[lo]);
        if (before(element[hi], element[mid])) {
            std::swap(element[hi], element[mid]);
            if (before(element[mid], element[lo])) std::swap(element[mid], element[lo]);
        }
        // Partitioning never moves elements lo and hi, which the median of
        // three leaves as sentinels for any consistent order, so the bounds
        // tests below never decide for one.  They keep a Compare that
        // contradicts itself from running the scans out of the range.
        int32_t i = lo + 1;
        int32_t j = hi - 1;
        for (;;) {
            while (i < hi && before(element[i], element[mid])) ++i;
            while (j > lo && before(element[mid], element[j])) --j;
            if (i > j) break;
            if (i < j) {
                std::swap(element[i], element[j]);
                if (mid == i)
                    mid = j;
                else if (mid == j)
                    mid = i;
            }
            ++i;
            --j;
            if (i > j) break;
        }
        quicksort(element, lo, j, before);
        lo = i;
    }
}

template <bool Ascending>
struct ValueBefore {
    template <class T>
    bool operator()(T x, T y) const {
        return Ascending ? x < y : x > y;
    }
};

// Compare is always called on the first argument, for either direction.
template <bool Ascending>
struct ReferenceBefore {
    bool operator()(Object* x, Object* y) const {
        const int32_t order = x->Compare(y);
        return Ascending ? order < 0 : order > 0;
    }
};

template <class T, template <bool> class Before>
void sortElements(Array* array, bool ascending) {
    T* element = array->elements<T>();
    const int32_t hi = array->count() - 1;
    if (ascending)
        quicksort(element, 0, hi, Before<true>{});
    else
        quicksort(element, 0, hi, Before<false>{});
}

}  // namespace

const ArrayClass& ArrayType = arrayRecord;
Array& ovEmptyArray = emptyArrayBlock.header;

int32_t ovArrayElementSize(const char* tag) {
    switch (tag[0]) {
        case 'b':
            return 1;
        case 's':
            return 2;
        case 'i':
        case 'f':
            return 4;
        default:  // "l", "d", references, functions and pointers
            return 8;
    }
}

bool ovArrayTagIsCounted(const char* tag) { return tag[0] == '$' || tag[0] == ':' || tag[0] == '['; }

Array* ovArrayAlloc(const char* tag, int32_t dimensions, const int32_t* lengths) {
    if (dimensions < 1) return &ovEmptyArray;
    const int32_t count = elementCount(dimensions, lengths);
    if (count == 0) return &ovEmptyArray;
    Array* array = allocate(tag, dimensions, count);
    // The lengths become products from the last but one down to the first;
    // none overflows, since the whole product fits.
    int32_t* scale = array->scales();
    std::copy_n(lengths, dimensions, scale);
    for (int32_t k = dimensions - 2; k >= 0; --k) scale[k] *= scale[k + 1];
    return array;
}

void ovArrayInit(Array* array) {
    if (array->dataSize == 0) return;
    fillNull(array->tag, array->elements<char>(), array->count(), ovArrayElementSize(array->tag));
}

Array* ovArrayNewEx(const char* tag, int32_t dimensions, const int32_t* lengths) {
    Array* array = ovArrayAlloc(tag, dimensions, lengths);
    ovArrayInit(array);
    return array;
}

Array* ovArrayNew(const char* tag, int32_t dimensions, ...) {
    if (dimensions < 1) return &ovEmptyArray;
    // Arrays of more than a few dimensions are rare enough to take the heap.
    constexpr int32_t kInlineDimensions = 8;
    int32_t inlineLengths[kInlineDimensions];
    std::unique_ptr<int32_t[]> heapLengths;
    int32_t* lengths = inlineLengths;
    if (dimensions > kInlineDimensions) {
        heapLengths = std::make_unique<int32_t[]>(static_cast<size_t>(dimensions));
        lengths = heapLengths.get();
    }
    va_list arguments;
    va_start(arguments, dimensions);
    for (int32_t k = 0; k < dimensions; ++k) lengths[k] = va_arg(arguments, int32_t);
    va_end(arguments);
    return ovArrayNewEx(tag, dimensions, lengths);
}

Array* ovArrayNew1D(const char* tag, int32_t length) { return ovArrayNewEx(tag, 1, &length); }

// Three runs: null values before the source's first element, copies of the
// source's elements, null values at and past its end.
Array* ovArraySlice(const char* tag, Array* source, int32_t from, int32_t to) {
    const int64_t n = int64_t{to} - from;
    Array* slice = allocate1D(tag, n);
    if (slice == &ovEmptyArray) return slice;
    const int32_t elementSize = ovArrayElementSize(tag);
    char* out = slice->elements<char>();

    const int64_t before = std::clamp(-int64_t{from}, int64_t{0}, n);
    fillNull(tag, out, before, elementSize);

    const int64_t first = std::max(int64_t{from}, int64_t{0});
    const int64_t end = std::min(int64_t{to}, elementsReadable(source, elementSize));
    const int64_t inside = std::max(end - first, int64_t{0});
    if (inside > 0)
        copyElements(tag, out + before * elementSize, source->elements<char>() + first * elementSize, inside,
                     elementSize);

    fillNull(tag, out + (before + inside) * elementSize, n - before - inside, elementSize);
    return slice;
}

Array* ovArrayConcat(const char* tag, Array* a, Array* b) {
    const int32_t elementSize = ovArrayElementSize(tag);
    const int64_t countA = elementsReadable(a, elementSize);
    const int64_t countB = elementsReadable(b, elementSize);
    Array* result = allocate1D(tag, countA + countB);
    if (result == &ovEmptyArray) return result;
    char* out = result->elements<char>();
    copyElements(tag, out, a->elements<char>(), countA, elementSize);
    copyElements(tag, out + countA * elementSize, b->elements<char>(), countB, elementSize);
    return result;
}

Array* ovArrayFromData(const char* tag, int32_t n, const void* values) {
    Array* array = allocate1D(tag, n);
    if (array == &ovEmptyArray) return array;
    const auto* ints = static_cast<const int32_t*>(values);
    switch (tag[0]) {
        case 'b':
            narrowInts(array->elements<uint8_t>(), ints, n);
            break;
        case 's':
            narrowInts(array->elements<uint16_t>(), ints, n);
            break;
        default:
            std::memcpy(array->elements<char>(), values, static_cast<size_t>(array->dataSize));
            break;
    }
    return array;
}

Array* ovArrayDimensions(Array* array) {
    if (array->count() <= 0) return &ovEmptyArray;
    const int32_t dimensions = array->dimensions;
    Array* lengths = allocate1D("i", dimensions);
    const int32_t* scale = array->scales();
    int32_t* length = lengths->elements<int32_t>();
    for (int32_t k = 0; k + 1 < dimensions; ++k) length[k] = scale[k] / scale[k + 1];
    length[dimensions - 1] = scale[dimensions - 1];
    return lengths;
}

Object* ovArrayCastFromObject(Object* object, const char* tag) {
    if (object == &ovEmptyArray) return object;
    if (object->cls != &arrayRecord) return ovNull;
    const char* elementTag = static_cast<Array*>(object)->tag;
    if (elementTag[0] == ':' && tag[0] == ':') return object;
    return std::strcmp(elementTag, tag) == 0 ? object : ovNull;
}

int32_t ovArraySort(Array* array, int32_t ascending) {
    if (array->count() < 2) return 0;
    const bool up = ascending != 0;
    switch (array->tag[0]) {
        case 'b':
            sortElements<uint8_t, ValueBefore>(array, up);
            break;
        case 's':
            sortElements<uint16_t, ValueBefore>(array, up);
            break;
        case 'i':
            sortElements<int32_t, ValueBefore>(array, up);
            break;
        case 'l':
            sortElements<int64_t, ValueBefore>(array, up);
            break;
        case 'f':
            sortElements<float, ValueBefore>(array, up);
            break;
        case 'd':
            sortElements<double, ValueBefore>(array, up);
            break;
        case '$':
        case ':':
            sortElements<Object*, ReferenceBefore>(array, up);
            break;
        default:  // arrays, functions and pointers have no order
            break;
    }
    // A Compare may allocate; the sort works through a pointer into the
    // block, which the stack scan does not count.
    ovKeepAlive(array);
    return 0;
}

void ovArrayFree(Object* object) {
    auto* array = static_cast<Array*>(object);
    if (array == &ovEmptyArray) {
        array->refs = OV_STATIC_COUNT;
        return;
    }
    if (ovArrayTagIsCounted(array->tag)) {
        Object** element = array->elements<Object*>();
        std::for_each(element, element + array->count(), ovGCRelease);
    }
    ovGCDeallocObject(array, static_cast<int32_t>(blockSize(array->dimensions, array->dataSize)));
}
