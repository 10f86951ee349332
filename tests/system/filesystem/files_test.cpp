// Files and directories of the file system module, on real files in a
// temporary directory.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"
#include "tests/system/filesystem/filesystem_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

class FileSystem : public FileSystemTest {
protected:
    void makeDir(const std::string& name) { ASSERT_EQ(mkdir((dir / name).c_str(), 0700), 0); }
    std::string linkTarget(const std::string& name) {
        char buffer[256];
        const ssize_t n = readlink((dir / name).c_str(), buffer, sizeof buffer);
        return n < 0 ? "<none>" : std::string(buffer, static_cast<size_t>(n));
    }
};

std::vector<std::u16string> namesOf(Array* names) {
    std::vector<std::u16string> result;
    for (int32_t i = 0; i < names->count(); ++i) result.push_back(ovTestUnits(names->elements<String*>()[i]));
    return result;
}

TEST_F(FileSystem, KindsLengthsAndPermissions) {
    ovTestWriteFile(dir / "f", "12345");
    chmod((dir / "f").c_str(), 0640);
    ovTestWriteFile(dir / "a<b", "x");
    EXPECT_EQ(FileKind(at("f")), FILE_KIND_FILE);
    EXPECT_EQ(FileKind(ovTestAscii(dir.path())), FILE_KIND_DIR);
    EXPECT_EQ(FileKind(at("missing")), FILE_KIND_NONE);
    EXPECT_EQ(FileKind(ovTestAscii("/dev/null")), FILE_KIND_NONE);
    EXPECT_EQ(FileKind(ovTestAscii(dir.path() + "\\f")), FILE_KIND_FILE);
    EXPECT_EQ(FileLength(at("f")), 5);
    EXPECT_EQ(FilePermissions(at("f")), 0640);
    EXPECT_LE(std::abs(FileModTime(at("f")) - static_cast<int32_t>(std::time(nullptr))), 5);
    EXPECT_EQ(FileSetPermissions(at("f"), 0600), 0);
    EXPECT_EQ(FilePermissions(at("f")), 0600);
    // The status guard refuses angle brackets even where such a file exists.
    EXPECT_EQ(FileKind(at("a<b")), FILE_KIND_NONE);
    EXPECT_EQ(FileLength(at("a<b")), -1);
    EXPECT_EQ(FilePermissions(at("a<b")), -1);
    EXPECT_EQ(FileModTime(at("missing")), 0);
}

TEST_F(FileSystem, CreateEmptyTruncatesFilesAndRefusesDirectories) {
    ovTestWriteFile(dir / "f", "old content");
    chmod((dir / "f").c_str(), 0444);
    EXPECT_EQ(FileCreateEmpty(at("f")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "f"), "");
    EXPECT_EQ(FileCreateEmpty(at("new")), 1);
    EXPECT_EQ(FileKind(at("new")), FILE_KIND_FILE);
    makeDir("d");
    EXPECT_EQ(FileCreateEmpty(at("d")), 0);
    EXPECT_EQ(FileKind(at("d")), FILE_KIND_DIR);
}

TEST_F(FileSystem, DeleteRemovesFilesButNotDirectories) {
    ovTestWriteFile(dir / "ro", "x");
    chmod((dir / "ro").c_str(), 0444);
    EXPECT_EQ(FileDelete(at("ro")), 1);
    EXPECT_FALSE(ovTestExists(dir / "ro"));
    EXPECT_EQ(FileDelete(at("never")), 1);
    makeDir("d");
    EXPECT_EQ(FileDelete(at("d")), 0);
    EXPECT_TRUE(ovTestExists(dir / "d"));
}

TEST_F(FileSystem, RenameRefusesAnExistingTarget) {
    ovTestWriteFile(dir / "a", "A");
    ovTestWriteFile(dir / "b", "B");
    EXPECT_EQ(FileRename(at("a"), at("b")), 0);
    EXPECT_EQ(ovTestReadFile(dir / "b"), "B");
    EXPECT_EQ(FileRename(at("a"), at("c")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "c"), "A");
}

TEST_F(FileSystem, CreateDirectoryWithAndWithoutParents) {
    char* saved = getcwd(nullptr, 0);
    ASSERT_EQ(DirectoryEnter(ovTestAscii(dir.path() + "/")), 1);
    EXPECT_EQ(DirectoryCreate(ovLiteral(u"a/b/c"), 0), 0);
    EXPECT_FALSE(ovTestExists(dir / "a"));
    EXPECT_EQ(DirectoryCreate(ovLiteral(u"a\\b\\c\\"), 1), 1);
    EXPECT_EQ(FileKind(ovLiteral(u"a/b/c")), FILE_KIND_DIR);
    EXPECT_EQ(DirectoryCreate(ovLiteral(u"a/b/c"), 1), 1);
    EXPECT_EQ(DirectoryCreate(ovLiteral(u"a"), 0), 1);

    ovTestWriteFile(dir / "file", "x");
    EXPECT_EQ(DirectoryCreate(ovLiteral(u"file/b/c"), 1), 0);
    EXPECT_EQ(FileKind(ovLiteral(u"file")), FILE_KIND_FILE);
    EXPECT_FALSE(ovTestExists(dir / "file/b"));
    EXPECT_EQ(DirectoryEnter(at("missing")), 0);
    EXPECT_EQ(chdir(saved), 0);
    std::free(saved);
}

TEST_F(FileSystem, ListGrowsAndKeepsTheEnumerationOrder) {
    makeDir("many");
    for (int i = 0; i < 248; ++i) ovTestWriteFile(dir / ("many/f" + std::to_string(i)), "");
    std::vector<std::u16string> platformOrder;
    DIR* raw = opendir((dir / "many").c_str());
    while (const dirent* entry = readdir(raw)) platformOrder.push_back(ovTestUnits(ovTestAscii(entry->d_name)));
    closedir(raw);

    Array* all = DirectoryList(at("many/"), 0);
    EXPECT_EQ(namesOf(all), platformOrder);
    Array* files = DirectoryList(at("many"), 1);
    ASSERT_EQ(files->count(), 248);
    const std::vector<std::u16string> names = namesOf(files);
    EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()).count(u"f247"), 1u);
    EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()).count(u"."), 0u);
    EXPECT_EQ(DirectoryList(at("missing"), 1), &ovEmptyArray);
}

TEST_F(FileSystem, DeleteDirectoryRecursesWithoutFollowingLinks) {
    makeDir("outside");
    ovTestWriteFile(dir / "outside/keep", "K");
    makeDir("tree");
    makeDir("tree/sub");
    ovTestWriteFile(dir / "tree/sub/\xff\xfe", "x");
    ovTestWriteFile(dir / "tree/ro", "x");
    chmod((dir / "tree/ro").c_str(), 0444);
    symlink((dir / "outside").c_str(), (dir / "tree/link").c_str());
    symlink("nowhere", (dir / "tree/dangling").c_str());

    EXPECT_EQ(DirectoryDelete(at("tree"), 0), 0);
    EXPECT_EQ(DirectoryDelete(at("tree/link"), 1), 0);
    EXPECT_EQ(DirectoryDelete(at("tree"), 1), 1);
    EXPECT_FALSE(ovTestExists(dir / "tree"));
    EXPECT_EQ(ovTestReadFile(dir / "outside/keep"), "K");
    EXPECT_EQ(DirectoryDelete(at("missing"), 1), 0);
    EXPECT_EQ(DirectoryDelete(at("missing"), 0), 1);
    EXPECT_EQ(DirectoryDelete(at("outside/keep"), 1), 0);
}

// A name holding "\" would be rewritten into another path; the recursive
// functions leave it alone and fail instead of reaching that path.
TEST_F(FileSystem, RecursiveFunctionsFailOnUnreachableNames) {
    ovTestWriteFile(dir / "victim", "V");
    makeDir("tree");
    ovTestWriteFile(dir / "tree/..\\victim", "x");
    EXPECT_EQ(DirectoryDuplicate(at("tree"), at("copy")), 0);
    EXPECT_EQ(DirectoryDelete(at("tree"), 1), 0);
    EXPECT_EQ(ovTestReadFile(dir / "victim"), "V");
    EXPECT_TRUE(ovTestExists(dir / "tree/..\\victim"));
}

TEST_F(FileSystem, DuplicateCopiesTreesAndLinksAsLinks) {
    makeDir("src");
    makeDir("src/sub");
    makeDir("src/empty");
    ovTestWriteFile(dir / "src/a.txt", "alpha");
    ovTestWriteFile(dir / "src/sub/\xc3\xa9\xff", "odd name");
    symlink("../a.txt", (dir / "src/sub/rel").c_str());
    symlink((dir / "src").c_str(), (dir / "src/loop").c_str());
    mkfifo((dir / "src/fifo").c_str(), 0600);

    EXPECT_EQ(DirectoryDuplicate(at("src"), at("dst")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "dst/a.txt"), "alpha");
    EXPECT_EQ(ovTestReadFile(dir / "dst/sub/\xc3\xa9\xff"), "odd name");
    EXPECT_EQ(FileKind(at("dst/empty")), FILE_KIND_DIR);
    EXPECT_EQ(linkTarget("dst/sub/rel"), "../a.txt");
    EXPECT_EQ(linkTarget("dst/loop"), dir / "src");
    EXPECT_FALSE(ovTestExists(dir / "dst/fifo"));

    EXPECT_EQ(DirectoryDuplicate(at("src/a.txt"), at("x")), 0);
    EXPECT_EQ(DirectoryDuplicate(at("src"), at("src/inner")), 0);
    EXPECT_FALSE(ovTestExists(dir / "src/inner"));
    ovTestWriteFile(dir / "plain", "");
    EXPECT_EQ(DirectoryDuplicate(at("src"), at("plain")), 0);
}

}  // namespace
