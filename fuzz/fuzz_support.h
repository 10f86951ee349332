// What the fuzz targets share: the runtime brought up once, the collector's
// stack base at the target's own frame, Strings from and to C++ text, and
// the check that turns a broken property into a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/interpreter.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "runtime/thread.h"
#include "system/clib/clib.h"

// A property that does not hold is reported like a crash, so that libFuzzer
// keeps the input.
#define OV_FUZZ_CHECK(condition)                                                                    \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

// Every module, as bitrun brings them up, with the platform's text rules.
inline void ovFuzzStartRuntime() {
    ovGCSetStackBase();
    ovThreadStartup();
    ovCoreModuleInit();
    InitInterpreterModules();
    ovUseWideApi = 1;
}

// What each target defines: the check of one input, and the size of the
// largest input worth checking (larger ones are skipped).
void ovFuzzCheck(const uint8_t* data, size_t size);
extern const size_t ovFuzzMaxInput;

inline std::u16string ovFuzzUnits(String* s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s->units()), static_cast<size_t>(s->length));
}

inline String* ovFuzzString(const std::u16string& units) {
    return ovStringFromShorts(reinterpret_cast<const uint16_t*>(units.data()), static_cast<int32_t>(units.size()));
}

inline bool ovFuzzSame(String* a, String* b) { return ovStringCompare(a, b) == 0 && a->length == b->length; }
