// Building reflection tables: the builders of scope entries, the macros
// that name a field or slot by its member, and the joining of tables.
//
// Entries take the offsets of fields of instance structs that derive from
// their superclass's struct, and of slots of record structs that derive from
// their superclass's record.  Such structs are not standard-layout, so
// offsetof warns on them, but both compilers lay them out predictably and the
// offsets are exact.  Only the units that build tables include this header,
// and the warning is silenced for them alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/object.h"

#pragma GCC diagnostic ignored "-Winvalid-offsetof"

// Builders of scope entries.
constexpr ovScopeEntry ovFieldEntry(const char* name, const char* type, size_t offset) {
    return {OV_SCOPE_FIELD, name, type, static_cast<intptr_t>(offset)};
}
constexpr ovScopeEntry ovMethodEntry(const char* name, const char* type, size_t slotOffset) {
    return {OV_SCOPE_METHOD, name, type, static_cast<intptr_t>(slotOffset)};
}
constexpr ovScopeEntry ovFunctionEntry(const char* name, const char* type, size_t slotOffset) {
    return {OV_SCOPE_FUNCTION, name, type, static_cast<intptr_t>(slotOffset)};
}
// An Int constant: its value is a static String holding the constant's text.
inline ovScopeEntry ovConstantEntry(const char* name, String* text) {
    return {OV_SCOPE_CONSTANT, name, "i", reinterpret_cast<intptr_t>(text)};
}

// The entry of a field of an instance struct, or of a method or class
// function of a record struct, named as the member is.
#define OV_FIELD_ENTRY(Instance, member, type) ovFieldEntry(#member, type, offsetof(Instance, member))
#define OV_METHOD_ENTRY(Record, slot, type) ovMethodEntry(#slot, type, offsetof(Record, slot))
#define OV_FUNCTION_ENTRY(Record, slot, type) ovFunctionEntry(#slot, type, offsetof(Record, slot))

// The method entry of an operation of a list (see "Lists of operations" in
// runtime/object.h), as an element of a table or as a named constant, for
// the tables of the classes that override it.
#define OV_LISTED_ENTRY(Self, Result, Slot, Params, Args, Type, ...) OV_METHOD_ENTRY(Self##Class, Slot, Type),
#define OV_NAMED_ENTRY(Self, Result, Slot, Params, Args, Type, ...) \
    inline constexpr ovScopeEntry Slot = OV_METHOD_ENTRY(Self##Class, Slot, Type);
// The function entry of a class function of a list, as an element of a table.
#define OV_LISTED_FUNCTION_ENTRY(Self, Result, Slot, Params, Args, Type, ...) \
    OV_FUNCTION_ENTRY(Self##Class, Slot, Type),

// Object's operations that nearly every class replaces, by name.
namespace ovObjectEntry {
inline constexpr ovScopeEntry New = OV_METHOD_ENTRY(ObjectClass, New, "()i");
inline constexpr ovScopeEntry Delete = OV_METHOD_ENTRY(ObjectClass, Delete, "()i");
inline constexpr ovScopeEntry ToString = OV_METHOD_ENTRY(ObjectClass, ToString, "()$");
}  // namespace ovObjectEntry

// The entries of several tables in order, each table up to its end entry,
// keeping those that keep accepts: a class that inherits or forwards another
// class's declarations builds its table from that class's instead of
// restating it.  Unused places at the end are end entries.
template <class Keep, size_t... Sizes>
constexpr std::array<ovScopeEntry, (Sizes + ... + 1)> ovJoinScopeEntries(Keep keep,
                                                                         const ovScopeEntry (&... tables)[Sizes]) {
    std::array<ovScopeEntry, (Sizes + ... + 1)> joined{};
    size_t count = 0;
    const auto append = [&](const auto& table) {
        for (const ovScopeEntry& entry : table) {
            if (entry.kind == OV_SCOPE_END) break;
            if (keep(entry)) joined[count++] = entry;
        }
    };
    (append(tables), ...);
    return joined;
}
