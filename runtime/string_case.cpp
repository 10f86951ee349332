// Case mapping, one unit at a time: a bit operation for the units below the
// tables' ranges, a binary search of the table above.
#include "runtime/string.h"
#include "runtime/string_case.h"

uint16_t ovCaseLookup(const ovCasePair* table, int32_t count, uint16_t u) {
    int32_t low = 0;
    int32_t high = count - 1;
    while (low <= high) {
        const int32_t probe = (low + high) / 2;
        if (table[probe].source > u)
            high = probe - 1;
        else if (table[probe].source < u)
            low = probe + 1;
        else
            return table[probe].mapped;
    }
    return u;
}

namespace {

uint16_t lowerUnit(uint16_t u) {
    if (u <= 0xBF) return (u >= u'A' && u <= u'Z') ? static_cast<uint16_t>(u | 0x20) : u;
    return ovCaseLookup(ovLowerCaseTable, OV_LOWER_CASE_PAIRS, u);
}

uint16_t upperUnit(uint16_t u) {
    if (u <= 0xB4) return (u >= u'a' && u <= u'z') ? static_cast<uint16_t>(u & ~0x20) : u;
    return ovCaseLookup(ovUpperCaseTable, OV_UPPER_CASE_PAIRS, u);
}

// Always a new String of the same length (ovEmptyString for an empty s).
template <uint16_t (*MapUnit)(uint16_t)>
String* mapUnits(String* s) {
    String* result = ovStringNew(s->length);
    const uint16_t* from = s->units();
    uint16_t* to = result->units();
    for (int32_t i = 0; i < s->length; ++i) to[i] = MapUnit(from[i]);
    return result;
}

}  // namespace

String* ovStringToLower(String* s) { return mapUnits<lowerUnit>(s); }

String* ovStringToUpper(String* s) { return mapUnits<upperUnit>(s); }
