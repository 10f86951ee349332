// The case tables behind ovStringToLower and ovStringToUpper.
#pragma once

#include <cstdint>

// One mapping: a source unit and the unit it maps to.  The tables are sorted
// strictly ascending by source.
struct ovCasePair {
    uint16_t source;
    uint16_t mapped;
};

inline constexpr int32_t OV_LOWER_CASE_PAIRS = 957;
inline constexpr int32_t OV_UPPER_CASE_PAIRS = 965;

extern const ovCasePair ovLowerCaseTable[OV_LOWER_CASE_PAIRS];
extern const ovCasePair ovUpperCaseTable[OV_UPPER_CASE_PAIRS];

// The mapped unit of u in a table, or u itself when it has no row.
uint16_t ovCaseLookup(const ovCasePair* table, int32_t count, uint16_t u);
