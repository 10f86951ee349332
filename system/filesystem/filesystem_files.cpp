// Files and directories: kinds and status, creation, deletion, renaming,
// enumeration, listing and the recursive delete and duplicate.
#include <cstdio>

#include "runtime/array.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"
#include "system/filesystem/filesystem_internal.h"

namespace {

constexpr int32_t kMakeDirMode = 1023;
constexpr int32_t kListGrowth = 100;

int32_t kindOfMode(int32_t mode) {
    switch (mode & OV_MODE_TYPE_MASK) {
        case OV_MODE_FILE: return FILE_KIND_FILE;
        case OV_MODE_DIRECTORY: return FILE_KIND_DIR;
        default: return FILE_KIND_NONE;
    }
}

// What a path names itself, without following a final symbolic link: the
// recursive functions decide by this, so they never leave the tree through a
// link.
enum class EntryKind { None, File, Directory, Link };

EntryKind entryKind(String* path) {
    int32_t mode = 0;
    if (ovLinkStat(ovNormalizedPath(path, 0), &mode, nullptr, nullptr, nullptr) != 0) return EntryKind::None;
    if ((mode & OV_MODE_TYPE_MASK) == OV_MODE_LINK) return EntryKind::Link;
    switch (kindOfMode(mode)) {
        case FILE_KIND_FILE: return EntryKind::File;
        case FILE_KIND_DIR: return EntryKind::Directory;
        default: return EntryKind::None;
    }
}

bool isDotName(String* name) { return ovPathEquals(name, ".") || ovPathEquals(name, ".."); }

// A name the path grammar (or the status guard, or the stream names) would
// rewrite or refuse, so that joining it to its directory does not address it.
bool isUnreachableName(String* name) {
    const uint16_t* units = name->units();
    for (int32_t i = 0; i < name->length; ++i) {
        const uint16_t u = units[i];
        if (u == '\\' || u == '<' || u == '>') return true;
        if (u == ':' && i + 1 < name->length && units[i + 1] == ':') return true;
    }
    return false;
}

// Closes an enumeration on every way out of a scope, exceptions included.
class OpenDirectory {
public:
    explicit OpenDirectory(String* path) : handle_(ovDirOpen(path)) {}
    ~OpenDirectory() {
        if (handle_ != nullptr) ovDirClose(handle_);
    }
    OpenDirectory(const OpenDirectory&) = delete;
    OpenDirectory& operator=(const OpenDirectory&) = delete;

    bool isOpen() const { return handle_ != nullptr; }
    String* next() { return ovDirRead(handle_); }

private:
    ovDirectory* handle_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------

int32_t FileKind(String* path) {
    int32_t mode = 0;
    if (ovStat(ovNormalizedPath(path, 0), &mode, nullptr, nullptr, nullptr) != 0) return FILE_KIND_NONE;
    return kindOfMode(mode);
}

int32_t FileModTime(String* path) {
    int32_t mtime = 0;
    ovStat(ovNormalizedPath(path, 0), nullptr, nullptr, &mtime, nullptr);
    return mtime;
}

int32_t FileLength(String* path) {
    int32_t size = -1;
    ovStat(ovNormalizedPath(path, 0), nullptr, &size, nullptr, nullptr);
    return size;
}

int32_t FilePermissions(String* path) {
    int32_t mode = 0;
    if (ovStat(ovNormalizedPath(path, 0), &mode, nullptr, nullptr, nullptr) != 0) return -1;
    return mode & OV_MODE_PERMISSIONS;
}

int32_t FileSetPermissions(String* path, int32_t mode) {
    ovChmod(ovNormalizedPath(path, 0), mode);
    return 0;
}

// ---------------------------------------------------------------------------
// Creating, deleting, renaming
// ---------------------------------------------------------------------------

int32_t FileCreateEmpty(String* path) {
    String* p = ovNormalizedPath(path, 0);
    ovRemoveFile(p);
    if (FILE* file = ovFileOpen(p, ovLiteral(u"wb"))) std::fclose(file);
    return FileKind(p) == FILE_KIND_FILE ? 1 : 0;
}

namespace {

// Walks the resolved path one "/" at a time ('/a/b/' gives "/", '/a/', then
// '/a/b/') and makes each directory that is missing.
int32_t createWithParents(String* path) {
    String* full = ovStringConcat(PathResolve(path), ovLiteral(u"/"));
    for (int32_t i = 0; i < full->length; ++i) {
        if (full->units()[i] != '/') continue;
        String* step = ovStringSlice(full, 0, i + 1);
        const int32_t kind = FileKind(step);
        if (kind == FILE_KIND_DIR) continue;
        if (kind == FILE_KIND_FILE) return 0;
        String* directory = PathWithoutSlash(step);
        ovMakeDir(directory, kMakeDirMode);
        if (FileKind(directory) != FILE_KIND_DIR) return 0;
    }
    return 1;
}

}  // namespace

int32_t DirectoryCreate(String* path, int32_t recurse) {
    String* p = ovNormalizedPath(path, 1);
    if (recurse) return createWithParents(p);
    ovMakeDir(p, kMakeDirMode);
    return FileKind(p) == FILE_KIND_DIR ? 1 : 0;
}

int32_t FileDelete(String* path) {
    String* p = ovNormalizedPath(path, 0);
    ovRemoveFile(p);
    return FileKind(p) == FILE_KIND_NONE ? 1 : 0;
}

int32_t FileRename(String* from, String* to) {
    return ovRenamePath(ovNormalizedPath(from, 0), ovNormalizedPath(to, 0)) == 0 ? 1 : 0;
}

namespace {

// Removes what the directory holds: files and links (the links themselves),
// and directories with their contents.  Other kinds and unreachable names
// stay, so that removing the directory itself then fails.
void deleteContents(String* directory) {
    OpenDirectory entries(directory);
    if (!entries.isOpen()) return;
    for (String* name = entries.next(); name->length > 0; name = entries.next()) {
        if (isDotName(name) || isUnreachableName(name)) continue;
        String* entry = ovPathJoin(directory, name);
        switch (entryKind(entry)) {
            case EntryKind::File:
            case EntryKind::Link: FileDelete(entry); break;
            case EntryKind::Directory: DirectoryDelete(entry, 1); break;
            case EntryKind::None: break;
        }
    }
}

}  // namespace

int32_t DirectoryDelete(String* path, int32_t recurse) {
    String* p = ovNormalizedPath(path, 1);
    if (recurse) {
        // Only a real directory is entered; a link to one is not followed.
        if (entryKind(p) != EntryKind::Directory) return 0;
        deleteContents(p);
    }
    ovRemoveDir(p);
    return FileKind(p) == FILE_KIND_NONE ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Enumeration and listing
// ---------------------------------------------------------------------------

int32_t DirectoryEnter(String* path) { return ovChangeDir(ovNormalizedPath(path, 1)) == 0 ? 1 : 0; }

ovDirectory* DirectoryOpen(String* path) { return ovDirOpen(ovNormalizedPath(path, 1)); }

String* DirectoryNextEntry(ovDirectory* handle) { return ovDirRead(handle); }

int32_t DirectoryClose(ovDirectory* handle) {
    ovDirClose(handle);
    return 0;
}

Array* DirectoryList(String* path, int32_t skipDots) {
    OpenDirectory entries(ovNormalizedPath(path, 1));
    if (!entries.isOpen()) return &ovEmptyArray;
    Array* names = ovArrayNew1D("$", kListGrowth);
    int32_t count = 0;
    for (String* name = entries.next(); name->length > 0; name = entries.next()) {
        if (skipDots && isDotName(name)) continue;
        if (count == names->count()) names = ovArraySlice("$", names, 0, count + kListGrowth);
        ovStore(names->elements<String*>()[count++], name);
    }
    return ovArraySlice("$", names, 0, count);
}

// ---------------------------------------------------------------------------
// Duplicating a tree
// ---------------------------------------------------------------------------

namespace {

bool copyLink(String* from, String* to) {
    String* target = ovReadLink(ovNormalizedPath(from, 0));
    return target->length > 0 && ovMakeLink(target, ovNormalizedPath(to, 0)) == 0;
}

bool copyEntry(String* from, String* to);

// Copies the entries of from into to, which is created when missing.
bool duplicateInto(String* from, String* to) {
    if (FileKind(to) == FILE_KIND_NONE) DirectoryCreate(to, 0);
    if (FileKind(to) != FILE_KIND_DIR) return false;
    Array* names = DirectoryList(from, 1);
    for (int32_t i = 0; i < names->count(); ++i) {
        String* name = names->elements<String*>()[i];
        if (isUnreachableName(name)) return false;
        if (!copyEntry(ovPathJoin(from, name), ovPathJoin(to, name))) return false;
    }
    ovKeepAlive(names);
    return true;
}

bool copyEntry(String* from, String* to) {
    switch (entryKind(from)) {
        case EntryKind::Directory: return duplicateInto(from, to);
        case EntryKind::File: return FileDuplicate(from, to) != 0;
        case EntryKind::Link: return copyLink(from, to);
        case EntryKind::None: return true;  // fifos, sockets, devices: skipped
    }
    return true;
}

// True when the resolved target is the source or lies inside it, where the
// copy would keep finding its own output.
bool isInside(String* target, String* source) {
    String* resolvedSource = PathResolve(source);
    String* resolvedTarget = PathResolve(target);
    return ovStringCompare(resolvedSource, resolvedTarget) == 0 ||
           ovStringStartsWith(resolvedTarget, ovPathJoin(resolvedSource, &ovEmptyString));
}

}  // namespace

int32_t DirectoryDuplicate(String* from, String* to) {
    String* source = ovNormalizedPath(from, 0);
    String* target = ovNormalizedPath(to, 0);
    if (FileKind(source) != FILE_KIND_DIR || isInside(target, source)) return 0;
    return duplicateInto(source, target) ? 1 : 0;
}
