// The file system module: one path grammar for every path, files and
// directories through the C-library layer, and files opened as streams.
//
// Path grammar.  Every path is rewritten by PathNormalize before use: "\" is
// the same separator as "/" and becomes it, a share form '//server' gains its
// "/", and a drive form 'C:' or 'C:x' gains a "/" after the colon, unless the
// colon is followed by another one (a stream name such as 'incbin::data') or
// a "/" comes before it.  A root is "/", a drive root such as 'C:/' (any text
// before the first colon counts as the drive name) or a share root
// '//server/'.  On POSIX the drive and share forms are plain text rules: the
// working directory never has a drive, so CurrentDrive is always "" and a
// path starting with a single "/" resolves to itself.
//
// Names the grammar rewrites cannot be reached: a file whose name holds "\"
// (it would become a separator), "::" (it would be read as a stream name) or
// '<' or '>' (status queries refuse them) can be listed but not addressed.
// The recursive functions (DirectoryDelete with recurse, DirectoryDuplicate)
// do not touch such an entry and report failure instead.
//
// Results.  Nothing here throws except the stream functions, which pass on the
// stream layer's exceptions.  Creating and deleting functions judge success by
// looking at the file system afterwards (FileKind), not by the calls' codes.
#pragma once

#include <cstdint>

struct Array;
struct Object;
struct String;
struct TStream;
struct ovDirectory;

inline constexpr int32_t FILE_KIND_NONE = 0;  // nothing there, or neither file nor directory
inline constexpr int32_t FILE_KIND_FILE = 1;
inline constexpr int32_t FILE_KIND_DIR = 2;

// Runs, once, the initialisers of the core, the standard-C and the bank
// stream modules, in that order.
void ovFileSystemModuleInit();

// ---------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------

// Rewrites *path by the grammar; with dirPath non-zero, one trailing "/" of a
// path that is not a root is removed too.  Returns 0.
int32_t PathNormalize(String** path, int32_t dirPath);
// The root prefix of a normalized path ('//srv/', 'C:/', "/"), or "".
String* PathRoot(String* path);
// 1 when the path is non-empty and is its own root.
int32_t PathIsRoot(String* path);
// 1 when the path has a root.
int32_t PathIsAbsolute(String* path);
// The text before the first ":" of the working directory when it starts with
// a drive root; "" otherwise (always, on POSIX).
String* CurrentDrive();
// The last component, or the whole path without a "/".
String* PathName(String* path);
// The path without its extension and dot ('.profile' gives "").
String* PathWithoutExt(String* path);
// PathName of PathWithoutExt.
String* PathBaseName(String* path);
// The path without one trailing "/", unless it is a root.
String* PathWithoutSlash(String* path);
// The directory part: 'a/b/c' gives 'a/b', '/a' gives "/", 'C:/a' gives 'C:/',
// 'a' gives ""; ".", ".." and roots give themselves.
String* PathDirectory(String* path);
// The extension without its dot, or "".
String* PathExtension(String* path);
// The working directory, normalized; "" when it cannot be read.
String* CurrentDirectory();
// The absolute path with "." and ".." resolved; relative paths are taken from
// the working directory.
String* PathResolve(String* path);

// ---------------------------------------------------------------------------
// Files and directories
// ---------------------------------------------------------------------------

int32_t FileKind(String* path);
// Seconds since 1970-01-01 UTC, 0 on failure.
int32_t FileModTime(String* path);
// Bytes, -1 on failure (also for a size beyond the Int range).
int32_t FileLength(String* path);
// Permission bits (mode & 0x1FF), -1 on failure.
int32_t FilePermissions(String* path);
// Returns 0 always.
int32_t FileSetPermissions(String* path, int32_t mode);
// Truncates or creates a regular file: 1 if one exists at the path afterwards.
int32_t FileCreateEmpty(String* path);
// 1 if a directory exists at the path afterwards; with recurse, the missing
// parents are created first, outermost first.
int32_t DirectoryCreate(String* path, int32_t recurse);
// 1 if nothing exists at the path afterwards (a directory is left alone).
int32_t FileDelete(String* path);
// 1 if the rename succeeded; an existing target makes it fail.
int32_t FileRename(String* from, String* to);
// Copies one stream to another (either may be a stream name): 1 on success, 0
// when an end cannot be opened or writing fails.
int32_t FileDuplicate(String* from, String* to);
// Copies a directory tree into to (created when missing): 1 on success, 0 at
// the first failure (what was copied stays).  Symbolic links inside the tree
// are copied as links; other special files are skipped.
int32_t DirectoryDuplicate(String* from, String* to);
// Removes the directory (with recurse, its contents first; symbolic links are
// removed, never followed): 1 if nothing exists at the path afterwards.
int32_t DirectoryDelete(String* path, int32_t recurse);
// 1 if the working directory changed.
int32_t DirectoryEnter(String* path);
// An enumeration of the directory's entries ("." and ".." included), or 0.
ovDirectory* DirectoryOpen(String* path);
// The next entry name, "" at the end.
String* DirectoryNextEntry(ovDirectory* handle);
// Returns 0.
int32_t DirectoryClose(ovDirectory* handle);
// A "$" array of the entry names in the platform's order, without "." and
// ".." when skipDots is non-zero; the empty array when the path cannot be
// listed.
Array* DirectoryList(String* path, int32_t skipDots);

// ---------------------------------------------------------------------------
// Files as streams
// ---------------------------------------------------------------------------

// StreamOpen of the url; a stream that cannot seek is read whole into a bank,
// closed, and a memory stream over the bank is returned instead.  The Null
// object when the url cannot be opened.
TStream* FileOpenStream(Object* url, int32_t readable, int32_t writeable);
TStream* FileOpenRead(Object* url);
TStream* FileOpenWrite(Object* url);
// Closes the stream; returns 0.
int32_t FileCloseStream(TStream* stream);
