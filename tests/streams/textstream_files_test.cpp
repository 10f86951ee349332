// Text streams opened by name, and whole texts loaded with byte-order-mark
// detection and saved as Latin-1 or UTF-16LE, over real files.
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "tests/support/system_test_support.h"

namespace {

class TextFileTest : public MemoryStreamTest {
protected:
    String* name(const std::string& file) { return ovTestAscii(dir / file); }

    ovTestTempDir dir;
};

using TextFactory = TextFileTest;
using WholeTexts = TextFileTest;
using PipedText = TextFileTest;

TTextStream* asText(TStream* stream) {
    return static_cast<TTextStream*>(ovObjectDowncast(stream, &TTextStreamType));
}

TEST_F(TextFactory, EachProtocolOpensATextStreamInItsEncodingWhateverItsCase) {
    const struct {
        const char* protocol;
        int32_t encoding;
    } cases[] = {{"latin1", TTextStream::LATIN1},
                 {"UTF8", TTextStream::UTF8},
                 {"utf16be", TTextStream::UTF16BE},
                 {"Utf16LE", TTextStream::UTF16LE}};
    for (const auto& c : cases) {
        TTextStream* text = asText(StreamOpenWrite(ovTestAscii(c.protocol + ("::" + (dir / "f.txt")))));
        ASSERT_NE(text, ovNull) << c.protocol;
        EXPECT_EQ(text->_encoding, c.encoding) << c.protocol;
        text->WriteString(ovTestString(u"\u00e9"));
        text->Close();
    }
    EXPECT_EQ(ovTestReadFile(dir / "f.txt"), std::string("\xe9\0", 2));  // the last one: UTF-16LE
}

TEST_F(TextFactory, OtherProtocolsAndMissingFilesGiveNull) {
    ovTestWriteFile(dir / "x.txt", "x");
    EXPECT_EQ(StreamOpenRead(ovTestAscii("utf32::" + (dir / "x.txt"))), ovNullOf<TStream>());
    EXPECT_EQ(StreamOpenRead(ovTestAscii("utf8::" + (dir / "missing.txt"))), ovNullOf<TStream>());
}

TEST_F(TextFactory, ThePathMayCarryAProtocolOfItsOwn) {
    // The outer Latin-1 stream's bytes are the inner UTF-16LE stream's
    // ReadByte, a decimal line.
    ovTestWriteFile(dir / "n.txt", std::string("6\0" "5\0\r\0\n\0", 8));
    TTextStream* outer = asText(StreamOpenRead(ovTestAscii("latin1::utf16le::" + (dir / "n.txt"))));
    ASSERT_NE(outer, ovNull);
    EXPECT_EQ(outer->ReadChar(), 65);
    outer->Close();
}

TEST_F(TextFactory, TheTextStreamFactoryIsAskedBeforeTheMemoryStreamFactories) {
    int32_t textAt = -1, ramAt = -1, bankAt = -1, index = 0;
    for (TStreamFactory* f = factoryChain; f != ovNull; f = f->_succ, ++index) {
        if (f->cls == &TTextStreamFactoryType) textAt = index;
        if (f->cls == &TRamStreamFactoryType) ramAt = index;
        if (f->cls == &TBankStreamFactoryType) bankAt = index;
    }
    ASSERT_GE(textAt, 0);
    EXPECT_LT(textAt, ramAt);
    EXPECT_LT(ramAt, bankAt);
}

TEST_F(WholeTexts, EachByteOrderMarkSelectsItsEncodingAndIsDropped) {
    for (const std::string& bytes : {std::string("\xfe\xff\0A\x20\xac", 6), std::string("\xff\xfe" "A\0\xac\x20", 6),
                                     std::string("\xef\xbb\xbf" "A\xe2\x82\xac")}) {
        ovTestWriteFile(dir / "m.txt", bytes);
        EXPECT_EQ(ovTestUnits(LoadTextAuto(name("m.txt"))), u"A\u20ac");
    }
}

TEST_F(WholeTexts, WithoutAMarkEveryByteIsOneCharacter) {
    std::string longText = "\xef\xbb" "A";
    for (int i = 0; i < 5000; ++i) longText += static_cast<char>(32 + i % 200);
    for (const std::string& bytes : {longText, std::string("\xef\xbb"), std::string("\xfe"), std::string()}) {
        ovTestWriteFile(dir / "p.txt", bytes);
        EXPECT_EQ(ovTestText(LoadTextAuto(name("p.txt"))), bytes);
    }
}

TEST_F(WholeTexts, AStreamThatNeverReportsItsEndIsLoadedToItsLastByte) {
    TMemoryTestStream* marked = ovTestMemoryStream("\xef\xbb\xbf" "ok \xc3\xa9");
    marked->eofNever = 1;
    EXPECT_EQ(ovTestUnits(LoadTextAuto(marked)), u"ok \u00e9");
    TMemoryTestStream* plain = ovTestMemoryStream("\xef");
    plain->eofNever = 1;
    EXPECT_EQ(ovTestUnits(LoadTextAuto(plain)), u"\u00ef");
}

TEST_F(WholeTexts, SaveChoosesLatin1WhenItFitsElseMarkedUtf16LittleEndian) {
    EXPECT_EQ(SaveTextAuto(ovTestString(u"caf\u00e9\u00ff"), name("l.txt")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "l.txt"), "caf\xe9\xff");
    EXPECT_EQ(SaveTextAuto(ovTestString(u"A\u20ac"), name("w.txt")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "w.txt"), std::string("\xff\xfe" "A\0\xac\x20", 6));
    const std::u16string wide = u"\u20ac\r\n\u00e9\xd83d";
    SaveTextAuto(ovTestString(wide), name("r.txt"));
    EXPECT_EQ(ovTestUnits(LoadTextAuto(name("r.txt"))), wide);
}

// Through a text protocol the mark and the UTF-16 bytes reach the Latin-1
// stream as bytes (which it writes as decimal lines), never as characters.
TEST_F(WholeTexts, SavedThroughATextProtocolEveryByteStaysAByte) {
    EXPECT_EQ(SaveTextAuto(ovTestString(u"\u0100\u1234"), ovTestAscii("latin1::" + (dir / "t.txt"))), 1);
    EXPECT_EQ(ovTestReadFile(dir / "t.txt"), "255\r\n254\r\n0\r\n1\r\n52\r\n18\r\n");
}

TEST_F(WholeTexts, TargetsThatCannotBeOpenedThrowTheStreamExceptions) {
    String* unreachable = ovTestAscii(dir / "no/such/dir/x.txt");
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { LoadTextAuto(unreachable); }), &TStreamReadExceptionType));
    for (String* text : {ovLiteral(u"a"), ovLiteral(u"\u20ac")})
        EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { SaveTextAuto(text, unreachable); }), &TStreamWriteExceptionType));
}

// ---------------------------------------------------------------------------
// Over pipes, which tell their end only when a read comes back empty
// ---------------------------------------------------------------------------

TCStream* pipeStream(const std::string& bytes) {
    return TCStreamCreateWithCStream(ovTestPipeHolding(bytes), TCStream::MODE_READ);
}

// Directly over the pipe's stream, and over a wrapper of it, whose byte
// reads are its own.
TTextStream* overPipe(const std::string& bytes, int32_t encoding, bool wrapped) {
    TStream* pipe = pipeStream(bytes);
    return TTextStreamCreate(wrapped ? StreamOpenRead(pipe) : pipe, encoding);
}

TEST_F(PipedText, TheLastLineEndsQuietlyAtTheEndOfTheDataInEveryEncoding) {
    const struct {
        int32_t encoding;
        std::string bytes;
    } cases[] = {
        {TTextStream::LATIN1, "ab\ncd"},
        {TTextStream::UTF8, "ab\ncd"},
        {TTextStream::UTF16BE, std::string("\0a\0b\0\n\0c\0d", 10)},
        {TTextStream::UTF16LE, std::string("a\0b\0\n\0c\0d\0", 10)},
    };
    for (const auto& c : cases) {
        for (const bool wrapped : {false, true}) {
            TTextStream* text = overPipe(c.bytes, c.encoding, wrapped);
            EXPECT_EQ(ovTestText(text->ReadLine()), "ab") << c.encoding << wrapped;
            EXPECT_EQ(ovTestText(text->ReadLine()), "cd") << c.encoding << wrapped;
            EXPECT_EQ(text->Eof(), 1);
            EXPECT_EQ(text->ReadLine()->length, 0);
        }
    }
}

TEST_F(PipedText, AnEmptyPipeIsOneEmptyLineAndACutCharacterStillThrows) {
    for (const bool wrapped : {false, true}) {
        TTextStream* empty = overPipe("", TTextStream::UTF8, wrapped);
        EXPECT_EQ(empty->ReadLine()->length, 0);
        EXPECT_EQ(empty->Eof(), 1);
        TTextStream* cut = overPipe("ab\xc3", TTextStream::UTF8, wrapped);
        EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { cut->ReadLine(); }), &TStreamReadExceptionType));
        TTextStream* odd = overPipe("a\0b", TTextStream::UTF16LE, wrapped);
        EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { odd->ReadLine(); }), &TStreamReadExceptionType));
    }
}

}  // namespace
