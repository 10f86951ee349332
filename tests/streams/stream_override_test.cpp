// Byte and character readers call their own class's operations directly
// while no subclass replaced them; a subclass that does replace ReadBytes,
// _ReadByte, ReadChar or Eof must still be called by them.
#include <gtest/gtest.h>

#include <string>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/textstream.h"

namespace {

int overrideCalls = 0;

// ---------------------------------------------------------------------------
// A stream whose ReadBytes hands out bytes from a counter
// ---------------------------------------------------------------------------

int32_t countingReadBytes(TStream*, uint8_t* buf, int32_t count) {
    for (int32_t i = 0; i < count; ++i) buf[i] = static_cast<uint8_t>(100 + overrideCalls);
    ++overrideCalls;
    return count;
}

constexpr ovScope countingScope = {OV_SCOPE_CLASS, "TCountingTestStream", ovNoScopeEntries};
extern const TStreamClass countingRecord;
constexpr TStreamClass countingRecord = ovMakeClass<TStreamClass, TStream>(TStreamType, &countingScope, [](auto& r) {
    r.New = ovFieldlessNew<countingRecord>;
    r.ReadBytes = countingReadBytes;
});

TStream* countingStream() {
    ovTestStreamsInit();
    return ovNew<TStream>(&countingRecord);
}

// ---------------------------------------------------------------------------
// Text streams with one replaced operation each
// ---------------------------------------------------------------------------

constexpr ovScope overrideScope = {OV_SCOPE_CLASS, "TOverridingTextStream", ovNoScopeEntries};

// Each byte of the wrapped stream read one higher, line feeds kept.
int32_t shiftedRawByte(TTextStream* self) {
    ++overrideCalls;
    const int32_t b = self->_stream->ReadByte();
    return b == 10 ? b : b + 1;
}

// Upper-cases ASCII letters.
int32_t upperChar(TTextStream* self) {
    ++overrideCalls;
    const int32_t c = TTextStreamType.ReadChar(self);
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// The end comes after three checks.
int32_t eofAfterThree(TIO*) { return ++overrideCalls > 3 ? 1 : 0; }

// A text stream class whose record is TTextStream's with one operation
// replaced by replace.
template <const TTextStreamClass& Self>
constexpr TTextStreamClass overriding(void (*replace)(TTextStreamClass&)) {
    return ovMakeClass<TTextStreamClass, TTextStream>(TTextStreamType, &overrideScope, [replace](auto& r) {
        r.New = ovFieldlessNew<Self>;
        replace(r);
    });
}

extern const TTextStreamClass byteOverride, charOverride, eofOverride;
constexpr TTextStreamClass byteOverride =
    overriding<byteOverride>([](TTextStreamClass& r) { r._ReadByte = shiftedRawByte; });
constexpr TTextStreamClass charOverride = overriding<charOverride>([](TTextStreamClass& r) { r.ReadChar = upperChar; });
constexpr TTextStreamClass eofOverride = overriding<eofOverride>([](TTextStreamClass& r) { r.Eof = eofAfterThree; });

TTextStream* textWith(const TTextStreamClass& record, const std::string& bytes) {
    ovTextStreamModuleInit();
    auto* text = ovNew<TTextStream>(&record);
    text->_encoding = TTextStream::UTF8;
    text->SetStream(ovTestMemoryStream(bytes));
    return text;
}

class StreamOverrides : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        overrideCalls = 0;
    }
};

}  // namespace

TEST_F(StreamOverrides, ReadByteGoesThroughAReplacedReadBytes) {
    TStream* s = countingStream();
    EXPECT_EQ(s->ReadByte(), 100);
    EXPECT_EQ(s->ReadByte(), 101);
    EXPECT_EQ(overrideCalls, 2);
}

TEST_F(StreamOverrides, ReadByteOfTheBaseReadsOneByteAndThrowsAtTheEnd) {
    TMemoryTestStream* s = ovTestMemoryStream("ab");
    EXPECT_EQ(s->ReadByte(), 'a');
    EXPECT_EQ(s->ReadByte(), 'b');
    EXPECT_EQ(s->reads, 2);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { s->ReadByte(); }), &TStreamReadExceptionType));
}

TEST_F(StreamOverrides, TextReadersUseAReplacedRawByte) {
    TTextStream* text = textWith(byteOverride, "abc\nxyz");
    EXPECT_EQ(ovTestText(text->ReadLine()), "bcd");
    EXPECT_EQ(text->ReadChar(), 'y');
    EXPECT_EQ(ovTestText(text->ReadFile()), "z{");
    EXPECT_EQ(overrideCalls, 7);
}

TEST_F(StreamOverrides, TextReadersUseAReplacedReadChar) {
    TTextStream* text = textWith(charOverride, "abc\nd\xC3\xA9");
    EXPECT_EQ(ovTestText(text->ReadLine()), "ABC");
    EXPECT_EQ(ovTestText(text->ReadString(2)), "D\xE9");
    EXPECT_EQ(overrideCalls, 6);
}

TEST_F(StreamOverrides, TextReadersStopAtAReplacedEof) {
    TTextStream* text = textWith(eofOverride, "abcdef\n");
    EXPECT_EQ(ovTestText(text->ReadLine()), "abc");
    overrideCalls = 0;
    EXPECT_EQ(ovTestText(text->ReadFile()), "def");
}

TEST_F(StreamOverrides, UsesOperationOfIsFalseOnlyWhereAClassBetweenReplacedIt) {
    TStream* counting = countingStream();
    EXPECT_FALSE(ovUsesOperationOf(counting, &TStreamClass::ReadBytes, TStreamType));
    EXPECT_TRUE(ovUsesOperationOf(counting, &TStreamClass::ReadByte, TStreamType));
    TTextStream* text = textWith(charOverride, "");
    EXPECT_FALSE(ovUsesOperationOf(text, &TTextStreamClass::ReadChar, TTextStreamType));
    EXPECT_TRUE(ovUsesOperationOf(text, &TTextStreamClass::_ReadByte, TTextStreamType));
    EXPECT_TRUE(ovUsesOperationOf(text, &TIOClass::Eof, TStreamWrapperType));
    EXPECT_FALSE(ovUsesOperationOf(textWith(eofOverride, ""), &TIOClass::Eof, TStreamWrapperType));
}
