// Whole targets: loading and saving everything a target holds in one call,
// where the target is anything StreamOpen accepts (a name, a stream, a
// bank...), and the stream module's initialiser, which stands above the file
// streams and the factory chain these functions open through.
//
// Each function closes the stream it opened on every way out.  A target that
// cannot be opened throws TStreamReadException for the loads and
// TStreamWriteException for the saves.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/stream.h"

// A "b" array of every byte up to the end (or up to a read that brings
// nothing, so a stream whose Eof never turns true still ends the load).
Array* LoadBytes(Object* target);
String* LoadStringBytes(Object* target);
int32_t SaveStringBytes(String* text, Object* target);
int32_t SaveBytes(Array* bytes, Object* target);
Object* LoadObjectFrom(Object* target);
int32_t SaveObjectTo(Object* object, Object* target);

// The stream module's initialiser: runs the core and C-library modules'
// initialisers, then registers the stream classes (TStreamException ...
// TCStream, TStreamFactory) once.
void ovStreamModuleInit();
