// The file system module's path grammar over arbitrary text: rewriting is
// stable, the parts of a path are parts of it, and a resolved path is
// absolute, free of "." and "..", and resolves to itself.
#include "fuzz/fuzz_support.h"
#include "system/filesystem/filesystem.h"

namespace {

String* normalized(String* path, int32_t dirPath) {
    PathNormalize(&path, dirPath);
    return path;
}

bool startsWith(String* s, String* prefix) { return ovStringStartsWith(s, prefix) != 0; }
bool contains(String* s, String* text) { return ovStringFind(s, text, 0) >= 0; }

// As a directory the path loses at most one trailing "/".
void checkRewriting(String* path) {
    String* once = normalized(path, 0);
    OV_FUZZ_CHECK(!contains(once, ovLiteral(u"\\")));
    OV_FUZZ_CHECK(ovFuzzSame(normalized(once, 0), once));
    String* directory = normalized(path, 1);
    const bool lostSlash = directory->length == once->length - 1 && ovStringEndsWith(once, ovLiteral(u"/")) != 0;
    OV_FUZZ_CHECK(ovFuzzSame(directory, once) || (lostSlash && startsWith(once, directory)));
}

void checkParts(String* path) {
    String* n = normalized(path, 0);
    OV_FUZZ_CHECK(startsWith(n, PathRoot(n)));
    OV_FUZZ_CHECK(!contains(PathName(path), ovLiteral(u"/")));
    OV_FUZZ_CHECK(startsWith(n, PathDirectory(path)));
    String* withoutExt = PathWithoutExt(path);
    String* extension = PathExtension(path);
    if (ovFuzzSame(withoutExt, n)) {
        OV_FUZZ_CHECK(extension->length == 0);
    } else {
        String* dotted = ovStringConcat(ovStringConcat(withoutExt, ovLiteral(u".")), extension);
        OV_FUZZ_CHECK(ovFuzzSame(dotted, n));
    }
}

void checkResolved(String* path) {
    String* resolved = PathResolve(path);
    String* root = PathRoot(resolved);
    OV_FUZZ_CHECK(root->length > 0);
    String* rest = ovStringConcat(ovLiteral(u"/"), ovStringSlice(resolved, root->length, resolved->length));
    String* walked = ovStringConcat(rest, ovLiteral(u"/"));
    OV_FUZZ_CHECK(!contains(walked, ovLiteral(u"/./")) && !contains(walked, ovLiteral(u"/../")));
    OV_FUZZ_CHECK(rest->length == 1 || !contains(walked, ovLiteral(u"//")));
    OV_FUZZ_CHECK(ovFuzzSame(PathResolve(resolved), resolved));
}

}  // namespace

const size_t ovFuzzMaxInput = 1024;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    String* path = ovStringFromBytes(data, static_cast<int32_t>(size));
    checkRewriting(path);
    checkParts(path);
    checkResolved(path);
}
