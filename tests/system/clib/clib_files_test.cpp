// Files, directories, status queries, links and enumeration of the C-library
// layer, on real files in a temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tests/support/system_test_support.h"

namespace {

class CLibFiles : public ::testing::Test {
protected:
    void SetUp() override { ovUseWideApi = 1; }
    String* at(const std::string& name) { return ovTestAscii(dir / name); }
    int32_t modeOf(const std::string& name) {
        struct stat status;
        return stat((dir / name).c_str(), &status) == 0 ? static_cast<int32_t>(status.st_mode & 07777) : -1;
    }
    ovTestTempDir dir;
};

std::set<std::u16string> readAll(ovDirectory* handle) {
    std::set<std::u16string> names;
    for (String* name = ovDirRead(handle); name->length > 0; name = ovDirRead(handle)) names.insert(ovTestUnits(name));
    return names;
}

TEST_F(CLibFiles, NamesFollowTheTextRuleOfTheFlag) {
    String* name = ovTestString(ovTestUnits(ovTestAscii(dir.path())) + u"/\u00e9\u0141");
    FILE* out = ovFileOpen(name, ovLiteral(u"wb"));
    ASSERT_NE(out, nullptr);
    EXPECT_GE(ovFilePutText(name, out), 0);
    std::fclose(out);
    EXPECT_EQ(ovTestReadFile(dir / "\xc3\xa9\xc5\x81"), dir.path() + "/\xc3\xa9\xc5\x81");
    ovUseWideApi = 0;
    std::fclose(ovFileOpen(name, ovLiteral(u"wb")));
    EXPECT_TRUE(ovTestExists(dir / "\xe9" "A"));
    EXPECT_EQ(ovFileOpen(ovTestAscii(dir / "missing"), ovLiteral(u"rb")), nullptr);
    EXPECT_EQ(ovFilePutText(name, nullptr), EOF);
}

TEST_F(CLibFiles, NameWithInvalidUtf8ReachesTheSameFileAgain) {
    ovTestWriteFile(dir / "x\xff\xfe.bin", "12345");
    ovDirectory* handle = ovDirOpen(ovTestAscii(dir.path()));
    ASSERT_NE(handle, nullptr);
    const std::set<std::u16string> names = readAll(handle);
    ovDirClose(handle);
    ASSERT_EQ(names.count(u"x\xdcff\xdcfe.bin"), 1u);
    String* path = ovTestString(ovTestUnits(ovTestAscii(dir.path())) + u"/x\xdcff\xdcfe.bin");
    int32_t size = 0;
    EXPECT_EQ(ovStat(path, nullptr, &size, nullptr, nullptr), 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(ovRemoveFile(path), 0);
    EXPECT_FALSE(ovTestExists(dir / "x\xff\xfe.bin"));
}

TEST_F(CLibFiles, StatGivesFourValuesAndRefusesAngleBrackets) {
    ovTestWriteFile(dir / "f", "abc");
    ovTestWriteFile(dir / "a<b", "x");
    int32_t mode = -7, size = -7, mtime = -7, ctime = -7;
    ASSERT_EQ(ovStat(at("f"), &mode, &size, &mtime, &ctime), 0);
    EXPECT_EQ(mode & OV_MODE_TYPE_MASK, OV_MODE_FILE);
    EXPECT_EQ(mode & 07777, modeOf("f"));
    EXPECT_EQ(size, 3);
    EXPECT_LE(std::abs(mtime - static_cast<int32_t>(std::time(nullptr))), 5);
    EXPECT_LE(std::abs(ctime - mtime), 5);
    ASSERT_EQ(ovStat(ovTestAscii(dir.path()), &mode, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(mode & OV_MODE_TYPE_MASK, OV_MODE_DIRECTORY);

    mode = size = mtime = ctime = -7;
    EXPECT_EQ(ovStat(at("a<b"), &mode, &size, &mtime, &ctime), -1);
    EXPECT_EQ(ovStat(at("missing>"), &mode, &size, &mtime, &ctime), -1);
    EXPECT_EQ(ovStat(at("missing"), &mode, &size, &mtime, &ctime), -1);
    EXPECT_EQ(mode + size + mtime + ctime, -28);
}

TEST_F(CLibFiles, LinkStatSeesTheLinkItself) {
    ovTestWriteFile(dir / "target", "abc");
    ASSERT_EQ(ovMakeLink(ovLiteral(u"target"), at("link")), 0);
    EXPECT_EQ(ovTestUnits(ovReadLink(at("link"))), u"target");
    EXPECT_EQ(ovTestUnits(ovReadLink(at("target"))), u"");
    int32_t mode = 0;
    ASSERT_EQ(ovLinkStat(at("link"), &mode, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(mode & OV_MODE_TYPE_MASK, OV_MODE_LINK);
    ASSERT_EQ(ovStat(at("link"), &mode, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(mode & OV_MODE_TYPE_MASK, OV_MODE_FILE);
    EXPECT_EQ(ovMakeLink(ovLiteral(u"x"), at("link")), -1);
}

TEST_F(CLibFiles, RemoveFileUnlinksWithoutTouchingModes) {
    ovTestWriteFile(dir / "readonly", "x");
    chmod((dir / "readonly").c_str(), 0444);
    EXPECT_EQ(ovRemoveFile(at("readonly")), 0);
    EXPECT_FALSE(ovTestExists(dir / "readonly"));

    ovTestWriteFile(dir / "target", "x");
    chmod((dir / "target").c_str(), 0400);
    symlink("target", (dir / "link").c_str());
    EXPECT_EQ(ovRemoveFile(at("link")), 0);
    EXPECT_FALSE(ovTestExists(dir / "link"));
    EXPECT_EQ(modeOf("target"), 0400);

    mkdir((dir / "empty").c_str(), 0700);
    EXPECT_EQ(ovRemoveFile(at("empty")), -1);
    EXPECT_TRUE(ovTestExists(dir / "empty"));
    EXPECT_EQ(ovRemoveFile(at("missing")), -1);
}

TEST_F(CLibFiles, MakeDirAppliesThePermissionBitsUnderTheUmask) {
    const mode_t saved = umask(022);
    EXPECT_EQ(ovMakeDir(at("d"), 1023), 0);
    EXPECT_EQ(modeOf("d"), 0755);
    EXPECT_EQ(ovMakeDir(at("d"), 1023), -1);
    umask(0);
    EXPECT_EQ(ovMakeDir(at("e"), 0750), 0);
    EXPECT_EQ(modeOf("e"), 0750);
    umask(saved);
    EXPECT_EQ(ovChmod(at("e"), 0701), 0);
    EXPECT_EQ(modeOf("e"), 0701);
    EXPECT_EQ(ovChmod(at("missing"), 0700), -1);
    ovTestWriteFile(dir / "e/f", "x");
    EXPECT_EQ(ovRemoveDir(at("e")), -1);
    EXPECT_EQ(ovRemoveDir(at("d")), 0);
}

TEST_F(CLibFiles, RenameNeverReplacesAnExistingTarget) {
    ovTestWriteFile(dir / "a", "A");
    ovTestWriteFile(dir / "b", "B");
    EXPECT_NE(ovRenamePath(at("a"), at("b")), 0);
    EXPECT_EQ(ovTestReadFile(dir / "a"), "A");
    EXPECT_EQ(ovTestReadFile(dir / "b"), "B");
    mkdir((dir / "d").c_str(), 0700);
    mkdir((dir / "e").c_str(), 0700);
    EXPECT_NE(ovRenamePath(at("d"), at("e")), 0);
    EXPECT_TRUE(ovTestExists(dir / "d"));

    EXPECT_EQ(ovRenamePath(at("a"), at("c")), 0);
    EXPECT_EQ(ovTestReadFile(dir / "c"), "A");
    EXPECT_FALSE(ovTestExists(dir / "a"));
    EXPECT_NE(ovRenamePath(at("missing"), at("z")), 0);
}

TEST_F(CLibFiles, WorkingDirectoryHasNoLengthLimit) {
    std::string deep = dir.path();
    const std::string component(100, 'd');
    for (int level = 0; level < 8; ++level) {
        deep += "/" + component;
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    char* saved = getcwd(nullptr, 0);
    EXPECT_EQ(ovChangeDir(ovTestAscii(deep)), 0);
    char* real = realpath(deep.c_str(), nullptr);
    EXPECT_EQ(ovTestUnits(ovCurrentDir()), ovTestUnits(ovTestAscii(real)));
    EXPECT_GT(ovCurrentDir()->length, 800);
    EXPECT_EQ(ovChangeDir(at("missing")), -1);
    EXPECT_EQ(chdir(saved), 0);
    std::free(real);
    std::free(saved);
}

TEST_F(CLibFiles, EnumerationListsDotsAndEntriesThenEmptyForEver) {
    ovTestWriteFile(dir / "only", "x");
    ovDirectory* handle = ovDirOpen(ovTestAscii(dir.path()));
    ASSERT_NE(handle, nullptr);
    std::set<std::u16string> names;
    for (int k = 0; k < 3; ++k) names.insert(ovTestUnits(ovDirRead(handle)));
    EXPECT_EQ(names, (std::set<std::u16string>{u".", u"..", u"only"}));
    EXPECT_EQ(ovDirRead(handle)->length, 0);
    EXPECT_EQ(ovDirRead(handle)->length, 0);
    EXPECT_EQ(ovDirClose(handle), 0);

    EXPECT_EQ(ovDirOpen(at("missing")), nullptr);
    EXPECT_EQ(ovDirOpen(at("only")), nullptr);
    EXPECT_EQ(ovDirOpen(&ovEmptyString), nullptr);
    EXPECT_EQ(ovDirClose(nullptr), -1);
    EXPECT_EQ(ovDirRead(nullptr)->length, 0);
}

TEST_F(CLibFiles, EnumerationKeepsTheTextRuleItWasOpenedWith) {
    ovTestWriteFile(dir / "\xc3\xa9", "x");
    ovDirectory* handle = ovDirOpen(ovTestAscii(dir.path()));
    ASSERT_NE(handle, nullptr);
    ovUseWideApi = 0;
    EXPECT_EQ(readAll(handle).count(u"\u00e9"), 1u);
    ovDirClose(handle);
    handle = ovDirOpen(ovTestAscii(dir.path()));
    EXPECT_EQ(readAll(handle).count(u"\u00c3\u00a9"), 1u);
    ovDirClose(handle);
}

}  // namespace
