// Paths the platform hands out in a buffer of the caller's size: the working
// directory and the target of a symbolic link.  Their lengths have no bound,
// so the buffer grows until the path fits.
#pragma once

#include <string>

// The working directory's bytes, or empty when it cannot be read.
std::string ovPlatformWorkingDirectory();
// The bytes a symbolic link holds, or empty when path is not a readable link.
std::string ovPlatformReadLink(const char* path);
