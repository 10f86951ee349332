// Files and directories: working directory, opening, permissions, creation,
// removal, renaming, status queries, symbolic links and enumeration.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "runtime/platform_path.h"
#include "runtime/string.h"
#include "system/clib/clib.h"

namespace {

constexpr int32_t result(int status) { return status == 0 ? 0 : -1; }

// A path the platform handed out, as a String.
String* platformPathString(const std::string& bytes) {
    return ovStringFromPlatformBytes(bytes.data(), bytes.size(), ovUseWideApi);
}

}  // namespace

int32_t ovChangeDir(String* path) {
    ovPlatformText text(path);
    return result(chdir(text.c_str()));
}

FILE* ovFileOpen(String* path, String* mode) {
    ovPlatformText name(path);
    ovPlatformText how(mode, 0);
    return std::fopen(name.c_str(), how.c_str());
}

String* ovCurrentDir() { return platformPathString(ovPlatformWorkingDirectory()); }

int32_t ovChmod(String* path, int32_t mode) {
    ovPlatformText text(path);
    return result(chmod(text.c_str(), static_cast<mode_t>(mode) & 07777));
}

int32_t ovMakeDir(String* path, int32_t mode) {
    ovPlatformText text(path);
    return result(mkdir(text.c_str(), static_cast<mode_t>(mode) & 0777));
}

int32_t ovRemoveDir(String* path) {
    ovPlatformText text(path);
    return result(rmdir(text.c_str()));
}

int32_t ovRenamePath(String* from, String* to) {
    ovPlatformText source(from);
    ovPlatformText target(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the no-replace flag: look first.  Another process
    // could still create the target in between; nothing better exists there.
    struct stat existing;
    if (lstat(target.c_str(), &existing) == 0) return -1;
    return result(std::rename(source.c_str(), target.c_str()));
}

int32_t ovRemoveFile(String* path) {
    ovPlatformText text(path);
    return result(unlink(text.c_str()));
}

// ---------------------------------------------------------------------------
// Status queries
// ---------------------------------------------------------------------------

namespace {

bool holdsAngleBracket(String* path) {
    if (path == nullptr) return false;
    const uint16_t* units = path->units();
    for (int32_t i = 0; i < path->length; ++i)
        if (units[i] == '<' || units[i] == '>') return true;
    return false;
}

int32_t clampToInt(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void store(int32_t* out, int32_t value) {
    if (out != nullptr) *out = value;
}

using StatCall = int (*)(const char*, struct stat*);

int32_t statWith(StatCall call, String* path, int32_t* mode, int32_t* size, int32_t* mtime, int32_t* ctime) {
    if (holdsAngleBracket(path)) return -1;
    ovPlatformText text(path);
    struct stat status;
    if (call(text.c_str(), &status) != 0) return -1;
    store(mode, static_cast<int32_t>(status.st_mode & 0xFFFF));
    store(size, status.st_size <= INT32_MAX ? static_cast<int32_t>(status.st_size) : -1);
    store(mtime, clampToInt(status.st_mtime));
    store(ctime, clampToInt(status.st_ctime));
    return 0;
}

int statPath(const char* path, struct stat* status) { return stat(path, status); }
int statLink(const char* path, struct stat* status) { return lstat(path, status); }

}  // namespace

int32_t ovStat(String* path, int32_t* mode, int32_t* size, int32_t* mtime, int32_t* ctime) {
    return statWith(statPath, path, mode, size, mtime, ctime);
}

int32_t ovLinkStat(String* path, int32_t* mode, int32_t* size, int32_t* mtime, int32_t* ctime) {
    return statWith(statLink, path, mode, size, mtime, ctime);
}

// ---------------------------------------------------------------------------
// Symbolic links
// ---------------------------------------------------------------------------

String* ovReadLink(String* path) {
    ovPlatformText text(path);
    return platformPathString(ovPlatformReadLink(text.c_str()));
}

int32_t ovMakeLink(String* target, String* path) {
    ovPlatformText linkTarget(target);
    ovPlatformText linkPath(path);
    return result(symlink(linkTarget.c_str(), linkPath.c_str()));
}

// ---------------------------------------------------------------------------
// Directory enumeration
// ---------------------------------------------------------------------------

struct ovDirectory {
    DIR* dir;
    int32_t wide;   // the text rule in force when it was opened
    bool finished;  // readdir reported the end (or failed) once
};

ovDirectory* ovDirOpen(String* path) {
    ovPlatformText text(path);
    if (text.size() == 0) return nullptr;
    DIR* dir = opendir(text.c_str());
    if (dir == nullptr) return nullptr;
    auto* handle = new (std::nothrow) ovDirectory{dir, ovUseWideApi, false};
    if (handle == nullptr) closedir(dir);
    return handle;
}

String* ovDirRead(ovDirectory* handle) {
    if (handle == nullptr || handle->finished) return &ovEmptyString;
    const dirent* entry = readdir(handle->dir);
    if (entry == nullptr) {
        handle->finished = true;
        return &ovEmptyString;
    }
    return ovStringFromPlatformBytes(entry->d_name, std::char_traits<char>::length(entry->d_name), handle->wide);
}

int32_t ovDirClose(ovDirectory* handle) {
    if (handle == nullptr) return -1;
    const int status = closedir(handle->dir);
    delete handle;
    return result(status);
}
