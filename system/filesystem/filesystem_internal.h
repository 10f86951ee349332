// Helpers shared by the files of the file system module.
#pragma once

#include <cstdint>

struct String;

// The path as PathNormalize rewrites it.
String* ovNormalizedPath(String* path, int32_t dirPath);
// True when the path's units are exactly the ASCII text.
bool ovPathEquals(String* path, const char* text);
// directory + "/" + name, without doubling the "/" of a root such as "/".
String* ovPathJoin(String* directory, String* name);
