// The C-library call layer: small functions through which managed code reaches
// the C library and the operating system for console text, the environment,
// files, directories, child processes and calendar time.
//
// Each function turns its Strings into platform text for the one call it makes
// and turns the answer back into a managed value.  Nothing here throws: every
// failure comes back as the C library's own failure value (-1, null, "").
//
// Platform text.  Every function reads ovUseWideApi on each call:
//   1 (the setting here): Strings go to the platform as UTF-8, a surrogate
//     pair as one four-byte sequence; bytes from the platform are decoded
//     from UTF-8, and every byte that is not part of valid UTF-8 becomes the
//     lone unit U+DC80 + byte, which converts back to that same byte.  A name
//     read from the platform therefore reaches the same file when passed back.
//     A lone surrogate that is not such an escape goes out as its three-byte
//     form.
//   0: one byte per unit, the low 8 bits out (U+0141 becomes 0x41), each byte
//     zero-extended in.
// A String holding U+0000 reaches the platform cut at that unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

struct String;

// 1: the UTF-8 (wide) text rules above; 0: the narrow low-8-bit rules.  The
// flag belongs to start-up, which sets it to 1 before any module runs.
extern int32_t ovUseWideApi;

// The C library's standard streams, stored by the module initialiser.  There
// is one FILE per standard stream, shared by every reader and writer.
extern FILE* ovStdin;
extern FILE* ovStdout;
extern FILE* ovStderr;

// Runs the core module's initialiser, does the platform's one-time socket
// set-up (and registers its teardown), and publishes the standard streams.
// Runs once; later calls return at once.
void ovStdCModuleInit();

// ---------------------------------------------------------------------------
// Text at the platform boundary
// ---------------------------------------------------------------------------

// The platform bytes of a String for the duration of one call, NUL-terminated.
// Short texts stay in the object itself; longer ones live on the C heap.
class ovPlatformText {
public:
    // Converted by ovUseWideApi.
    explicit ovPlatformText(String* text);
    // Converted by the given rule: non-zero for UTF-8 with surrogate escape,
    // 0 for the low 8 bits of each unit.
    ovPlatformText(String* text, int32_t wide);
    ~ovPlatformText();
    ovPlatformText(const ovPlatformText&) = delete;
    ovPlatformText& operator=(const ovPlatformText&) = delete;

    const char* c_str() const { return data_; }
    // Bytes before the terminating NUL (the text is cut at a unit 0).
    size_t size() const { return size_; }

private:
    void convert(String* text, int32_t wide);

    static constexpr size_t kInlineBytes = 256;
    char* data_;
    size_t size_;
    char inline_[kInlineBytes];
};

// A String from platform bytes, decoded by ovUseWideApi; null gives "".
String* ovStringFromPlatform(const char* text);
// The same for count bytes (NULs included) by the given rule.
String* ovStringFromPlatformBytes(const char* bytes, size_t count, int32_t wide);

// ---------------------------------------------------------------------------
// Character classes of the C locale, over unsigned bytes
// ---------------------------------------------------------------------------
//
// Explicit tables, so that no byte of 128 or above ever belongs to a class and
// no locale is consulted.  Arguments outside 0-255 belong to no class.

int32_t ovCharIsSpace(int32_t c);  // 9-13 and 32
int32_t ovCharIsBlank(int32_t c);  // 9 and 32
int32_t ovCharIsDigit(int32_t c);  // '0'-'9'
int32_t ovCharIsXDigit(int32_t c);  // digits, 'a'-'f', 'A'-'F'
int32_t ovCharIsAlpha(int32_t c);  // 'a'-'z', 'A'-'Z'
int32_t ovCharIsAlnum(int32_t c);
int32_t ovCharIsUpper(int32_t c);
int32_t ovCharIsLower(int32_t c);
int32_t ovCharIsPunct(int32_t c);  // printable, not alphanumeric, not space
int32_t ovCharIsPrint(int32_t c);  // 32-126
int32_t ovCharIsCntrl(int32_t c);  // 0-31 and 127

// ---------------------------------------------------------------------------
// Console, environment, text output
// ---------------------------------------------------------------------------

// The next character of standard input: narrow, one byte (0-255) or -1 at the
// end; wide, one UTF-16 unit decoded from UTF-8 (a character beyond U+FFFF
// comes as its two surrogates on two calls), or 65535 at the end.
int32_t ovConsoleGetChar();
// Writes the text and a line feed to standard output: non-negative on
// success, EOF on failure.
int32_t ovConsolePutLine(String* text);
// "name=value" sets the variable, "name=" removes it: 0 on success, -1 for a
// text without "=" or with an empty name, or when the platform refuses.
int32_t ovEnvPut(String* assignment);
// The variable's value, "" when it is not set.
String* ovEnvGet(String* name);
// Writes the text to the stream: non-negative on success, EOF on failure.
int32_t ovFilePutText(String* text, FILE* stream);

// ---------------------------------------------------------------------------
// Files and directories (0 = success, -1 = failure unless stated otherwise)
// ---------------------------------------------------------------------------

int32_t ovChangeDir(String* path);
// fopen with a C mode such as "rb", "wb", "r+b"; null on failure.
FILE* ovFileOpen(String* path, String* mode);
// The working directory at any length; "" on failure.
String* ovCurrentDir();
// Sets the permission bits (mode & 07777).
int32_t ovChmod(String* path, int32_t mode);
// Creates a directory with the permission bits of mode (mode & 0777) under the
// process's umask: the callers' 1023 gives 0777 less the umask.
int32_t ovMakeDir(String* path, int32_t mode);
// Removes an empty directory.
int32_t ovRemoveDir(String* path);
// Renames a file or directory; fails (non-zero) when the target exists, rather
// than replacing it.
int32_t ovRenamePath(String* from, String* to);
// Removes a file (or a symbolic link itself) with unlink, never a directory.
// A file's own permission bits never stop its removal on POSIX, so the file is
// deleted without changing its mode (or the mode of a link's target).
int32_t ovRemoveFile(String* path);

// The status of a path: four values in this order, mode (type and permission
// bits of st_mode), size in bytes, modification time and change time (seconds
// since 1970-01-01 UTC).  A path holding '<' or '>' fails without a call.  On
// failure the out-values are left as they were; any out-pointer may be null.
// A size that does not fit an Int is given as -1; times beyond the Int range
// are clamped to it.
int32_t ovStat(String* path, int32_t* mode, int32_t* size, int32_t* mtime, int32_t* ctime);
// The same for the path itself when it is a symbolic link (lstat): its type
// bits are then 0xA000.
int32_t ovLinkStat(String* path, int32_t* mode, int32_t* size, int32_t* mtime, int32_t* ctime);
// The target text of a symbolic link, "" on failure.
String* ovReadLink(String* path);
// Creates a symbolic link at path whose target text is target.
int32_t ovMakeLink(String* target, String* path);

// Mode type bits as ovStat reports them.
inline constexpr int32_t OV_MODE_TYPE_MASK = 0xF000;
inline constexpr int32_t OV_MODE_FILE = 0x8000;
inline constexpr int32_t OV_MODE_DIRECTORY = 0x4000;
inline constexpr int32_t OV_MODE_LINK = 0xA000;
inline constexpr int32_t OV_MODE_PERMISSIONS = 0x1FF;

// ---------------------------------------------------------------------------
// Directory enumeration
// ---------------------------------------------------------------------------

// An open enumeration; the text rule in force at open is used for its names.
struct ovDirectory;

// Null when the path is empty, missing or not a directory.
ovDirectory* ovDirOpen(String* path);
// Every entry the platform lists, in its order and unsorted, "." and ".."
// included; after the last one "" on this and every later call (also for a
// null handle).
String* ovDirRead(ovDirectory* handle);
// Releases the handle: 0, or -1 for a null handle or a failed close.
int32_t ovDirClose(ovDirectory* handle);

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

// Runs the command line and waits for the child.  The line is split into words
// as a Windows program splits its command line (see ovSplitCommandLine); the
// first word names the program, looked up in PATH.  The result is the child's
// exit status (128 + the signal's number when a signal ended it), or, when the
// program could not be started, the error number without waiting (2 for a
// missing program).  -1 when waiting for the child fails.
int32_t ovRunCommand(String* commandLine);

// The words of a command line (platform bytes) by the Windows rules: in the
// program name double quotes only toggle quoting and an unquoted space or tab
// ends it (no escapes); the other words are separated by spaces and tabs, a
// double quote toggles quoting, "" inside quotes is a literal quote, 2n
// backslashes before a quote give n backslashes, 2n+1 give n and a literal
// quote, other backslashes are literal.
std::vector<std::string> ovSplitCommandLine(const char* commandLine);

// ---------------------------------------------------------------------------
// Calendar time (the platform's time_t)
// ---------------------------------------------------------------------------

// The current calendar time, also stored through the pointer when not null;
// -1 on failure.
time_t ovTimeNow(time_t* result);
// The local broken-down time of the value, in storage of the calling thread
// (valid until the thread's next call); null for a null pointer or a time the
// platform cannot convert.
struct tm* ovLocalTime(const time_t* value);
// strftime into the buffer with the format's narrow text: the number of bytes
// written, 0 when they do not fit or an argument is missing.
int32_t ovFormatTime(char* buffer, int32_t size, String* format, const struct tm* time);
