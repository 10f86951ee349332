// The method entries of TIO's and TStream's scopes, for the scopes of the
// classes that inherit or forward them, and each entry by its slot name
// (ovStreamEntry::Read) for the scopes of classes that override it.  Only
// units that build reflection tables include this.
#pragma once

#include "runtime/object.h"
#include "runtime/reflection.h"
#include "streams/stream.h"

inline constexpr ovScopeEntry TIOMethodEntries[] = {OV_IO_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry};
inline constexpr ovScopeEntry TStreamMethodEntries[] = {OV_STREAM_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry};

namespace ovStreamEntry {
OV_IO_OPERATIONS(OV_NAMED_ENTRY)
OV_STREAM_OPERATIONS(OV_NAMED_ENTRY)
}  // namespace ovStreamEntry
