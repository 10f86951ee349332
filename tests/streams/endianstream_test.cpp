// Endian streams: the byte order of each typed value both ways, unsigned
// shorts, bit-exact floating point, short transfers, the class functions'
// Null handling and the "bigendian" and "littleendian" protocols, nested.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <numbers>
#include <optional>
#include <string>

#include "bank_test_support.h"
#include "runtime/string.h"
#include "streams/endianstream.h"
#include "streams/factory.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

class EndianStreamTest : public MemoryStreamTest {
protected:
    void SetUp() override {
        MemoryStreamTest::SetUp();
        ovEndianStreamModuleInit();
    }
};

using EndianByteOrder = EndianStreamTest;
using EndianShortTransfers = EndianStreamTest;
using EndianWrapping = EndianStreamTest;
using EndianProtocols = EndianStreamTest;

// A big-endian stream over a bank stream holding the bytes.
TXEndianStream* bigEndianOver(const std::string& bytes) { return TXEndianStreamCreate(ovTestBankStream(bytes)); }

std::string writtenBy(TXEndianStream* endian) {
    return ovTestBankBytes(static_cast<TBankStream*>(endian->_stream.get())->_bank);
}

template <class T>
T fromBits(uint64_t bits) {
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <class T>
uint64_t bitsOf(T value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return bits;
}

// ---------------------------------------------------------------------------
// Byte order
// ---------------------------------------------------------------------------

// Each typed value with its big-endian bytes: written through the endian
// stream it gives them, and read back from them it gives the value.
struct TypedCase {
    const char* name;
    std::string bigEndianBytes;
    std::function<void(TStream*)> write;
    std::function<bool(TStream*)> readsBack;
};

const TypedCase typedCases[] = {
    {"Short", std::string("\x12\x34", 2), [](TStream* s) { s->WriteShort(0x1234); },
     [](TStream* s) { return s->ReadShort() == 0x1234; }},
    {"Int", std::string("\x00\x00\x00\x01", 4), [](TStream* s) { s->WriteInt(1); },
     [](TStream* s) { return s->ReadInt() == 1; }},
    {"negative Int", std::string("\xff\xff\xff\xfe", 4), [](TStream* s) { s->WriteInt(-2); },
     [](TStream* s) { return s->ReadInt() == -2; }},
    {"Long", std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8),
     [](TStream* s) { s->WriteLong(0x0102030405060708); },
     [](TStream* s) { return s->ReadLong() == 0x0102030405060708; }},
    {"Float", std::string("\x3f\x80\x00\x00", 4), [](TStream* s) { s->WriteFloat(1.0f); },
     [](TStream* s) { return s->ReadFloat() == 1.0f; }},
    {"Double", std::string("\xc0\x09\x21\xfb\x54\x44\x2d\x18", 8), [](TStream* s) { s->WriteDouble(-std::numbers::pi); },
     [](TStream* s) { return s->ReadDouble() == -std::numbers::pi; }},
};

TEST_F(EndianByteOrder, TypedValuesTravelMostSignificantByteFirst) {
    for (const TypedCase& c : typedCases) {
        TXEndianStream* out = bigEndianOver("");
        c.write(out);
        EXPECT_EQ(writtenBy(out), c.bigEndianBytes) << c.name;
        EXPECT_TRUE(c.readsBack(bigEndianOver(c.bigEndianBytes))) << c.name;
        const std::string reversed(c.bigEndianBytes.rbegin(), c.bigEndianBytes.rend());
        EXPECT_TRUE(c.readsBack(ovTestBankStream(reversed))) << c.name << ": the plain stream is little-endian";
    }
}

TEST_F(EndianByteOrder, TheSameBytesReadDifferentlyWithoutTheWrapper) {
    EXPECT_EQ(bigEndianOver("\x12\x34")->ReadShort(), 0x1234);
    EXPECT_EQ(ovTestBankStream("\x12\x34")->ReadShort(), 0x3412);
}

TEST_F(EndianByteOrder, ShortsAreUnsignedAndWrittenFromTheLowBits) {
    EXPECT_EQ(bigEndianOver("\xff\xfe")->ReadShort(), 0xFFFE);
    TXEndianStream* out = bigEndianOver("");
    out->WriteShort(0x12345678);
    out->WriteShort(-1);
    EXPECT_EQ(writtenBy(out), "\x56\x78\xff\xff");
}

TEST_F(EndianByteOrder, FloatingPointKeepsEveryBit) {
    const uint64_t floatBits[] = {0x7fc12345, 0xffa00001 /* signalling */, 0x80000000 /* -0 */, 0x00000001,
                                  0x7f800000};
    const uint64_t doubleBits[] = {0x7ff8000000abcdef, 0xfff4000000000001, 0x8000000000000000, 0x0000000000000001,
                                   0xfff0000000000000};
    TXEndianStream* stream = bigEndianOver("");
    for (uint64_t bits : floatBits) stream->WriteFloat(fromBits<float>(bits));
    for (uint64_t bits : doubleBits) stream->WriteDouble(fromBits<double>(bits));
    ASSERT_EQ(writtenBy(stream).substr(0, 4), "\x7f\xc1\x23\x45");
    stream->Seek(0);
    for (uint64_t bits : floatBits) EXPECT_EQ(bitsOf(stream->ReadFloat()), bits) << std::hex << bits;
    for (uint64_t bits : doubleBits) EXPECT_EQ(bitsOf(stream->ReadDouble()), bits) << std::hex << bits;
}

TEST_F(EndianByteOrder, SingleBytesTextAndRawBytesPassThroughUnchanged) {
    TXEndianStream* stream = bigEndianOver("");
    stream->WriteByte(0x1234);
    stream->WriteString(ovLiteral(u"ab"));
    stream->WriteLine(ovLiteral(u"cd"));
    const uint8_t raw[] = {1, 2, 3};
    stream->WriteBytes(raw, 3);
    EXPECT_EQ(writtenBy(stream), std::string("\x34" "abcd\r\n\x01\x02\x03", 10));
    stream->Seek(0);
    EXPECT_EQ(stream->ReadByte(), 0x34);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "abcd");
    EXPECT_EQ(stream->Pos(), 7);
}

// A subclass whose Swap4 leaves the bytes alone: typed reads apply the swap
// through the record, so Ints and Floats come out in the machine's order
// while Shorts are still swapped.
int32_t keepOrder(TXEndianStream*, uint8_t*) { return 0; }
extern const TXEndianStreamClass unswappedIntsType;
constexpr ovScope unswappedIntsScope = {OV_SCOPE_CLASS, "TUnswappedInts", ovNoScopeEntries};
constexpr TXEndianStreamClass unswappedIntsType =
    ovMakeClass<TXEndianStreamClass, TXEndianStream>(TXEndianStreamType, &unswappedIntsScope, [](auto& r) {
        r.New = ovFieldlessNew<unswappedIntsType>;
        r.Delete = ovChainDelete<unswappedIntsType>;
        r.Swap4 = keepOrder;
    });

TEST_F(EndianByteOrder, TypedValuesUseTheSwapOfTheClassRecord) {
    auto* stream = ovNew<TXEndianStream>(&unswappedIntsType);
    stream->SetStream(ovTestBankStream(std::string("\x01\x00\x00\x00\x12\x34", 6)));
    EXPECT_EQ(stream->ReadInt(), 1);
    EXPECT_EQ(stream->ReadShort(), 0x1234);
}

// ---------------------------------------------------------------------------
// Short transfers
// ---------------------------------------------------------------------------

TEST_F(EndianShortTransfers, ValuesArriveWholeFromAStreamThatHandsOutOneByteAtATime) {
    TMemoryTestStream* raw = ovTestMemoryStream(std::string("\x00\x00\x01\x02\x01\x02\x03\x04\x05\x06\x07\x08", 12));
    raw->chunk = 1;
    TXEndianStream* stream = TXEndianStreamCreate(raw);
    EXPECT_EQ(stream->ReadInt(), 0x0102);
    EXPECT_EQ(stream->ReadLong(), 0x0102030405060708);
    EXPECT_EQ(raw->reads, 12);
}

TEST_F(EndianShortTransfers, ATruncatedValueThrowsTheReadException) {
    const std::function<void(TStream*)> reads[] = {
        [](TStream* s) { s->ReadShort(); }, [](TStream* s) { s->ReadInt(); },   [](TStream* s) { s->ReadLong(); },
        [](TStream* s) { s->ReadFloat(); }, [](TStream* s) { s->ReadDouble(); },
    };
    for (const auto& read : reads) {
        TXEndianStream* stream = TXEndianStreamCreate(ovTestMemoryStream("\x01"));
        EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { read(stream); }), &TStreamReadExceptionType));
    }
}

TEST_F(EndianShortTransfers, AFullStreamThrowsTheWriteExceptionAfterWhatFitted) {
    TMemoryTestStream* raw = ovTestMemoryStream("");
    raw->writeLimit = 3;
    TXEndianStream* stream = TXEndianStreamCreate(raw);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { stream->WriteInt(0x0A0B0C0D); }), &TStreamWriteExceptionType));
    EXPECT_EQ(*raw->output, "\x0a\x0b\x0c");
}

// ---------------------------------------------------------------------------
// Wrapping
// ---------------------------------------------------------------------------

TEST_F(EndianWrapping, BigEndianWrapsAndLittleEndianHandsTheStreamBack) {
    TStream* plain = ovTestBankStream("");
    TStream* big = WrapBigEndian(plain);
    ASSERT_TRUE(ovIsInstance(big, &TXEndianStreamType));
    EXPECT_EQ(static_cast<TXEndianStream*>(big)->_stream.get(), plain);
    EXPECT_EQ(WrapLittleEndian(plain), plain);
    EXPECT_EQ(TXEndianStreamType.LittleEndian(plain), plain);
}

TEST_F(EndianWrapping, TheNullObjectStaysNull) {
    EXPECT_EQ(TXEndianStreamType.Create(ovNullOf<TStream>()), ovNull);
    EXPECT_EQ(WrapBigEndian(ovNullOf<TStream>()), ovNullOf<TStream>());
    EXPECT_EQ(WrapLittleEndian(ovNullOf<TStream>()), ovNullOf<TStream>());
}

TEST_F(EndianWrapping, ClosingTheEndianStreamClosesTheWrappedOne) {
    ovTestTempDir dir;
    ovTestWriteFile(dir / "data.bin", "xy");
    TStream* file = StreamOpenRead(ovTestPath(dir / "data.bin"));
    ASSERT_NE(file, ovNullOf<TStream>());
    const int descriptors = ovTestOpenDescriptors();
    WrapBigEndian(file)->Close();
    EXPECT_EQ(ovTestOpenDescriptors(), descriptors - 1);
}

// ---------------------------------------------------------------------------
// Protocols
// ---------------------------------------------------------------------------

// The Int read first from the stream the name opens, or nullopt when the
// name opens nothing.
std::optional<int32_t> firstIntOf(const std::string& name) {
    TStream* stream = StreamOpenRead(ovTestPath(name));
    if (stream == ovNullOf<TStream>()) return std::nullopt;
    ovStreamCloser closer(stream);
    const int32_t n = stream->ReadInt();
    closer.close();
    return n;
}

TEST_F(EndianProtocols, NamesResolveThroughTheChainAndNest) {
    ovTestTempDir dir;
    const std::string file = dir / "data.bin";
    ovTestWriteFile(file, std::string("\x00\x00\x00\x2a", 4));
    const struct {
        std::string prefix;
        int32_t firstInt;
    } cases[] = {
        {"bigendian::", 42},
        {"BigEndian::", 42},
        {"littleendian::", 0x2a000000},
        {"bigendian::littleendian::", 42},
        {"littleendian::bigendian::", 42},
        {"bigendian::bigendian::", 42},  // the outer stream reads the inner one's raw bytes
    };
    for (const auto& c : cases) EXPECT_EQ(firstIntOf(c.prefix + file), c.firstInt) << c.prefix;
}

TEST_F(EndianProtocols, OtherFactoriesServeTheInnerPath) {
    TStream* bytes = StreamOpenRead(ovLiteral(u"bigendian::incbin::orvane-test/embedded_bytes.bin"));
    ASSERT_NE(bytes, ovNullOf<TStream>());
    EXPECT_EQ(bytes->ReadInt(), 0x00010203);
    EXPECT_EQ(bytes->ReadShort(), 0x0405);
    EXPECT_EQ(bytes->ReadLong(), 0x060708090a0b0c0d);
}

TEST_F(EndianProtocols, OverATextStreamTheBytesBecomeHexadecimalText) {
    ovTestTempDir dir;
    String* name = ovTestPath("bigendian::utf8::" + (dir / "data.txt"));
    TStream* out = StreamOpenWrite(name);
    ASSERT_NE(out, ovNullOf<TStream>());
    out->WriteInt(0x0102030a);
    out->Close();
    EXPECT_EQ(ovTestReadFile(dir / "data.txt"), "0102030A");
    TStream* in = StreamOpenRead(name);
    ASSERT_NE(in, ovNullOf<TStream>());
    EXPECT_EQ(in->ReadInt(), 0x0102030a);
    in->Close();
}

TEST_F(EndianProtocols, APathNothingCanServeOpensNothing) {
    ovTestTempDir dir;
    for (const std::string& name : {"bigendian::" + (dir / "missing.bin"), "littleendian::" + (dir / "missing.bin"),
                                    std::string("bigendian::nosuchprotocol::x"), std::string("bigendian::")})
        EXPECT_EQ(StreamOpenRead(ovTestPath(name)), ovNullOf<TStream>()) << name;
}

TEST_F(EndianProtocols, WritingCreatesTheFileInBigEndianOrder) {
    ovTestTempDir dir;
    TStream* out = StreamOpenWrite(ovTestPath("bigendian::" + (dir / "out.bin")));
    ASSERT_NE(out, ovNullOf<TStream>());
    out->WriteShort(0xBEEF);
    out->WriteLong(-2);
    out->Close();
    EXPECT_EQ(ovTestReadFile(dir / "out.bin"), std::string("\xbe\xef\xff\xff\xff\xff\xff\xff\xff\xfe", 10));
}

TEST_F(EndianProtocols, TheModuleRegistersBothClassesOnce) {
    ovEndianStreamModuleInit();
    int32_t count = 0;
    const ObjectClass* const* types = ovObjectRegisteredTypes(&count);
    int32_t seen = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (types[i] != &TXEndianStreamType) continue;
        ++seen;
        ASSERT_LT(i + 1, count);
        EXPECT_EQ(types[i + 1], &TXEndianStreamFactoryType);
    }
    EXPECT_EQ(seen, 1);
}

}  // namespace
