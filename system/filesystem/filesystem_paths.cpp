// The path grammar: normalizing, roots, components and resolution.
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"
#include "system/filesystem/filesystem_internal.h"

namespace {

// The first index at or after from holding the unit, or -1.
int32_t findUnit(String* s, uint16_t unit, int32_t from) {
    const uint16_t* units = s->units();
    for (int32_t i = from < 0 ? 0 : from; i < s->length; ++i)
        if (units[i] == unit) return i;
    return -1;
}

int32_t findLastUnit(String* s, uint16_t unit) {
    const uint16_t* units = s->units();
    for (int32_t i = s->length - 1; i >= 0; --i)
        if (units[i] == unit) return i;
    return -1;
}

bool unitAt(String* s, int32_t i, uint16_t unit) { return i >= 0 && i < s->length && s->units()[i] == unit; }
bool endsWithSlash(String* s) { return unitAt(s, s->length - 1, '/'); }
bool startsWithDoubleSlash(String* s) { return unitAt(s, 0, '/') && unitAt(s, 1, '/'); }

String* prefix(String* s, int32_t length) { return ovStringSlice(s, 0, length); }
String* suffixFrom(String* s, int32_t from) { return ovStringSlice(s, from, s->length); }

// A drive form ('C:', 'C:x') gains its "/" unless the colon starts "::" (a
// stream name) or a "/" comes at or before the position after the colon.
String* completeDrive(String* path) {
    const int32_t colon = findUnit(path, ':', 0);
    if (colon == -1 || unitAt(path, colon + 1, ':')) return path;
    const int32_t slash = findUnit(path, '/', 0);
    if (slash != -1 && slash <= colon + 1) return path;
    return ovStringConcat(ovStringConcat(prefix(path, colon + 1), ovLiteral(u"/")), suffixFrom(path, colon + 1));
}

}  // namespace

String* ovNormalizedPath(String* path, int32_t dirPath) {
    PathNormalize(&path, dirPath);
    return path;
}

bool ovPathEquals(String* path, const char* text) {
    int32_t i = 0;
    for (; text[i] != 0; ++i)
        if (!unitAt(path, i, static_cast<uint8_t>(text[i]))) return false;
    return i == path->length;
}

String* ovPathJoin(String* directory, String* name) {
    String* base = endsWithSlash(directory) ? directory : ovStringConcat(directory, ovLiteral(u"/"));
    return ovStringConcat(base, name);
}

int32_t PathNormalize(String** path, int32_t dirPath) {
    String* p = ovStringReplace(*path, ovLiteral(u"\\"), ovLiteral(u"/"));
    if (startsWithDoubleSlash(p)) {
        if (findUnit(p, '/', 2) == -1) p = ovStringConcat(p, ovLiteral(u"/"));
    } else {
        p = completeDrive(p);
    }
    if (dirPath != 0 && endsWithSlash(p) && !PathIsRoot(p)) p = prefix(p, p->length - 1);
    *path = p;
    return 0;
}

String* PathRoot(String* path) {
    if (startsWithDoubleSlash(path)) {
        const int32_t slash = findUnit(path, '/', 2);
        return slash == -1 ? &ovEmptyString : prefix(path, slash + 1);
    }
    const int32_t colon = findUnit(path, ':', 0);
    if (colon != -1 && findUnit(path, '/', 0) == colon + 1) return prefix(path, colon + 2);
    if (unitAt(path, 0, '/')) return ovLiteral(u"/");
    return &ovEmptyString;
}

int32_t PathIsRoot(String* path) { return path->length > 0 && PathRoot(path)->length == path->length ? 1 : 0; }

// The path is taken as the grammar reads it, so 'C:x' (that is, 'C:/x') counts
// as absolute.
int32_t PathIsAbsolute(String* path) { return PathRoot(ovNormalizedPath(path, 0))->length > 0 ? 1 : 0; }

// Only a colon before any "/" marks a drive: a POSIX directory such as
// '/srv/a:b' has none.
String* CurrentDrive() {
    String* directory = ovCurrentDir();
    const int32_t colon = findUnit(directory, ':', 0);
    if (colon == -1) return &ovEmptyString;
    const int32_t slash = findUnit(directory, '/', 0);
    if (slash != -1 && slash < colon) return &ovEmptyString;
    return prefix(directory, colon);
}

String* PathName(String* path) {
    String* p = ovNormalizedPath(path, 0);
    const int32_t slash = findLastUnit(p, '/');
    return slash == -1 ? p : suffixFrom(p, slash + 1);
}

namespace {

// The index of the dot that starts the extension, or -1 when the last
// component has no dot.
int32_t extensionDot(String* p) {
    const int32_t dot = findLastUnit(p, '.');
    return dot != -1 && findUnit(p, '/', dot + 1) == -1 ? dot : -1;
}

}  // namespace

String* PathWithoutExt(String* path) {
    String* p = ovNormalizedPath(path, 0);
    const int32_t dot = extensionDot(p);
    return dot == -1 ? p : prefix(p, dot);
}

String* PathExtension(String* path) {
    String* p = ovNormalizedPath(path, 0);
    const int32_t dot = extensionDot(p);
    return dot == -1 ? &ovEmptyString : suffixFrom(p, dot + 1);
}

String* PathBaseName(String* path) { return PathName(PathWithoutExt(path)); }

String* PathWithoutSlash(String* path) {
    String* p = ovNormalizedPath(path, 0);
    return endsWithSlash(p) && !PathIsRoot(p) ? prefix(p, p->length - 1) : p;
}

namespace {

// The directory part of a normalized path; a root keeps its "/".
String* directoryPart(String* p) {
    if (ovPathEquals(p, ".") || ovPathEquals(p, "..") || PathIsRoot(p)) return p;
    const int32_t slash = findLastUnit(p, '/');
    if (slash == -1) return &ovEmptyString;
    String* withSlash = prefix(p, slash + 1);
    return PathIsRoot(withSlash) ? withSlash : prefix(p, slash);
}

// Applies one component of a path being resolved to the result so far.
String* stepInto(String* result, String* component) {
    if (component->length == 0 || ovPathEquals(component, ".")) return result;
    if (ovPathEquals(component, "..")) return PathIsRoot(result) ? result : directoryPart(result);
    return result->length == 0 ? component : ovPathJoin(result, component);
}

}  // namespace

String* PathDirectory(String* path) { return directoryPart(ovNormalizedPath(path, 0)); }

String* CurrentDirectory() { return ovNormalizedPath(ovCurrentDir(), 0); }

String* PathResolve(String* path) {
    String* p = path;
    if (unitAt(p, 0, '/') && !unitAt(p, 1, '/')) {
        String* drive = CurrentDrive();
        if (drive->length > 0) p = ovStringConcat(ovStringConcat(drive, ovLiteral(u":")), p);
    }
    PathNormalize(&p, 0);
    String* root = PathRoot(p);
    String* result = root->length > 0 ? root : CurrentDirectory();
    String* rest = suffixFrom(p, root->length);
    for (int32_t start = 0; start <= rest->length;) {
        int32_t end = findUnit(rest, '/', start);
        if (end == -1) end = rest->length;
        result = stepInto(result, ovStringSlice(rest, start, end));
        start = end + 1;
    }
    return result;
}
