// Opening streams by name: the chain of stream factories, StreamOpen and its
// read and write forms, and the search for a path's spelling on disk.
//
// A plain name opens a file (TCStream); "protocol::path" is offered to the
// factories, newest first; a stream object is wrapped so that closing the
// result leaves it open; any other object goes to the factories with an
// empty protocol and path.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/stream.h"

struct TStreamFactory;

struct TStreamFactoryClass : ObjectClass {
    // Abstract here (raises TNullMethodException): the stream for the target,
    // or the Null object when this factory does not serve it.
    TStream* (*CreateStream)(TStreamFactory* self, Object* target, String* protocol, String* path,
                             int32_t readable, int32_t writeable);
};

// A factory's New links it at the head of factoryChain (the one created last
// is asked first); factories are never removed.
struct TStreamFactory : Object {
    ovRef<TStreamFactory> _succ;  // the next factory, Null at the end of the chain

    inline TStream* CreateStream(Object* target, String* protocol, String* path, int32_t readable,
                                 int32_t writeable) {
        return record<TStreamFactoryClass>()->CreateStream(this, target, protocol, path, readable, writeable);
    }
};

// The first factory of the chain; the Null object while there is none.
extern ovRef<TStreamFactory> factoryChain;

// TStreamFactory's operations; CreateStream is abstract here (raises
// TNullMethodException).
int32_t TStreamFactoryNew(Object* self);
int32_t TStreamFactoryDelete(Object* self);
TStream* TStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                    int32_t readable, int32_t writeable);

extern const ovScope TStreamFactoryScope;
extern const TStreamFactoryClass TStreamFactoryType;

inline constexpr TStreamFactoryClass TStreamFactoryType =
    ovMakeClass<TStreamFactoryClass, TStreamFactory>(ObjectType, &TStreamFactoryScope, [](auto& r) {
        r.New = TStreamFactoryNew;
        r.Delete = TStreamFactoryDelete;
        r.CreateStream = TStreamFactoryCreateStream;
    });

// The stream for the target, or the Null object.
TStream* StreamOpen(Object* target, int32_t readable, int32_t writeable);
TStream* StreamOpenRead(Object* target);
TStream* StreamOpenWrite(Object* target);

// The path with each component spelled as on disk (letters may differ in
// case from the given path), or the empty string when it does not exist.
String* ResolveFileCase(String* path);

// ---------------------------------------------------------------------------
// Factory classes of the stream modules
// ---------------------------------------------------------------------------
//
// Each such class has no fields, overrides only CreateStream (and New, to
// store its own record), and exists once, linked into the chain by its
// module's initialiser.

// The scope entries of such a factory class.
extern const ovScopeEntry ovFactoryOverrideEntries[3];

// The record of such a factory class.
template <const TStreamFactoryClass& Self>
constexpr TStreamFactoryClass ovFactoryClass(const ovScope* scope,
                                             decltype(TStreamFactoryClass::CreateStream) createStream) {
    return ovMakeClass<TStreamFactoryClass, TStreamFactory>(TStreamFactoryType, scope, [createStream](auto& r) {
        r.New = ovFieldlessNew<Self>;
        r.CreateStream = createStream;
    });
}

// Registers the factory class and creates its one instance, which links
// itself into the chain; the chain holds it from then on.
inline void ovInstallFactory(const TStreamFactoryClass& record) {
    ovObjectRegisterType(&record);
    ovObjectNew(&record);
}

