// Every function that opens a stream closes it on every way out: when the
// reading, writing or encoding in between throws, no file is left open for a
// later collection to close.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/bank.h"
#include "streams/load_save.h"
#include "streams/textstream.h"
#include "tests/support/system_test_support.h"

namespace {

class ClosingOnThrow : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTextStreamModuleInit();
        ovBankModuleInit();
        // A text stream's hexadecimal bytes come 32 a line: a longer line
        // without a line end makes the read throw after the file was opened.
        ovTestWriteFile(dir / "unterminated.hex", std::string(80, 'A'));
        ovTestWriteFile(dir / "plain.txt", "text");
        // Nothing may be closed by a destructor during the test.
        ovGCSuspend();
    }
    void TearDown() override { ovGCResume(); }

    String* name(const std::string& file) { return ovTestAscii(dir / file); }
    String* hexName() { return ovTestAscii("utf8::" + (dir / "unterminated.hex")); }

    ovTestTempDir dir;
};

TEST_F(ClosingOnThrow, WholeTargetFunctionsCloseWhatTheyOpened) {
    // A large save to /dev/full fails in the write itself, not only at close.
    Array* large = ovArrayNew1D("b", 1 << 20);
    const struct {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"LoadBytes", [&] { LoadBytes(hexName()); }},
        {"LoadStringBytes", [&] { LoadStringBytes(hexName()); }},
        {"LoadObjectFrom", [&] { LoadObjectFrom(name("plain.txt")); }},
        {"SaveObjectTo", [&] { SaveObjectTo(ovNull, name("object.out")); }},
        {"SaveBytes", [&] { SaveBytes(large, ovTestAscii("/dev/full")); }},
        {"SaveStringBytes", [&] { SaveStringBytes(ovStringFromArray(large), ovTestAscii("/dev/full")); }},
        {"SaveTextAuto", [&] { SaveTextAuto(ovTestString(std::u16string(1 << 20, u'\u0100')), ovTestAscii("/dev/full")); }},
        {"LoadTextAuto", [&] { LoadTextAuto(ovTestAscii("utf16le::" + (dir / "unterminated.hex"))); }},
        {"TBankLoad", [&] { TBankLoad(hexName()); }},
        {"TBank.Save", [&] { BankNew(1 << 20)->Save(ovTestAscii("/dev/full")); }},
    };
    for (const auto& c : cases) {
        const int before = ovTestOpenDescriptors();
        EXPECT_NE(ovTestThrown(c.call), ovNull) << c.what;
        EXPECT_EQ(ovTestOpenDescriptors(), before) << c.what;
    }
    ovKeepAlive(large);
}

// The same functions on their way out without an error.
TEST_F(ClosingOnThrow, WholeTargetFunctionsCloseWhatTheyOpenedWhenTheyReturn) {
    Array* small = ovArrayNew1D("b", 16);
    const struct {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"LoadBytes", [&] { LoadBytes(name("plain.txt")); }},
        {"LoadStringBytes", [&] { LoadStringBytes(name("plain.txt")); }},
        {"SaveBytes", [&] { SaveBytes(small, name("bytes.out")); }},
        {"SaveStringBytes", [&] { SaveStringBytes(ovLiteral(u"text"), name("string.out")); }},
        {"SaveTextAuto", [&] { SaveTextAuto(ovLiteral(u"\u20ac"), name("wide.out")); }},
        {"LoadTextAuto", [&] { LoadTextAuto(name("wide.out")); }},
        {"TBankLoad", [&] { TBankLoad(name("plain.txt")); }},
        {"TBank.Save", [&] { BankNew(16)->Save(name("bank.out")); }},
    };
    for (const auto& c : cases) {
        const int before = ovTestOpenDescriptors();
        EXPECT_EQ(ovTestThrown(c.call), ovNull) << c.what;
        EXPECT_EQ(ovTestOpenDescriptors(), before) << c.what;
    }
    ovKeepAlive(small);
}

}  // namespace
