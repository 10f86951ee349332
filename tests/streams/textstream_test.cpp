// Text streams over in-memory streams: characters in the four encodings,
// lines and whole files, hexadecimal bytes and decimal numbers.
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

using Characters = MemoryStreamTest;
using Lines = MemoryStreamTest;
using HexBytes = MemoryStreamTest;
using Numbers = MemoryStreamTest;

std::string written(int32_t encoding, int32_t c) {
    TTextStream* text = ovTestTextOver("", encoding);
    text->WriteChar(c);
    return ovTestWritten(text);
}

bool isReadError(Object* thrown) { return ovIsInstance(thrown, &TStreamReadExceptionType); }

bool isMalformedLineEnd(Object* thrown) {
    return ovIsInstance(thrown, &StringType) &&
           ovStringCompare(static_cast<String*>(thrown), ovLiteral(u"Malformed line terminator")) == 0;
}

// Over a stream whose Eof never turns true, as over a pipe or the console.
TTextStream* textOverEndlessEof(const std::string& bytes) {
    TMemoryTestStream* raw = ovTestMemoryStream(bytes);
    raw->eofNever = 1;
    return TTextStreamCreate(raw, TTextStream::UTF8);
}

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) hex += {digits[b >> 4], digits[b & 15]};
    return hex;
}

std::string someBytes(int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes += static_cast<char>(0xF0 + i * 37);
    return bytes;
}

void writeBytes(TTextStream* text, const std::string& bytes) {
    text->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

std::string readBytes(TTextStream* text, int32_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    text->ReadBytes(reinterpret_cast<uint8_t*>(bytes.data()), count);
    return bytes;
}

// ---------------------------------------------------------------------------
// Characters
// ---------------------------------------------------------------------------

TEST_F(Characters, WritingFollowsEachEncodingsTable) {
    EXPECT_EQ(written(TTextStream::UTF8, 127), "\x7f");
    EXPECT_EQ(written(TTextStream::UTF8, 233), "\xc3\xa9");
    EXPECT_EQ(written(TTextStream::UTF8, 2047), "\xdf\xbf");
    EXPECT_EQ(written(TTextStream::UTF8, 2048), "\xe0\xa0\x80");
    EXPECT_EQ(written(TTextStream::UTF8, 8364), "\xe2\x82\xac");
    EXPECT_EQ(written(TTextStream::UTF8, 0xD83D), "\xed\xa0\xbd");  // a lone surrogate as itself
    EXPECT_EQ(written(TTextStream::UTF16BE, 8364), "\x20\xac");
    EXPECT_EQ(written(TTextStream::UTF16LE, 8364), "\xac\x20");
    EXPECT_EQ(written(TTextStream::LATIN1, 8364), "\xac");
    EXPECT_EQ(written(0, 'A'), "");
}

// The wrapped stream receives bytes, 0 to 255, even where its WriteByte
// takes a whole Int: here a Latin-1 text stream, whose WriteByte writes the
// number it is given as a decimal line.
TEST_F(Characters, TheWrappedStreamReceivesOnlyBytes) {
    const struct {
        int32_t encoding;
        int32_t c;
        const char* lines;
    } cases[] = {
        {TTextStream::LATIN1, 0x141, "65\r\n"},
        {TTextStream::UTF16LE, 0x100, "0\r\n1\r\n"},
        {TTextStream::UTF16BE, 0x1234, "18\r\n52\r\n"},
        {TTextStream::UTF8, 0x20AC, "226\r\n130\r\n172\r\n"},
    };
    for (const auto& c : cases) {
        TTextStream* decimal = ovTestTextOver("", TTextStream::LATIN1);
        TTextStreamCreate(decimal, c.encoding)->WriteChar(c.c);
        EXPECT_EQ(ovTestWritten(decimal), c.lines) << c.encoding;
    }
}

TEST_F(Characters, ReadingCombinesBytesWithoutValidatingThem) {
    TTextStream* utf8 = ovTestTextOver("A\xc3\xa9\xe2\x82\xac\x80" "A", TTextStream::UTF8);
    EXPECT_EQ(utf8->ReadChar(), 'A');
    EXPECT_EQ(utf8->ReadChar(), 233);
    EXPECT_EQ(utf8->ReadChar(), 8364);
    EXPECT_EQ(utf8->ReadChar(), (128 - 192) * 64 + ('A' - 128));  // continuation byte as lead
    EXPECT_EQ(ovTestTextOver("\x20\xac", TTextStream::UTF16BE)->ReadChar(), 8364);
    EXPECT_EQ(ovTestTextOver("\xac\x20", TTextStream::UTF16LE)->ReadChar(), 8364);
    TTextStream* unknown = ovTestTextOver("AB", 0);
    EXPECT_EQ(unknown->ReadChar(), 0);
    EXPECT_EQ(unknown->Pos(), 1);
    // Beyond 16-bit characters: 0, and the fourth byte stays unread.
    TTextStream* four = ovTestTextOver("\xf0\x9f\x98\x80", TTextStream::UTF8);
    EXPECT_EQ(four->ReadChar(), 0);
    EXPECT_EQ(four->_stream->ReadByte(), 128);
}

TEST_F(Characters, StringsRoundTripInEachEncoding) {
    String* sample = ovTestString(u"A\u00e9\u20ac\xd83d\r\n");
    for (int32_t encoding : {TTextStream::UTF8, TTextStream::UTF16BE, TTextStream::UTF16LE}) {
        TTextStream* text = ovTestTextOver("", encoding);
        text->WriteString(sample);
        text->Seek(0);
        EXPECT_EQ(ovTestUnits(text->ReadString(sample->length)), ovTestUnits(sample)) << encoding;
        EXPECT_EQ(text->Eof(), 1);
    }
    TTextStream* latin1 = ovTestTextOver("", TTextStream::LATIN1);
    latin1->WriteString(sample);
    EXPECT_EQ(ovTestWritten(latin1), "A\xe9\xac\x3d\r\n");
}

TEST_F(Characters, EndOfDataInsideACharacterOrStringThrowsTheReadException) {
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("", TTextStream::LATIN1)->ReadChar(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("\xe2\x82", TTextStream::UTF8)->ReadChar(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("x", TTextStream::UTF16BE)->ReadChar(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { ovTestTextOver("ab", TTextStream::UTF8)->ReadString(3); })));
}

// ---------------------------------------------------------------------------
// Lines and whole files
// ---------------------------------------------------------------------------

TEST_F(Lines, LinesEndAtLineFeedOrNulDropCarriageReturnsAndEndQuietly) {
    TTextStream* text = ovTestTextOver(std::string("ab\r\nc\rd\0e\n\nlast", 16), TTextStream::UTF8);
    for (const char* line : {"ab", "cd", "e", "", "last", ""}) EXPECT_EQ(ovTestText(text->ReadLine()), line);
    EXPECT_EQ(text->Eof(), 1);
}

TEST_F(Lines, ALongLineIsReturnedWholeWithMalformedCharactersCutTo16Bits) {
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 3000; ++i) {
        bytes += "\xc3\xa9";
        expected += u'\u00e9';
    }
    expected += static_cast<char16_t>(((128 - 192) * 64 + ('A' - 128)) & 0xFFFF);
    TTextStream* text = ovTestTextOver(bytes + "\x80" "A\nnext", TTextStream::UTF8);
    EXPECT_EQ(ovTestUnits(text->ReadLine()), expected);
    EXPECT_EQ(ovTestText(text->ReadLine()), "next");
}

TEST_F(Lines, WithoutAnEndOfDataSignalReadLineThrowsAtTheEnd) {
    TTextStream* text = textOverEndlessEof("ok\npartial");
    EXPECT_EQ(ovTestText(text->ReadLine()), "ok");
    EXPECT_TRUE(isReadError(ovTestThrown([&] { text->ReadLine(); })));
}

TEST_F(Lines, ReadFileKeepsLineEndsAndNulsAndEndsAtAnEmptyReadBetweenCharacters) {
    TTextStream* text = ovTestTextOver(std::string("a\r\n\0b\xc3\xa9\n", 8), TTextStream::UTF8);
    text->ReadChar();
    EXPECT_EQ(ovTestUnits(text->ReadFile()), std::u16string(u"\r\n\0b\u00e9\n", 6));
    EXPECT_EQ(text->ReadFile()->length, 0);

    EXPECT_EQ(ovTestUnits(textOverEndlessEof("one\ntwo \xe2\x82\xac")->ReadFile()), u"one\ntwo \u20ac");
    TTextStream* cut = textOverEndlessEof("ab\xe2\x82");
    EXPECT_TRUE(isReadError(ovTestThrown([&] { cut->ReadFile(); })));
}

// ---------------------------------------------------------------------------
// Hexadecimal bytes
// ---------------------------------------------------------------------------

TEST_F(HexBytes, ThirtyTwoBytesALineAndThePendingLineEndsBeforeText) {
    const std::string bytes = someBytes(33);
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16LE);
    writeBytes(text, bytes);
    // Digits are raw bytes whatever the encoding.
    EXPECT_EQ(ovTestWritten(text), hexOf(bytes.substr(0, 32)) + "\r\n" + hexOf(bytes.substr(32)));
    text->WriteString(ovLiteral(u"x"));
    EXPECT_EQ(ovTestWritten(text), hexOf(bytes.substr(0, 32)) + "\r\n" + hexOf(bytes.substr(32)) + std::string("\r\nx\0", 4));

    TTextStream* full = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(full, bytes.substr(0, 32));
    full->WriteString(ovLiteral(u"x"));
    EXPECT_EQ(ovTestWritten(full), hexOf(bytes.substr(0, 32)) + "\r\nx");
}

TEST_F(HexBytes, BytesReadBackAcrossLinesEndedByCrLfOrLfAlone) {
    const std::string bytes = someBytes(70);
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(text, bytes);
    text->WriteLine(ovLiteral(u"after"));
    text->Seek(0);
    EXPECT_EQ(readBytes(text, 70), bytes);
    EXPECT_EQ(ovTestText(text->ReadLine()), "after");

    TTextStream* lf = ovTestTextOver(hexOf(bytes.substr(0, 32)) + "\n" + hexOf(bytes.substr(32, 3)) + "\nrest",
                                     TTextStream::LATIN1);
    EXPECT_EQ(lf->SkipBytes(33), 33);
    EXPECT_EQ(readBytes(lf, 2), bytes.substr(33, 2));
    EXPECT_EQ(ovTestText(lf->ReadLine()), "rest");
}

TEST_F(HexBytes, AnythingButALineEndWhereOneIsDueIsMalformed) {
    for (const char* after : {"X0", "\rX0"}) {
        TTextStream* text = ovTestTextOver(hexOf(someBytes(32)) + after, TTextStream::UTF8);
        readBytes(text, 32);
        EXPECT_TRUE(isMalformedLineEnd(ovTestThrown([&] { readBytes(text, 1); }))) << after;
    }
    TTextStream* beforeText = ovTestTextOver("0102line", TTextStream::UTF8);
    readBytes(beforeText, 2);
    EXPECT_TRUE(isMalformedLineEnd(ovTestThrown([&] { beforeText->ReadLine(); })));
    EXPECT_TRUE(isReadError(ovTestThrown([] { readBytes(ovTestTextOver("0", TTextStream::UTF8), 1); })));
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

TEST_F(Numbers, NumbersAreDecimalLinesWithoutTruncation) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    text->WriteInt(42);
    EXPECT_EQ(ovTestWritten(text), "42\r\n");
    text->WriteByte(300);
    text->WriteShort(-70000);
    text->WriteLong(-9007199254740993LL);
    text->WriteFloat(0.15625f);
    text->WriteDouble(-2.5e-300);
    text->Seek(0);
    EXPECT_EQ(text->ReadInt(), 42);
    EXPECT_EQ(text->ReadByte(), 300);
    EXPECT_EQ(text->ReadShort(), -70000);
    EXPECT_EQ(text->ReadLong(), -9007199254740993LL);
    EXPECT_EQ(text->ReadFloat(), 0.15625f);
    EXPECT_EQ(text->ReadDouble(), -2.5e-300);
}

TEST_F(Numbers, ANumberAfterHexBytesStartsOnANewLineInTheEncoding) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16LE);
    writeBytes(text, "\x01\x02");
    text->WriteInt(5);
    EXPECT_EQ(ovTestWritten(text), std::string("0102\r\n5\0\r\0\n\0", 12));
    text->Seek(0);
    EXPECT_EQ(readBytes(text, 2), "\x01\x02");
    EXPECT_EQ(text->ReadInt(), 5);
}

}  // namespace
