// Comparison, search, concatenation, slicing, trimming and replacing.
#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/string.h"
#include "runtime/string_internal.h"

namespace {

// Unit-by-unit equality that stops at the first difference: candidates of a
// search mostly differ early, where a call to memcmp would cost more than the
// comparison.
bool unitsEqual(const uint16_t* a, const uint16_t* b, int64_t n) {
    for (int64_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Does sub occur in s at position p?  The caller keeps p + length(sub)
// within s.
bool matchesAt(String* s, String* sub, int64_t p) { return unitsEqual(s->units() + p, sub->units(), sub->length); }

void fillSpaces(uint16_t* units, int64_t n) { std::fill_n(units, n, static_cast<uint16_t>(u' ')); }

// The first p from `from` to `last` where the n >= 1 units of sub occur in
// text, or -1.  A candidate must match sub's first and last units before its
// middle is compared; with SSE2 eight candidates are filtered at once.
int64_t findUnits(const uint16_t* text, int64_t from, int64_t last, const uint16_t* sub, int64_t n) {
    const uint16_t head = sub[0];
    const uint16_t tail = sub[n - 1];
    int64_t p = from;
#if defined(__SSE2__)
    const __m128i heads = _mm_set1_epi16(static_cast<short>(head));
    const __m128i tails = _mm_set1_epi16(static_cast<short>(tail));
    for (; p + 7 <= last; p += 8) {
        const __m128i atHead = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
        const __m128i atTail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + n - 1));
        // Two mask bits per unit.
        auto mask = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(atHead, heads), _mm_cmpeq_epi16(atTail, tails))));
        for (; mask != 0; mask &= mask - 1, mask &= mask - 1) {
            const int64_t q = p + __builtin_ctz(mask) / 2;
            if (unitsEqual(text + q + 1, sub + 1, n - 2)) return q;
        }
    }
#endif
    for (; p <= last; ++p)
        if (text[p] == head && text[p + n - 1] == tail && unitsEqual(text + p + 1, sub + 1, n - 2)) return p;
    return -1;
}

}  // namespace

String* ovStringCopyRange(String* s, int32_t first, int32_t n) {
    String* result = ovStringNew(n);
    ovCopyUnits(result->units(), s->units() + first, result->length);
    return result;
}

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
    if (n == 0) return start <= s->length ? std::max(start, 0) : -1;
    const int64_t last = static_cast<int64_t>(s->length) - n;  // the last position where sub fits
    return static_cast<int32_t>(findUnits(s->units(), std::max(start, 0), last, sub->units(), n));
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
    ovCopyUnits(result->units(), a->units(), a->length);
    ovCopyUnits(result->units() + a->length, b->units(), b->length);
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
    ovCopyUnits(out + before, s->units() + insideFrom, inside);
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
    return ovStringCopyRange(s, first, end - first);
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
        ovCopyUnits(out, s->units() + done, p - done);
        out += p - done;
        ovCopyUnits(out, with->units(), with->length);
        out += with->length;
        done = p + find->length;
    }
    ovCopyUnits(out, s->units() + done, s->length - done);
    return result;
}
