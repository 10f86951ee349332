// The path grammar: normalizing, roots, components and resolution.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "runtime/string.h"
#include "system/filesystem/filesystem.h"
#include "tests/support/system_test_support.h"

namespace {

std::u16string normalize(std::u16string_view path, int32_t dirPath) {
    String* p = ovTestString(path);
    EXPECT_EQ(PathNormalize(&p, dirPath), 0);
    return ovTestUnits(p);
}

template <class Function>
std::u16string apply(Function function, std::u16string_view path) {
    return ovTestUnits(function(ovTestString(path)));
}

TEST(PathNormalize, RewritesSeparatorsDrivesAndShares) {
    EXPECT_EQ(normalize(u"a\\b\\c", 0), u"a/b/c");
    EXPECT_EQ(normalize(u"C:", 0), u"C:/");
    EXPECT_EQ(normalize(u"C:x\\y", 0), u"C:/x/y");
    EXPECT_EQ(normalize(u"C:/x", 0), u"C:/x");
    EXPECT_EQ(normalize(u"//srv", 0), u"//srv/");
    EXPECT_EQ(normalize(u"\\\\srv\\share", 0), u"//srv/share");
    EXPECT_EQ(normalize(u"incbin::x", 0), u"incbin::x");
    EXPECT_EQ(normalize(u"a::b", 0), u"a::b");
    EXPECT_EQ(normalize(u"dir/a:b", 0), u"dir/a:b");
    EXPECT_EQ(normalize(u"a/b/", 0), u"a/b/");
    EXPECT_EQ(normalize(u"", 0), u"");
}

TEST(PathNormalize, DirectoryPathsLoseOneSlashUnlessRoot) {
    EXPECT_EQ(normalize(u"a/b/", 1), u"a/b");
    EXPECT_EQ(normalize(u"a//", 1), u"a/");
    EXPECT_EQ(normalize(u"C:/", 1), u"C:/");
    EXPECT_EQ(normalize(u"/", 1), u"/");
    EXPECT_EQ(normalize(u"//srv", 1), u"//srv/");
    EXPECT_EQ(normalize(u"C:", 1), u"C:/");
}

TEST(PathRoot, FindsShareDriveAndSlashRoots) {
    EXPECT_EQ(apply(PathRoot, u"//srv/share/x"), u"//srv/");
    EXPECT_EQ(apply(PathRoot, u"C:/x"), u"C:/");
    EXPECT_EQ(apply(PathRoot, u"C:x"), u"");
    EXPECT_EQ(apply(PathRoot, u"/x"), u"/");
    EXPECT_EQ(apply(PathRoot, u"x"), u"");
    EXPECT_EQ(apply(PathRoot, u"a/b:c"), u"");
    EXPECT_EQ(PathIsRoot(ovLiteral(u"C:/")), 1);
    EXPECT_EQ(PathIsRoot(ovLiteral(u"//srv/")), 1);
    EXPECT_EQ(PathIsRoot(ovLiteral(u"/x")), 0);
    EXPECT_EQ(PathIsRoot(&ovEmptyString), 0);
    EXPECT_EQ(PathIsAbsolute(ovLiteral(u"/x")), 1);
    EXPECT_EQ(PathIsAbsolute(ovLiteral(u"C:x")), 1);
    EXPECT_EQ(PathIsAbsolute(ovLiteral(u"x/y")), 0);
}

TEST(PathComponents, NameExtensionAndBase) {
    EXPECT_EQ(apply(PathName, u"C:/a/b.txt"), u"b.txt");
    EXPECT_EQ(apply(PathName, u"a\\b"), u"b");
    EXPECT_EQ(apply(PathName, u"plain"), u"plain");
    EXPECT_EQ(apply(PathExtension, u"a/b.tar.gz"), u"gz");
    EXPECT_EQ(apply(PathExtension, u"a.b/c"), u"");
    EXPECT_EQ(apply(PathExtension, u".profile"), u"profile");
    EXPECT_EQ(apply(PathWithoutExt, u"a.b/c"), u"a.b/c");
    EXPECT_EQ(apply(PathWithoutExt, u".profile"), u"");
    EXPECT_EQ(apply(PathWithoutExt, u"a/b.tar.gz"), u"a/b.tar");
    EXPECT_EQ(apply(PathBaseName, u"dir/x.y"), u"x");
    EXPECT_EQ(apply(PathWithoutSlash, u"a/b/"), u"a/b");
    EXPECT_EQ(apply(PathWithoutSlash, u"C:/"), u"C:/");
    EXPECT_EQ(apply(PathWithoutSlash, u"/"), u"/");
}

TEST(PathDirectory, KeepsRootsAndDots) {
    EXPECT_EQ(apply(PathDirectory, u"C:/a"), u"C:/");
    EXPECT_EQ(apply(PathDirectory, u"/a"), u"/");
    EXPECT_EQ(apply(PathDirectory, u"a/b/c"), u"a/b");
    EXPECT_EQ(apply(PathDirectory, u"a"), u"");
    EXPECT_EQ(apply(PathDirectory, u"."), u".");
    EXPECT_EQ(apply(PathDirectory, u".."), u"..");
    EXPECT_EQ(apply(PathDirectory, u"C:/"), u"C:/");
    EXPECT_EQ(apply(PathDirectory, u"//srv/x"), u"//srv/");
}

class PathResolveInDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mkdir((dir / "w").c_str(), 0700), 0);
        saved = getcwd(nullptr, 0);
        ASSERT_EQ(chdir((dir / "w").c_str()), 0);
        char* real = realpath(".", nullptr);
        cwd = ovTestUnits(ovTestAscii(real));
        std::free(real);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(saved), 0);
        std::free(saved);
    }
    ovTestTempDir dir;
    char* saved = nullptr;
    std::u16string cwd;
};

TEST_F(PathResolveInDirectory, ResolvesAgainstTheWorkingDirectory) {
    EXPECT_EQ(ovTestUnits(CurrentDirectory()), cwd);
    EXPECT_EQ(ovTestUnits(CurrentDrive()), u"");
    EXPECT_EQ(apply(PathResolve, u"x/./y/../z"), cwd + u"/x/z");
    EXPECT_EQ(apply(PathResolve, u""), cwd);
    EXPECT_EQ(apply(PathResolve, u"x\\y\\"), cwd + u"/x/y");
    EXPECT_EQ(apply(PathResolve, u"../.."), ovTestUnits(PathDirectory(PathDirectory(ovTestString(cwd)))));
}

TEST_F(PathResolveInDirectory, AbsolutePathsResolveToThemselves) {
    EXPECT_EQ(apply(PathResolve, u"/q"), u"/q");
    EXPECT_EQ(apply(PathResolve, u"/q/../r/./s"), u"/r/s");
    EXPECT_EQ(apply(PathResolve, u"/.."), u"/");
    EXPECT_EQ(apply(PathResolve, u"C:/a/.."), u"C:/");
    EXPECT_EQ(apply(PathResolve, u"C:/.."), u"C:/");
    EXPECT_EQ(apply(PathResolve, u"C:/a//b"), u"C:/a/b");
    EXPECT_EQ(apply(PathResolve, u"C:x/../y"), u"C:/y");
    EXPECT_EQ(apply(PathResolve, u"//srv/a/../.."), u"//srv/");
}

// A colon inside a POSIX working directory is no drive.
TEST_F(PathResolveInDirectory, ColonInWorkingDirectoryIsNoDrive) {
    ASSERT_EQ(mkdir("a:b", 0700), 0);
    ASSERT_EQ(chdir("a:b"), 0);
    EXPECT_EQ(ovTestUnits(CurrentDrive()), u"");
    EXPECT_EQ(apply(PathResolve, u"/q"), u"/q");
    EXPECT_EQ(apply(PathResolve, u"x"), cwd + u"/a:b/x");
}

}  // namespace
