// Text streams: raw bytes as hexadecimal lines of 32 bytes, and numbers as
// decimal lines.
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"

namespace {

class TextStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

using HexBytes = TextStreamTest;
using DecimalNumbers = TextStreamTest;

std::string bytesFrom(int first, int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes += static_cast<char>((first + i * 37) & 0xFF);
    return bytes;
}

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

void writeBytes(TTextStream* text, const std::string& bytes) {
    text->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

std::string readBytes(TTextStream* text, int32_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    text->ReadBytes(reinterpret_cast<uint8_t*>(bytes.data()), count);
    return bytes;
}

bool isMalformedLineEnd(Object* thrown) {
    return ovIsInstance(thrown, &StringType) &&
           ovStringCompare(static_cast<String*>(thrown), ovLiteral(u"Malformed line terminator")) == 0;
}

// ---------------------------------------------------------------------------
// Hexadecimal bytes
// ---------------------------------------------------------------------------

TEST_F(HexBytes, ThirtyThreeBytesMakeOneFullLineAndTwoDigitsPending) {
    const std::string bytes = bytesFrom(0xF0, 33);
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(text, bytes);
    EXPECT_EQ(ovTestWritten(text), hexOf(bytes.substr(0, 32)) + "\r\n" + hexOf(bytes.substr(32)));
    EXPECT_EQ(text->_bufcount, 1);
    // A character operation ends the pending line first.
    text->WriteLine(ovLiteral(u"x"));
    EXPECT_EQ(ovTestWritten(text), hexOf(bytes.substr(0, 32)) + "\r\n" + hexOf(bytes.substr(32)) + "\r\nx\r\n");
}

TEST_F(HexBytes, AFullLineEndsAtOnceAndGetsNoSecondLineEnd) {
    const std::string bytes = bytesFrom(1, 32);
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(text, bytes);
    text->WriteString(ovLiteral(u"x"));
    EXPECT_EQ(ovTestWritten(text), hexOf(bytes) + "\r\nx");
}

TEST_F(HexBytes, DigitsAreWrittenAsRawBytesWhateverTheEncoding) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16LE);
    writeBytes(text, "\xab");
    EXPECT_EQ(ovTestWritten(text), "AB");
}

TEST_F(HexBytes, BytesWrittenReadBackAcrossLines) {
    const std::string bytes = bytesFrom(7, 70);
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(text, bytes);
    text->WriteLine(ovLiteral(u"after"));
    text->Seek(0);
    EXPECT_EQ(readBytes(text, 70), bytes);
    EXPECT_EQ(ovTestText(text->ReadLine()), "after");
}

TEST_F(HexBytes, ReadingAcceptsALineFeedAloneAsLineEnd) {
    const std::string bytes = bytesFrom(3, 34);
    TTextStream* text = ovTestTextOver(hexOf(bytes.substr(0, 32)) + "\n" + hexOf(bytes.substr(32)) + "\nrest",
                                       TTextStream::LATIN1);
    EXPECT_EQ(readBytes(text, 34), bytes);
    EXPECT_EQ(ovTestText(text->ReadLine()), "rest");
}

TEST_F(HexBytes, LowerCaseDigitsDecodeByTheSameArithmetic) {
    TTextStream* text = ovTestTextOver("0a", TTextStream::LATIN1);
    // 'a' - 48 - 7 = 42: only "0"-"9" and "A"-"F" give their hexadecimal value.
    EXPECT_EQ(readBytes(text, 1), std::string(1, static_cast<char>(42)));
}

TEST_F(HexBytes, AnythingButALineEndAfterAFullLineIsMalformed) {
    TTextStream* text = ovTestTextOver(hexOf(bytesFrom(0, 32)) + "X0", TTextStream::UTF8);
    readBytes(text, 32);
    EXPECT_TRUE(isMalformedLineEnd(ovTestThrown([&] { readBytes(text, 1); })));

    TTextStream* crOnly = ovTestTextOver(hexOf(bytesFrom(0, 32)) + "\rX0", TTextStream::UTF8);
    readBytes(crOnly, 32);
    EXPECT_TRUE(isMalformedLineEnd(ovTestThrown([&] { readBytes(crOnly, 1); })));
}

TEST_F(HexBytes, ACharacterReadAfterHexBytesExpectsTheirLineEnd) {
    TTextStream* good = ovTestTextOver("0102\r\nline", TTextStream::UTF8);
    readBytes(good, 2);
    EXPECT_EQ(ovTestText(good->ReadLine()), "line");

    TTextStream* bad = ovTestTextOver("0102line", TTextStream::UTF8);
    readBytes(bad, 2);
    EXPECT_TRUE(isMalformedLineEnd(ovTestThrown([&] { bad->ReadLine(); })));
}

TEST_F(HexBytes, EndOfDataInsideHexBytesThrowsTheReadException) {
    TTextStream* text = ovTestTextOver("0", TTextStream::UTF8);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { readBytes(text, 1); }), &TStreamReadExceptionType));
}

TEST_F(HexBytes, SkipBytesConsumesDigitsThroughTheTextStream) {
    const std::string bytes = bytesFrom(9, 40);
    TTextStream* text = ovTestTextOver(hexOf(bytes.substr(0, 32)) + "\r\n" + hexOf(bytes.substr(32)),
                                       TTextStream::UTF8);
    EXPECT_EQ(text->SkipBytes(35), 35);
    EXPECT_EQ(readBytes(text, 5), bytes.substr(35));
}

// ---------------------------------------------------------------------------
// Decimal numbers
// ---------------------------------------------------------------------------

TEST_F(DecimalNumbers, IntsAreDecimalLinesAndReadBack) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    EXPECT_EQ(text->WriteInt(42), 0);
    EXPECT_EQ(ovTestWritten(text), "42\r\n");
    text->WriteInt(-7);
    text->Seek(0);
    EXPECT_EQ(text->ReadInt(), 42);
    EXPECT_EQ(text->ReadInt(), -7);
}

TEST_F(DecimalNumbers, BytesAndShortsAreNotTruncated) {
    TTextStream* text = ovTestTextOver("", TTextStream::LATIN1);
    text->WriteByte(300);
    text->WriteShort(-70000);
    EXPECT_EQ(ovTestWritten(text), "300\r\n-70000\r\n");
    text->Seek(0);
    EXPECT_EQ(text->ReadByte(), 300);
    EXPECT_EQ(text->ReadShort(), -70000);
}

TEST_F(DecimalNumbers, LongsFloatsAndDoublesRoundTrip) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16BE);
    text->WriteLong(-9007199254740993LL);
    text->WriteFloat(0.15625f);
    text->WriteDouble(-2.5e-300);
    text->Seek(0);
    EXPECT_EQ(text->ReadLong(), -9007199254740993LL);
    EXPECT_EQ(text->ReadFloat(), 0.15625f);
    EXPECT_EQ(text->ReadDouble(), -2.5e-300);
}

TEST_F(DecimalNumbers, NumbersInUtf16TakeTwoBytesPerDigit) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF16LE);
    text->WriteInt(42);
    EXPECT_EQ(ovTestWritten(text), std::string("4\0" "2\0\r\0\n\0", 8));
}

TEST_F(DecimalNumbers, ANumberAfterHexBytesStartsOnANewLine) {
    TTextStream* text = ovTestTextOver("", TTextStream::UTF8);
    writeBytes(text, "\x01\x02");
    text->WriteInt(5);
    EXPECT_EQ(ovTestWritten(text), "0102\r\n5\r\n");
    text->Seek(0);
    EXPECT_EQ(readBytes(text, 2), "\x01\x02");
    EXPECT_EQ(text->ReadInt(), 5);
}

}  // namespace
