// Helpers shared by the stream modules' factory classes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"
#include "streams/factory.h"

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
