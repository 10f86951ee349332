// The embedded-file registry: named blocks of bytes built into the
// executable, looked up by name (the "incbin" stream protocol serves them).
//
// Entries are added at start-up, typically by the registration objects that
// ov_embed_files (cmake/embed.cmake) generates, which run before main.  Adding
// therefore never allocates a managed object: the name is only retained, so a
// static literal is a valid name at any time.  Entries are never removed.
#pragma once

#include <cstdint>

struct String;

// Adds an entry and returns 1, or returns 0 and changes nothing when an entry
// of an equal name (ovStringCompare gives 0) exists already.  The bytes are
// not copied: they must stay valid for the life of the process.
int32_t ovEmbeddedAdd(String* name, const uint8_t* address, int32_t length);
// The address of the named entry's bytes, or 0 when there is none.
const uint8_t* ovEmbeddedAddress(String* name);
// The length of the named entry, or 0 when there is none.
int32_t ovEmbeddedLength(String* name);
