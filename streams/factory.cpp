// The factory chain, StreamOpen and the search for a path's spelling on disk.
#include "streams/factory.h"

#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/wrapper.h"
#include "system/clib/clib.h"

ovRef<TStreamFactory> factoryChain = {ovNullOf<TStreamFactory>()};

namespace {

constexpr ovScopeEntry factoryEntries[] = {
    OV_FIELD_ENTRY(TStreamFactory, _succ, ":TStreamFactory"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_METHOD_ENTRY(TStreamFactoryClass, CreateStream, "(:Object,$,$,i,i):TStream"),
    ovScopeEndEntry,
};

// The first answer of the chain, newest factory first.
TStream* askFactories(Object* target, String* protocol, String* path, int32_t readable, int32_t writeable) {
    for (TStreamFactory* factory = factoryChain; factory != ovNull; factory = factory->_succ) {
        TStream* stream = factory->CreateStream(target, protocol, path, readable, writeable);
        if (stream != ovNull) return stream;
    }
    return ovNullOf<TStream>();
}

// ---------------------------------------------------------------------------
// ResolveFileCase
// ---------------------------------------------------------------------------

bool existsAsFileOrDirectory(String* path) {
    int32_t mode = 0;
    if (ovStat(path, &mode, nullptr, nullptr, nullptr) != 0) return false;
    const int32_t type = mode & OV_MODE_TYPE_MASK;
    return type == OV_MODE_FILE || type == OV_MODE_DIRECTORY;
}

// The index of the last "/" before the final character (a trailing "/" does
// not separate), or -1.
int32_t lastSeparator(String* path) {
    const uint16_t* units = path->units();
    for (int32_t i = path->length - 2; i >= 0; --i)
        if (units[i] == u'/') return i;
    return -1;
}

// The entry of the directory whose lower-case form equals the lower-case
// name, or the empty string.
String* findEntryIgnoringCase(String* directory, String* name) {
    ovDirectory* handle = ovDirOpen(directory);
    if (handle == nullptr) return &ovEmptyString;
    String* wanted = ovStringToLower(name);
    String* found = &ovEmptyString;
    for (String* entry = ovDirRead(handle); entry->length > 0; entry = ovDirRead(handle)) {
        if (ovStringCompare(ovStringToLower(entry), wanted) == 0) {
            found = entry;
            break;
        }
    }
    ovDirClose(handle);
    return found;
}

}  // namespace

constexpr ovScope TStreamFactoryScope = {OV_SCOPE_CLASS, "TStreamFactory", factoryEntries};

constexpr ovScopeEntry ovFactoryOverrideEntries[] = {
    OV_METHOD_ENTRY(TStreamFactoryClass, New, "()i"),
    OV_METHOD_ENTRY(TStreamFactoryClass, CreateStream, "(:Object,$,$,i,i):TStream"),
    ovScopeEndEntry,
};

int32_t TStreamFactoryNew(Object* object) {
    auto* self = ovChainNew<TStreamFactory, TStreamFactoryType>(object);
    self->_succ.init(factoryChain);
    factoryChain.set(self);
    return 0;
}

int32_t TStreamFactoryDelete(Object* object) {
    static_cast<TStreamFactory*>(object)->_succ.release();
    return ovChainDelete<TStreamFactoryType>(object);
}

TStream* TStreamFactoryCreateStream(TStreamFactory*, Object*, String*, String*, int32_t, int32_t) {
    RaiseNullMethod();
}

// A stream is wrapped without asking the factories; a name without "::" is a
// file and never reaches them; everything else does, with the protocol in
// lower case and the target itself (not its name) passed on.
TStream* StreamOpen(Object* target, int32_t readable, int32_t writeable) {
    if (ovIsInstance(target, &TStreamType)) return TStreamStreamCreate(static_cast<TStream*>(target));
    String* name = ovIsInstance(target, &StringType) ? static_cast<String*>(target) : &ovEmptyString;
    String* protocol = &ovEmptyString;
    String* path = &ovEmptyString;
    if (name->length > 0) {
        const int32_t separator = ovStringFind(name, ovLiteral(u"::"), 0);
        if (separator < 0) return TCStreamOpenFile(name, readable, writeable);
        protocol = ovStringToLower(ovStringSlice(name, 0, separator));
        path = ovStringSlice(name, separator + 2, name->length);
    }
    return askFactories(target, protocol, path, readable, writeable);
}

TStream* StreamOpenRead(Object* target) { return StreamOpen(target, 1, 0); }
TStream* StreamOpenWrite(Object* target) { return StreamOpen(target, 0, 1); }

String* ResolveFileCase(String* path) {
    if (existsAsFileOrDirectory(path)) return path;
    const int32_t separator = lastSeparator(path);
    if (separator < 1) return findEntryIgnoringCase(ovLiteral(u"."), path);
    String* prefix = ResolveFileCase(ovStringSlice(path, 0, separator));
    if (prefix->length == 0) return &ovEmptyString;
    String* name = ovStringSlice(path, prefix->length + 1, path->length);
    String* entry = findEntryIgnoringCase(prefix, name);
    if (entry->length == 0) return &ovEmptyString;
    return ovStringConcat(ovStringConcat(prefix, ovLiteral(u"/")), entry);
}
