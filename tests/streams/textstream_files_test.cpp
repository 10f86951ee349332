// Text streams opened by name, and whole texts loaded with byte-order-mark
// detection and saved as Latin-1 or UTF-16LE, over real files.
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/factory.h"
#include "tests/system/support/system_test_support.h"

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }

    String* name(const std::string& file) { return ovTestAscii(dir / file); }
    String* named(const std::string& protocol, const std::string& file) {
        return ovTestAscii(protocol + "::" + (dir / file));
    }

    ovTestTempDir dir;
};

using TextFactory = TextFileTest;
using LoadTextAutoTest = TextFileTest;
using SaveTextAutoTest = TextFileTest;

TTextStream* asText(TStream* stream) {
    return static_cast<TTextStream*>(ovObjectDowncast(stream, &TTextStreamType));
}

// ---------------------------------------------------------------------------
// The factory
// ---------------------------------------------------------------------------

TEST_F(TextFactory, EachProtocolOpensATextStreamInItsEncoding) {
    const struct {
        const char* protocol;
        int32_t encoding;
    } cases[] = {{"latin1", TTextStream::LATIN1},
                 {"utf8", TTextStream::UTF8},
                 {"utf16be", TTextStream::UTF16BE},
                 {"utf16le", TTextStream::UTF16LE}};
    for (const auto& c : cases) {
        TTextStream* text = asText(StreamOpen(named(c.protocol, "f.txt"), 0, 1));
        ASSERT_NE(text, ovNull) << c.protocol;
        EXPECT_EQ(text->_encoding, c.encoding) << c.protocol;
        text->Close();
    }
}

TEST_F(TextFactory, WritingThroughANamedStreamEncodesTheFile) {
    TStream* out = StreamOpenWrite(named("UTF8", "out.txt"));
    ASSERT_NE(asText(out), ovNull);
    out->WriteLine(ovTestString(u"caf\u00e9"));
    out->Close();
    EXPECT_EQ(ovTestReadFile(dir / "out.txt"), "caf\xc3\xa9\r\n");

    TStream* in = StreamOpenRead(named("utf8", "out.txt"));
    EXPECT_EQ(ovTestUnits(in->ReadLine()), u"caf\u00e9");
    in->Close();
}

TEST_F(TextFactory, TheFactoryRefusesOtherProtocolsAndMissingFiles) {
    ovTestWriteFile(dir / "x.txt", "x");
    EXPECT_EQ(StreamOpenRead(named("utf32", "x.txt")), ovNullStream());
    EXPECT_EQ(StreamOpenRead(named("utf8", "missing.txt")), ovNullStream());
}

TEST_F(TextFactory, ThePathMayCarryAProtocolOfItsOwn) {
    // "latin1::utf16le::f" decodes Latin-1 text from a UTF-16LE text stream,
    // whose byte reads are decimal lines.
    ovTestWriteFile(dir / "n.txt", std::string("6\0" "5\0\r\0\n\0", 8));
    TTextStream* outer = asText(StreamOpenRead(ovTestAscii("latin1::utf16le::" + (dir / "n.txt"))));
    ASSERT_NE(outer, ovNull);
    EXPECT_NE(asText(outer->_stream), ovNull);
    EXPECT_EQ(outer->ReadChar(), 65);
    outer->Close();
}

TEST_F(TextFactory, MemoryStreamFactoriesAreAskedAfterTheTextStreamFactory) {
    int32_t textAt = -1;
    int32_t ramAt = -1;
    int32_t bankAt = -1;
    int32_t index = 0;
    for (TStreamFactory* f = factoryChain; f != ovNull; f = f->_succ, ++index) {
        if (f->cls == &TTextStreamFactoryType) textAt = index;
        if (f->cls == &TRamStreamFactoryType) ramAt = index;
        if (f->cls == &TBankStreamFactoryType) bankAt = index;
    }
    ASSERT_GE(textAt, 0);
    EXPECT_LT(textAt, ramAt);
    EXPECT_LT(ramAt, bankAt);
}

// ---------------------------------------------------------------------------
// LoadTextAuto
// ---------------------------------------------------------------------------

TEST_F(LoadTextAutoTest, EachByteOrderMarkSelectsItsEncodingAndIsDropped) {
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"be.txt", std::string("\xfe\xff\0A\x20\xac\0\n", 8)},
        {"le.txt", std::string("\xff\xfe" "A\0\xac\x20\n\0", 8)},
        {"u8.txt", "\xef\xbb\xbf" "A\xe2\x82\xac\n"},
    };
    for (const auto& c : cases) {
        ovTestWriteFile(dir / c.file, c.bytes);
        EXPECT_EQ(ovTestUnits(LoadTextAuto(name(c.file))), u"A\u20ac\n") << c.file;
    }
}

TEST_F(LoadTextAutoTest, WithoutAMarkEveryByteIsOneCharacter) {
    ovTestWriteFile(dir / "false.txt", "\xef\xbb" "A\xe9");
    EXPECT_EQ(ovTestUnits(LoadTextAuto(name("false.txt"))), u"\u00ef\u00bbA\u00e9");
    ovTestWriteFile(dir / "two.txt", "\xef\xbb");
    EXPECT_EQ(ovTestUnits(LoadTextAuto(name("two.txt"))), u"\u00ef\u00bb");
    ovTestWriteFile(dir / "one.txt", "\xfe");
    EXPECT_EQ(ovTestUnits(LoadTextAuto(name("one.txt"))), u"\u00fe");
    ovTestWriteFile(dir / "empty.txt", "");
    EXPECT_EQ(LoadTextAuto(name("empty.txt"))->length, 0);
}

TEST_F(LoadTextAutoTest, ALongLatin1TextIsReadWhole) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(32 + i % 200);
    ovTestWriteFile(dir / "long.txt", bytes);
    String* text = LoadTextAuto(name("long.txt"));
    EXPECT_EQ(ovTestText(text), bytes);
}

TEST_F(LoadTextAutoTest, AStreamThatNeverReportsItsEndIsReadToItsLastByte) {
    TMemoryTestStream* marked = ovTestMemoryStream("\xef\xbb\xbf" "ok \xc3\xa9");
    marked->eofNever = 1;
    EXPECT_EQ(ovTestUnits(LoadTextAuto(marked)), u"ok \u00e9");

    TMemoryTestStream* plain = ovTestMemoryStream("\xef");
    plain->eofNever = 1;
    plain->chunk = 1;
    EXPECT_EQ(ovTestUnits(LoadTextAuto(plain)), u"\u00ef");
}

TEST_F(LoadTextAutoTest, ATargetThatCannotBeOpenedThrowsTheReadException) {
    Object* thrown = ovTestThrown([&] { LoadTextAuto(name("missing.txt")); });
    EXPECT_TRUE(ovIsInstance(thrown, &TStreamReadExceptionType));
}

// ---------------------------------------------------------------------------
// SaveTextAuto
// ---------------------------------------------------------------------------

TEST_F(SaveTextAutoTest, TextThatFitsLatin1IsSavedOneBytePerCharacter) {
    EXPECT_EQ(SaveTextAuto(ovTestString(u"caf\u00e9\u00ff"), name("l.txt")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "l.txt"), "caf\xe9\xff");
}

TEST_F(SaveTextAutoTest, WiderTextIsSavedAsMarkedUtf16LittleEndian) {
    EXPECT_EQ(SaveTextAuto(ovTestString(u"A\u20ac"), name("w.txt")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "w.txt"), std::string("\xff\xfe" "A\0\xac\x20", 6));
}

TEST_F(SaveTextAutoTest, SavedTextLoadsBackUnchanged) {
    for (const std::u16string& sample : {std::u16string(u"plain \u00e9"), std::u16string(u"\u20ac\r\n\u00e9\xd83d")}) {
        SaveTextAuto(ovTestString(sample), name("r.txt"));
        EXPECT_EQ(ovTestUnits(LoadTextAuto(name("r.txt"))), sample);
    }
}

TEST_F(SaveTextAutoTest, ATargetThatCannotBeOpenedThrowsTheWriteException) {
    String* unwritable = ovTestAscii(dir / "no/such/dir/x.txt");
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { SaveTextAuto(ovLiteral(u"a"), unwritable); }),
                             &TStreamWriteExceptionType));
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { SaveTextAuto(ovLiteral(u"\u20ac"), unwritable); }),
                             &TStreamWriteExceptionType));
}

}  // namespace
