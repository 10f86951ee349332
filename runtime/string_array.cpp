// Strings made from arrays and arrays made from Strings: splitting, joining
// and creation from Byte, Short and Int arrays.
#include "runtime/array.h"
#include "runtime/string.h"
#include "runtime/string_internal.h"

namespace {

constexpr const char* kStringTag = "$";

// The Null object has no array fields to read.
bool isNullArray(Array* array) { return static_cast<Object*>(array) == ovNull; }

// Calls piece(from, to) for each piece of s in order and returns how many
// there were.  With a separator the pieces lie between its non-overlapping
// occurrences (empty pieces included); without one they are the runs of
// non-blank units.
template <class OnPiece>
int32_t forEachPiece(String* s, String* separator, OnPiece piece) {
    int32_t count = 0;
    if (separator->length > 0) {
        ovOccurrences occurrences(s, separator, 0);
        int32_t from = 0;
        for (int32_t p = occurrences.next(); p != -1; p = occurrences.next()) {
            piece(from, p);
            ++count;
            from = p + separator->length;
        }
        piece(from, s->length);
        return count + 1;
    }
    const uint16_t* units = s->units();
    for (int32_t i = 0; i < s->length;) {
        if (ovIsBlankUnit(units[i])) {
            ++i;
            continue;
        }
        const int32_t from = i;
        while (i < s->length && !ovIsBlankUnit(units[i])) ++i;
        piece(from, i);
        ++count;
    }
    return count;
}

int32_t countPieces(String* s, String* separator) {
    if (separator->length > 0) return static_cast<int32_t>(ovOccurrences(s, separator, 0).count() + 1);
    return forEachPiece(s, separator, [](int32_t, int32_t) {});
}

}  // namespace

Array* ovStringSplit(String* s, String* separator) {
    const int32_t count = countPieces(s, separator);
    Array* pieces = ovArrayNew1D(kStringTag, count);
    int32_t k = 0;
    forEachPiece(s, separator, [&](int32_t from, int32_t to) {
        // The element address is taken after the piece exists: making it may
        // run a collection, and the array is reached through pieces, not
        // through a pointer into it.
        String* piece = ovStringCopyRange(s, from, to - from);
        ovStore(pieces->elements<String*>()[k++], piece);
    });
    // The scans read the units of both through pointers into them.
    ovKeepAlive(s);
    ovKeepAlive(separator);
    return pieces;
}

String* ovStringJoin(String* separator, Array* parts) {
    if (isNullArray(parts) || parts == &ovEmptyArray || parts->tag[0] != '$') return &ovEmptyString;
    const int32_t n = parts->count();
    String* const* elements = parts->elements<String*>();
    int64_t total = static_cast<int64_t>(n - 1) * separator->length;
    for (int32_t i = 0; i < n; ++i) total += elements[i]->length;
    String* result = ovStringNewChecked(total);
    uint16_t* out = result->units();
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0) {
            ovCopyUnits(out, separator->units(), separator->length);
            out += separator->length;
        }
        ovCopyUnits(out, elements[i]->units(), elements[i]->length);
        out += elements[i]->length;
    }
    ovKeepAlive(parts);
    return result;
}

String* ovStringFromArray(Array* array) {
    if (isNullArray(array) || array->dimensions != 1) return &ovEmptyString;
    String* result;
    switch (array->tag[0]) {
        case 'b':
            result = ovStringFromBytes(array->elements<uint8_t>(), array->count());
            break;
        case 's':
            result = ovStringFromShorts(array->elements<uint16_t>(), array->count());
            break;
        case 'i':
            result = ovStringFromInts(array->elements<int32_t>(), array->count());
            break;
        default:
            return &ovEmptyString;
    }
    // The elements were read through a pointer into the array, which the
    // stack scan does not count as a reference to it.
    ovKeepAlive(array);
    return result;
}
