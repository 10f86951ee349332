// Comparison, search, concatenation, slicing, trimming and replacing.
#include <algorithm>
#include <cstring>

#include "runtime/string.h"
#include "runtime/string_internal.h"

namespace {

bool unitsEqual(const uint16_t* a, const uint16_t* b, int32_t n) {
    return std::memcmp(a, b, 2 * static_cast<size_t>(n)) == 0;
}

// Does sub occur in s at position p?  The caller keeps p + length(sub)
// within s.
bool matchesAt(String* s, String* sub, int64_t p) { return unitsEqual(s->units() + p, sub->units(), sub->length); }

void fillSpaces(uint16_t* units, int64_t n) { std::fill_n(units, n, static_cast<uint16_t>(u' ')); }

void copyUnits(uint16_t* to, const uint16_t* from, int64_t n) {
    if (n > 0) std::memcpy(to, from, 2 * static_cast<size_t>(n));
}

// The String of units first to first + n - 1 of s; the caller has made sure
// that they lie inside s.
String* copyRange(String* s, int32_t first, int32_t n) {
    String* result = ovStringNew(n);
    copyUnits(result->units(), s->units() + first, result->length);
    return result;
}

}  // namespace

int32_t ovStringCompare(String* a, String* b) {
    const int32_t n = std::min(a->length, b->length);
    const uint16_t* x = a->units();
    const uint16_t* y = b->units();
    for (int32_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]);
    return a->length - b->length;
}

int32_t ovStringStartsWith(String* s, String* prefix) {
    return s->length >= prefix->length && matchesAt(s, prefix, 0) ? 1 : 0;
}

int32_t ovStringEndsWith(String* s, String* suffix) {
    return s->length >= suffix->length && matchesAt(s, suffix, s->length - suffix->length) ? 1 : 0;
}

int32_t ovStringFind(String* s, String* sub, int32_t start) {
    const int64_t n = sub->length;
    const int64_t last = static_cast<int64_t>(s->length) - n;  // last position where sub fits
    const uint16_t* units = s->units();
    if (n == 0) return start <= s->length ? std::max(start, 0) : -1;
    const uint16_t first = sub->units()[0];
    for (int64_t p = std::max(start, 0); p <= last; ++p)
        if (units[p] == first && matchesAt(s, sub, p)) return static_cast<int32_t>(p);
    return -1;
}

int32_t ovStringFindLast(String* s, String* sub, int32_t start) {
    const int64_t length = s->length;
    int64_t p = length - start;
    if (p + sub->length > length) p = length - sub->length;
    for (; p >= 0; --p)
        if (matchesAt(s, sub, p)) return static_cast<int32_t>(p);
    return -1;
}

int32_t ovStringContains(String* s, String* sub) { return ovStringFind(s, sub, 0) != -1 ? 1 : 0; }

int32_t ovStringAsc(String* s) { return s->length > 0 ? s->units()[0] : -1; }

String* ovStringConcat(String* a, String* b) {
    String* result = ovStringNewChecked(static_cast<int64_t>(a->length) + b->length);
    copyUnits(result->units(), a->units(), a->length);
    copyUnits(result->units() + a->length, b->units(), b->length);
    return result;
}

String* ovStringSliceWide(String* s, int64_t from, int64_t to) {
    const int64_t n = to - from;
    if (n <= 0) return &ovEmptyString;
    String* result = ovStringNewChecked(n);
    uint16_t* out = result->units();
    // Three runs: padding before the text, the text inside the range, padding
    // after it.
    const int64_t before = std::min(n, std::max<int64_t>(0, -from));
    const int64_t insideFrom = std::max<int64_t>(from, 0);
    const int64_t inside = std::max<int64_t>(0, std::min<int64_t>(to, s->length) - insideFrom);
    fillSpaces(out, before);
    copyUnits(out + before, s->units() + insideFrom, inside);
    fillSpaces(out + before + inside, n - before - inside);
    return result;
}

String* ovStringSlice(String* s, int32_t from, int32_t to) { return ovStringSliceWide(s, from, to); }

String* ovStringTrim(String* s) {
    const uint16_t* units = s->units();
    int32_t first = 0;
    int32_t end = s->length;
    while (first < end && ovIsBlankUnit(units[first])) ++first;
    if (first == end) return &ovEmptyString;
    while (ovIsBlankUnit(units[end - 1])) --end;
    if (first == 0 && end == s->length) return s;
    return copyRange(s, first, end - first);
}

String* ovStringReplace(String* s, String* find, String* with) {
    if (find->length == 0) return s;
    int64_t count = 0;
    for (int32_t p = ovStringFind(s, find, 0); p != -1; p = ovStringFind(s, find, p + find->length)) ++count;
    if (count == 0) return s;
    String* result = ovStringNewChecked(s->length + (static_cast<int64_t>(with->length) - find->length) * count);
    uint16_t* out = result->units();
    int32_t done = 0;  // end of the previous occurrence in s
    for (int32_t p = ovStringFind(s, find, 0); p != -1; p = ovStringFind(s, find, done)) {
        copyUnits(out, s->units() + done, p - done);
        out += p - done;
        copyUnits(out, with->units(), with->length);
        out += with->length;
        done = p + find->length;
    }
    copyUnits(out, s->units() + done, s->length - done);
    return result;
}
