// The factory classes of the stream modules: each has no fields, overrides
// only CreateStream (and New, to store its own record), and exists once,
// linked into the factory chain by its module's initialiser.
#pragma once

#include <cstddef>

#include "runtime/object.h"
#include "streams/factory.h"

// The scope of such a factory class.
inline constexpr ovScopeEntry ovFactoryOverrideEntries[] = {
    OV_METHOD_ENTRY(TStreamFactoryClass, New, "()i"),
    OV_METHOD_ENTRY(TStreamFactoryClass, CreateStream, "(:Object,$,$,i,i):TStream"),
    ovScopeEndEntry,
};

// Fills the record of such a factory class.  It derives from a record of
// another file, so the module's initialiser runs this.
template <TStreamFactoryClass& Self>
void ovFillFactoryClass(const ovScope* scope, decltype(TStreamFactoryClass::CreateStream) createStream) {
    Self = ovMakeClass<TStreamFactoryClass, TStreamFactory>(TStreamFactoryType, scope, [createStream](auto& r) {
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
