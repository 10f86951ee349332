#include "runtime/startup.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "runtime/array.h"
#include "runtime/fault.h"
#include "runtime/memory.h"
#include "runtime/platform_path.h"
#include "runtime/string.h"
#include "runtime/thread.h"

ovRef<Array> ovAppArguments = {&ovEmptyArray};
ovRef<String> ovAppPath = {&ovEmptyString};
ovRef<String> ovAppDirectory = {&ovEmptyString};
ovRef<String> ovStartDirectory = {&ovEmptyString};
ovRef<String> ovAppTitle = {&ovEmptyString};
int32_t ovUseWideApi = 0;
int32_t ovMainThreadId = 0;

namespace {

ovApplicationEntry applicationEntry = nullptr;
ovPlatformTextDecoder platformDecoder = ovStringFromCString;
// ovEntry's frame: the stack base of the collector once ovEntry runs.
void* entryFrame = nullptr;

int32_t currentThreadId() { return static_cast<int32_t>(gettid()); }

// Length of the directory part of a path of n units whose separators are
// all "/": the index of the last "/", 0 when that is the first unit or there
// is none, one more after a drive colon.  One rule for bytes and Strings.
template <class Unit>
int64_t directoryLength(const Unit* path, int64_t n) {
    int64_t last = n - 1;
    while (last >= 0 && path[last] != '/') --last;
    if (last <= 0) return 0;
    return path[last - 1] == ':' ? last + 1 : last;
}

void forwardSlashesInPlace(std::string& path) {
    for (char& c : path)
        if (c == '\\') c = '/';
}

// Decodes platform text and stores it, held for the process's life.
void holdPlatformText(ovRef<String>& global, const std::string& bytes) { global.set(platformDecoder(bytes.c_str())); }

void recordArguments(int argc, char** argv) {
    Array* arguments = ovArrayNew1D("$", argc);
    ovAppArguments.set(arguments);
    for (int i = 0; i < argc; ++i) ovStore(arguments->elements<String*>()[i], platformDecoder(argv[i]));
}

}  // namespace

void ovSetApplicationEntry(ovApplicationEntry entry) { applicationEntry = entry; }

void ovSetPlatformTextDecoder(ovPlatformTextDecoder decoder) {
    platformDecoder = decoder != nullptr ? decoder : ovStringFromCString;
}

int32_t ovEntry(int argc, char** argv) {
    entryFrame = __builtin_frame_address(0);
    ovInstallFaultHandlers();
    ovStartup(argc, argv);
    if (applicationEntry != nullptr) applicationEntry();
    return 0;
}

void ovStartup(int argc, char** argv) {
    // Everything the runtime later puts on the main thread's stack lies below
    // ovEntry's frame (or, when called on its own, below this one).
    ovGCSetStackBaseAt(entryFrame != nullptr ? entryFrame : __builtin_frame_address(0));
    ovThreadStartup();
    ovGCStartup();
    ovUseWideApi = 1;

    std::string start = ovPlatformWorkingDirectory();
    forwardSlashesInPlace(start);
    holdPlatformText(ovStartDirectory, start);

    std::string path = ovPlatformReadLink("/proc/self/exe");
    forwardSlashesInPlace(path);
    holdPlatformText(ovAppPath, path);
    const std::string directory = path.substr(0, static_cast<size_t>(directoryLength(path.data(), path.size())));
    holdPlatformText(ovAppDirectory, directory);
    // Relative names, the default program file among them, now resolve
    // against the executable's directory.  An empty or vanished directory
    // leaves the starting one in force.
    if (chdir(directory.c_str()) != 0) {
        // ignored on purpose
    }

    ovAppTitle.set(ovLiteral(u"Orvane Application"));
    recordArguments(argc, argv);
    ovMainThreadId = currentThreadId();
}

int32_t ovIsMainThread() { return currentThreadId() == ovMainThreadId ? 1 : 0; }

String* ovAppDirectoryOf(String* appPath) {
    return ovStringSlice(appPath, 0, static_cast<int32_t>(directoryLength(appPath->units(), appPath->length)));
}
