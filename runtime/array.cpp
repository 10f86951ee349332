// Typed arrays: creation, slicing, concatenation, casts, sorting and freeing.
#include "runtime/array.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/buffer.h"
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

// A new instance of the array record with its header fields set.
Array* headed(Object* instance, const char* tag, int32_t dimensions, int64_t dataSize) {
    auto* array = static_cast<Array*>(instance);
    array->tag = tag;
    array->dimensions = dimensions;
    array->dataSize = static_cast<int32_t>(dataSize);
    return array;
}

// A block for count (> 0) elements with tag, dimensions and data size set.
Array* allocate(const char* tag, int32_t dimensions, int32_t count) {
    const int64_t dataSize = int64_t{count} * ovArrayElementSize(tag);
    const int64_t size = blockSize(dimensions, dataSize);
    if (size > kIntMax) ovRuntimeError("Array too large: more than 2147483647 bytes");
    return headed(ovGCAllocObject(static_cast<int32_t>(size), &arrayRecord), tag, dimensions, dataSize);
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

// Numbers are compared by value; nothing can see those comparisons.
template <bool Ascending>
struct ValueBefore {
    template <class T>
    bool operator()(T x, T y) const {
        return Ascending ? x < y : x > y;
    }
};

// References are compared by their Compare method, which runs managed code,
// sees every call and may answer anything.  Compare is always called on the
// first argument, for either direction.
template <bool Ascending>
struct ReferenceBefore {
    bool operator()(Object* x, Object* y) const {
        const int32_t order = x->Compare(y);
        return Ascending ? order < 0 : order > 0;
    }
};

template <class T>
constexpr bool kIsReference = std::is_pointer_v<T>;

// In a total order (the integer types) the median of three leaves element lo
// no greater and element hi no smaller than the pivot, and partitioning never
// moves either, so they stop the scans by themselves.  NaN and a Compare that
// contradicts itself do not stop them: those scans test their bounds.
template <class T>
constexpr bool kScansNeedBounds = !std::is_integral_v<T>;

// Puts the pair in order, as a swap when before(second, first).  Written as
// selects, so that numbers are ordered without a branch.
template <class T, class Before>
inline void orderPair(T& first, T& second, Before before) {
    const bool swap = before(second, first);
    const T a = first;
    const T b = second;
    first = swap ? b : a;
    second = swap ? a : b;
}

template <class T, class Before>
inline void orderMedianOfThree(T* element, int32_t lo, int32_t mid, int32_t hi, Before before) {
    orderPair(element[lo], element[mid], before);
    if (before(element[hi], element[mid])) {
        std::swap(element[hi], element[mid]);
        orderPair(element[lo], element[mid], before);
    }
}

// The pivot of a partition.  A number is held in a register: swaps move it
// but never change it.
template <class T>
class PivotValue {
public:
    explicit PivotValue(const T* at) : value_(*at) {}
    T operator()() const { return value_; }
    void swapped(const T*, const T*) {}

private:
    T value_;
};

// A reference pivot is read through its position, which follows it when a
// swap moves it, so that the sort sees whatever a Compare stores there.
template <class T>
class PivotPosition {
public:
    explicit PivotPosition(const T* at) : at_(at) {}
    T operator()() const { return *at_; }
    void swapped(const T* i, const T* j) {
        if (at_ == i)
            at_ = j;
        else if (at_ == j)
            at_ = i;
    }

private:
    const T* at_;
};

template <class T>
using PivotOf = std::conditional_t<kIsReference<T>, PivotPosition<T>, PivotValue<T>>;

// The first element from i on that is not before the pivot.
template <class T, class Pivot, class Before>
inline T* scanUp(T* i, const T* last, const Pivot& pivot, Before before) {
    while ((!kScansNeedBounds<T> || i < last) && before(*i, pivot())) ++i;
    return i;
}

// The last element from j down that the pivot is not before.
template <class T, class Pivot, class Before>
inline T* scanDown(T* j, const T* first, const Pivot& pivot, Before before) {
    while ((!kScansNeedBounds<T> || j > first) && before(pivot(), *j)) --j;
    return j;
}

#if defined(__SSE2__)
// Int scans test four elements at once and find the one that ends the scan
// in the mask of the four answers, instead of a branch per element that is
// mispredicted at every end.  The four lie inside the range, since the scan
// ends at its sentinel at the latest, and comparing Ints has no effect, so
// the scan ends exactly where the element-by-element one would.
template <bool Ascending>
inline uint32_t intsBefore(__m128i x, __m128i y) {
    const __m128i answers = Ascending ? _mm_cmplt_epi32(x, y) : _mm_cmpgt_epi32(x, y);
    return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(answers)));
}

inline __m128i loadFour(const int32_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

constexpr uint32_t kAllFour = 0xF;

template <bool Ascending>
inline int32_t* scanUp(int32_t* i, const int32_t* last, const PivotValue<int32_t>& pivot,
                       ValueBefore<Ascending> before) {
    const __m128i pivots = _mm_set1_epi32(pivot());
    for (; last - i >= 3; i += 4) {
        const uint32_t holds = intsBefore<Ascending>(loadFour(i), pivots);
        if (holds != kAllFour) return i + __builtin_ctz(~holds);
    }
    while (before(*i, pivot())) ++i;
    return i;
}

template <bool Ascending>
inline int32_t* scanDown(int32_t* j, const int32_t* first, const PivotValue<int32_t>& pivot,
                         ValueBefore<Ascending> before) {
    const __m128i pivots = _mm_set1_epi32(pivot());
    for (; j - first >= 3; j -= 4) {
        const uint32_t holds = intsBefore<Ascending>(pivots, loadFour(j - 3));
        if (holds != kAllFour) return j - __builtin_clz(~holds << 28);
    }
    while (before(pivot(), *j)) --j;
    return j;
}
#endif

struct Parts {
    int32_t leftEnd;
    int32_t rightStart;
};

// Partitions lo..hi, whose ends and middle the median of three has ordered,
// around the element at mid.
template <class T, class Before>
inline Parts partition(T* element, int32_t lo, int32_t mid, int32_t hi, Before before) {
    T* const first = element + lo;
    T* const last = element + hi;
    PivotOf<T> pivot(element + mid);
    T* i = first + 1;
    T* j = last - 1;
    for (;;) {
        i = scanUp(i, last, pivot, before);
        j = scanDown(j, first, pivot, before);
        if (i > j) break;
        if (i < j) {
            std::swap(*i, *j);
            pivot.swapped(i, j);
        }
        ++i;
        --j;
        if (i > j) break;
    }
    return {static_cast<int32_t>(j - element), static_cast<int32_t>(i - element)};
}

// A range of elements, lo..hi inclusive, that waits to be sorted.
struct SortRange {
    int32_t lo;
    int32_t hi;
};

// Quicksort of count elements with the median of three as pivot.  After each
// partition the left part is sorted first, then the right part, as a
// recursion into the left part would do; the right parts wait on an explicit
// stack, so that no order of the elements can make the machine stack deep.
// Ranges of two elements are ordered directly.  A range of three is in order
// once its median of three is taken: for numbers, partitioning it would only
// compare the pivot with itself, which always answers false.
template <class T, class Before>
void quicksort(T* element, int32_t count, Before before) {
    ovBuffer<SortRange, 128> waiting;
    int32_t lo = 0;
    int32_t hi = count - 1;
    for (;;) {
        while (hi > lo) {
            if (hi == lo + 1) {
                orderPair(element[lo], element[hi], before);
                break;
            }
            const int32_t mid = lo + (hi - lo) / 2;
            orderMedianOfThree(element, lo, mid, hi, before);
            if (!kIsReference<T> && hi == lo + 2) break;
            const Parts parts = partition(element, lo, mid, hi, before);
            if (parts.rightStart < hi) waiting.push({parts.rightStart, hi});
            hi = parts.leftEnd;
        }
        if (waiting.size() == 0) return;
        const SortRange next = waiting.data()[waiting.size() - 1];
        waiting.resize(waiting.size() - 1);
        lo = next.lo;
        hi = next.hi;
    }
}

template <class T, template <bool> class Before>
void sortElements(Array* array, bool ascending) {
    T* element = array->elements<T>();
    if (ascending)
        quicksort(element, array->count(), Before<true>{});
    else
        quicksort(element, array->count(), Before<false>{});
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

Array* ovArrayAdoptBytes(void* block, int32_t n) {
    auto* bytes = static_cast<char*>(block) + ovArrayHeaderSize(1);
    const int64_t size = blockSize(1, n);
    if (size <= OV_GC_LARGEST_SMALL_BLOCK) {  // small blocks come from the collector's own chunks
        Array* array = allocate1D("b", n);
        if (n > 0) std::memcpy(array->elements<uint8_t>(), bytes, static_cast<size_t>(n));
        ovMemFree(block);
        return array;
    }
    if (size > kIntMax) {
        ovMemFree(block);
        ovRuntimeError("Array too large: more than 2147483647 bytes");
    }
    void* trimmed = ovMemExtend(block, static_cast<size_t>(size), static_cast<size_t>(size));
    Array* array = headed(ovGCAdoptBlock(trimmed, static_cast<int32_t>(size), &arrayRecord), "b", 1, n);
    array->scales()[0] = n;
    return array;
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
        const int32_t n = array->count();
        for (int32_t i = 0; i < n; ++i) {
            ovGCFetchAhead(element, i, n);
            ovGCRelease(element[i]);
        }
    }
    ovGCDeallocObject(array, static_cast<int32_t>(blockSize(array->dimensions, array->dataSize)));
}
