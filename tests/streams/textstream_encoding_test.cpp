// Text streams: characters in the four encodings, strings, lines and whole
// files over in-memory streams.
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/streams/stream_test_support.h"
#include "streams/cstream.h"
#include "tests/system/support/system_test_support.h"

namespace {

class TextStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

using CharacterWriting = TextStreamTest;
using CharacterReading = TextStreamTest;
using TextLines = TextStreamTest;
using WholeFile = TextStreamTest;

std::string written(int32_t encoding, int32_t c) {
    TTextStream* text = ovTestTextOver("", encoding);
    EXPECT_EQ(text->WriteChar(c), 0);
    return ovTestWritten(text);
}

bool isReadError(Object* thrown) { return ovIsInstance(thrown, &TStreamReadExceptionType); }

// A text stream over a test stream whose Eof never turns true, as over a
// pipe or the console.
TTextStream* textOverEndlessEof(const std::string& bytes, int32_t encoding) {
    TMemoryTestStream* raw = ovTestMemoryStream(bytes);
    raw->eofNever = 1;
    return TTextStreamCreate(raw, encoding);
}

// ---------------------------------------------------------------------------
// Writing characters
// ---------------------------------------------------------------------------

TEST_F(CharacterWriting, Utf8UsesOneTwoOrThreeBytesByTheCharactersSize) {
    EXPECT_EQ(written(TTextStream::UTF8, 'A'), "A");
    EXPECT_EQ(written(TTextStream::UTF8, 127), "\x7f");
    EXPECT_EQ(written(TTextStream::UTF8, 233), "\xc3\xa9");
    EXPECT_EQ(written(TTextStream::UTF8, 2047), "\xdf\xbf");
    EXPECT_EQ(written(TTextStream::UTF8, 2048), "\xe0\xa0\x80");
    EXPECT_EQ(written(TTextStream::UTF8, 8364), "\xe2\x82\xac");
    // A lone surrogate unit is written as its own three bytes.
    EXPECT_EQ(written(TTextStream::UTF8, 0xD83D), "\xed\xa0\xbd");
}

TEST_F(CharacterWriting, Utf16OrdersTheTwoBytesByTheEncoding) {
    EXPECT_EQ(written(TTextStream::UTF16BE, 8364), "\x20\xac");
    EXPECT_EQ(written(TTextStream::UTF16LE, 8364), "\xac\x20");
    EXPECT_EQ(written(TTextStream::UTF16LE, 'A'), std::string("A\0", 2));
}

TEST_F(CharacterWriting, Latin1KeepsTheLow8BitsAndAnUnknownEncodingWritesNothing) {
    EXPECT_EQ(written(TTextStream::LATIN1, 233), "\xe9");
    EXPECT_EQ(written(TTextStream::LATIN1, 8364), "\xac");
    EXPECT_EQ(written(0, 'A'), "");
    EXPECT_EQ(written(9, 'A'), "");
}

TEST_F(CharacterWriting, WriteLineEndsWithCarriageReturnAndLineFeedInTheEncoding) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16LE);
    EXPECT_EQ(text->WriteLine(ovLiteral(u"A")), 0);
    EXPECT_EQ(ovTestWritten(text), std::string("A\0\r\0\n\0", 6));

    TTextStream* utf8 = ovTestTextOver("", TTextStream::UTF8);
    utf8->WriteString(ovLiteral(u"caf\u00e9 "));
    utf8->WriteLine(ovLiteral(u"\u20ac"));
    EXPECT_EQ(ovTestWritten(utf8), "caf\xc3\xa9 \xe2\x82\xac\r\n");
}

// ---------------------------------------------------------------------------
// Reading characters
// ---------------------------------------------------------------------------

TEST_F(CharacterReading, Utf8CombinesLeadAndContinuationBytes) {
    TTextStream* text = ovTestTextOver("A\xc3\xa9\xe2\x82\xac", TTextStream::UTF8);
    EXPECT_EQ(text->ReadChar(), 'A');
    EXPECT_EQ(text->ReadChar(), 233);
    EXPECT_EQ(text->ReadChar(), 8364);
    EXPECT_EQ(text->Eof(), 1);
}

TEST_F(CharacterReading, AFourByteSequenceGivesZeroAndLeavesItsLastByteUnread) {
    TTextStream* text = ovTestTextOver("\xf0\x9f\x98\x80", TTextStream::UTF8);
    EXPECT_EQ(text->ReadChar(), 0);
    EXPECT_EQ(text->Pos(), 3);
    EXPECT_EQ(text->_stream->ReadByte(), 128);
}

TEST_F(CharacterReading, Utf8BytesAreNotValidated) {
    // A continuation byte as lead, and a plain letter as continuation, are
    // combined by the two-byte formula all the same.
    TTextStream* text = ovTestTextOver("\x80" "A", TTextStream::UTF8);
    EXPECT_EQ(text->ReadChar(), (128 - 192) * 64 + ('A' - 128));
}

TEST_F(CharacterReading, Utf16AndLatin1ReadTheirOwnByteLayouts) {
    EXPECT_EQ(ovTestTextOver("\x20\xac", TTextStream::UTF16BE)->ReadChar(), 8364);
    EXPECT_EQ(ovTestTextOver("\xac\x20", TTextStream::UTF16LE)->ReadChar(), 8364);
    EXPECT_EQ(ovTestTextOver("\xe9", TTextStream::LATIN1)->ReadChar(), 233);
}

TEST_F(CharacterReading, AnUnknownEncodingConsumesOneByteForAZero) {
    TTextStream* text = ovTestTextOver("AB", 0);
    EXPECT_EQ(text->ReadChar(), 0);
    EXPECT_EQ(text->Pos(), 1);
}

TEST_F(CharacterReading, EndOfDataInsideACharacterThrowsTheReadException) {
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("", TTextStream::LATIN1)->ReadChar(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("\xe2\x82", TTextStream::UTF8)->ReadChar(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("x", TTextStream::UTF16BE)->ReadChar(); })));
}

TEST_F(CharacterReading, StringsRoundTripInEveryEncodingThatHoldsTheirCharacters) {
    String* sample = ovTestString(u"A\u00e9\u20ac\xd83d\n");
    for (int32_t encoding : {TTextStream::UTF8, TTextStream::UTF16BE, TTextStream::UTF16LE}) {
        TTextStream* text = ovTestTextOver("", encoding);
        text->WriteString(sample);
        text->Seek(0);
        String* back = text->ReadString(sample->length);
        EXPECT_EQ(ovTestUnits(back), ovTestUnits(sample)) << "encoding " << encoding;
        EXPECT_EQ(text->Eof(), 1);
    }
    TTextStream* latin1 = ovTestTextOver("", TTextStream::LATIN1);
    latin1->WriteString(sample);
    latin1->Seek(0);
    EXPECT_EQ(ovTestUnits(latin1->ReadString(sample->length)), u"A\u00e9\u00ac\u003d\n");
}

TEST_F(CharacterReading, ReadStringOfMoreCharactersThanRemainThrows) {
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("ab", TTextStream::UTF8)->ReadString(3); })));
    EXPECT_EQ(ovTestTextOver("ab", TTextStream::UTF8)->ReadString(0)->length, 0);
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

TEST_F(TextLines, LinesEndAtLineFeedOrNulAndDropCarriageReturns) {
    TTextStream* text = ovTestTextOver(std::string("ab\r\nc\rd\0e\n\nlast", 16), TTextStream::UTF8);
    EXPECT_EQ(ovTestText(text->ReadLine()), "ab");
    EXPECT_EQ(ovTestText(text->ReadLine()), "cd");
    EXPECT_EQ(ovTestText(text->ReadLine()), "e");
    EXPECT_EQ(ovTestText(text->ReadLine()), "");
    EXPECT_EQ(ovTestText(text->ReadLine()), "last");
    EXPECT_EQ(text->Eof(), 1);
    EXPECT_EQ(ovTestText(text->ReadLine()), "");
}

TEST_F(TextLines, Utf16LinesDecodeTheirLineEndsAsCharacters) {
    TTextStream* text = ovTestTextOver(std::string("\0a\0\r\0\n\x20\xac", 8), TTextStream::UTF16BE);
    EXPECT_EQ(ovTestUnits(text->ReadLine()), u"a");
    EXPECT_EQ(ovTestUnits(text->ReadLine()), u"\u20ac");
}

TEST_F(TextLines, MalformedCharactersAreStoredAsTheirLow16Bits) {
    TTextStream* text = ovTestTextOver("\x80" "A\n", TTextStream::UTF8);
    const int32_t c = (128 - 192) * 64 + ('A' - 128);
    EXPECT_EQ(ovTestUnits(text->ReadLine()), std::u16string(1, static_cast<char16_t>(c & 0xFFFF)));
}

TEST_F(TextLines, ALongLineIsReturnedWhole) {
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 3000; ++i) {
        bytes += "\xc3\xa9";
        expected += u'\u00e9';
    }
    TTextStream* text = ovTestTextOver(bytes + "\nnext", TTextStream::UTF8);
    EXPECT_EQ(ovTestUnits(text->ReadLine()), expected);
    EXPECT_EQ(ovTestText(text->ReadLine()), "next");
}

TEST_F(TextLines, WithoutAnEndOfDataSignalTheEndOfInputThrows) {
    // As on the console: the stream never reports its end, so the read that
    // finds no byte fails.
    TTextStream* text = textOverEndlessEof("ok\npartial", TTextStream::UTF8);
    EXPECT_EQ(ovTestText(text->ReadLine()), "ok");
    EXPECT_TRUE(isReadError(ovTestThrown([&] { text->ReadLine(); })));
}

// ---------------------------------------------------------------------------
// Whole files
// ---------------------------------------------------------------------------

TEST_F(WholeFile, ReadFileKeepsLineEndsAndNuls) {
    TTextStream* text = ovTestTextOver(std::string("a\r\n\0b\xc3\xa9\n", 8), TTextStream::UTF8);
    text->ReadChar();
    EXPECT_EQ(ovTestUnits(text->ReadFile()), std::u16string(u"\r\n\0b\u00e9\n", 6));
    EXPECT_EQ(text->ReadFile()->length, 0);
}

TEST_F(WholeFile, ReadFileEndsAtAnEmptyReadBetweenCharacters) {
    TTextStream* text = textOverEndlessEof("one\ntwo \xe2\x82\xac", TTextStream::UTF8);
    EXPECT_EQ(ovTestUnits(text->ReadFile()), u"one\ntwo \u20ac");
}

TEST_F(WholeFile, ReadFileStillFailsOnACharacterCutShort) {
    TTextStream* text = textOverEndlessEof("ab\xe2\x82", TTextStream::UTF8);
    EXPECT_TRUE(isReadError(ovTestThrown([&] { text->ReadFile(); })));
}

TEST_F(WholeFile, ClosingTheTextStreamClosesTheWrappedStreamButDroppingItDoesNot) {
    ovTestTempDir dir;
    const std::string path = dir / "t.txt";
    TStream* file = StreamOpen(ovTestAscii(path), 0, 1);
    ASSERT_TRUE(ovIsInstance(file, &TCStreamType));
    TTextStream* text = TTextStreamCreate(file, TTextStream::UTF8);
    text->WriteLine(ovLiteral(u"x"));
    text->Close();
    EXPECT_EQ(ovTestReadFile(path), "x\r\n");
    EXPECT_EQ(static_cast<TCStream*>(file)->_cstream, nullptr);
}

}  // namespace
