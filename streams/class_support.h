// Helpers shared by the stream modules' classes: builders for the entries of
// reflection scopes, and the constructor of factory subclasses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"
#include "streams/factory.h"

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
inline constexpr ovScopeEntry ovScopeEndEntry = {OV_SCOPE_END, nullptr, nullptr, 0};

// The scope of a factory class that overrides only CreateStream (and New, to
// store its own record).
inline constexpr ovScopeEntry ovFactoryOverrideEntries[] = {
    ovMethodEntry("New", "()i", offsetof(TStreamFactoryClass, New)),
    ovMethodEntry("CreateStream", "(:Object,$,$,i,i):TStream", offsetof(TStreamFactoryClass, CreateStream)),
    ovScopeEndEntry,
};

// The New of a factory class without fields of its own: the factory links
// itself into the chain, then takes its own record.
template <const TStreamFactoryClass& Self>
int32_t ovFactorySubclassNew(Object* self) {
    TStreamFactoryNew(self);
    self->cls = &Self;
    return 0;
}
