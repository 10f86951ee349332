// Bank streams and RAM streams: positions, reads and writes at and past the
// end, growth of the bank, and the factories that open them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bank_test_support.h"
#include "runtime/embedded.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/factory.h"
#include "tests/support/gc_test_support.h"

namespace {

class MemoryStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

using BankStreams = MemoryStreamTest;
using RamStreams = MemoryStreamTest;
using MemoryFactories = MemoryStreamTest;

int32_t writeText(TStream* stream, const std::string& bytes) {
    return stream->Write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

std::string readText(TStream* stream, int32_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    const int32_t n = stream->Read(reinterpret_cast<uint8_t*>(bytes.data()), count);
    bytes.resize(static_cast<size_t>(n > 0 ? n : 0));
    return bytes;
}

// ---------------------------------------------------------------------------
// Bank streams
// ---------------------------------------------------------------------------

TEST_F(BankStreams, OpeningNullMakesAFreshEmptyBankThatWritesGrow) {
    TBankStream* stream = BankStreamOpen(ovNullBank());
    ASSERT_NE(stream->_bank, ovNullBank());
    EXPECT_EQ(stream->Size(), 0);
    EXPECT_EQ(writeText(stream, "hello"), 5);
    EXPECT_EQ(BankLength(stream->_bank), 5);
    EXPECT_EQ(ovTestBankBytes(stream->_bank), "hello");
    EXPECT_EQ(stream->Pos(), 5);
    EXPECT_EQ(stream->Eof(), 1);
}

TEST_F(BankStreams, SeeksAreClampedToTheBank) {
    TBankStream* stream = ovTestBankStream("0123456789");
    EXPECT_EQ(stream->Seek(-3), 0);
    EXPECT_EQ(stream->Seek(20), 10);
    EXPECT_EQ(stream->Pos(), 10);
    EXPECT_EQ(stream->Seek(4), 4);
}

TEST_F(BankStreams, ReadsStopAtTheEnd) {
    TBankStream* stream = ovTestBankStream("0123456789");
    stream->Seek(7);
    EXPECT_EQ(readText(stream, 5), "789");
    EXPECT_EQ(readText(stream, 5), "");
    EXPECT_EQ(readText(stream, 0), "");
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { stream->ReadInt(); }), &TStreamReadExceptionType));
}

TEST_F(BankStreams, WritesOverwriteThenGrowTheBank) {
    TBankStream* stream = ovTestBankStream("0123456789");
    stream->Seek(8);
    EXPECT_EQ(writeText(stream, "abcd"), 4);
    EXPECT_EQ(ovTestBankBytes(stream->_bank), "01234567abcd");
    stream->Seek(1);
    EXPECT_EQ(writeText(stream, "X"), 1);
    EXPECT_EQ(ovTestBankBytes(stream->_bank), "0X234567abcd");
    EXPECT_EQ(writeText(stream, ""), 0);
}

TEST_F(BankStreams, WritingPastAShrunkBankWritesNothing) {
    TBankStream* stream = ovTestBankStream("0123456789");
    stream->Seek(8);
    BankResize(stream->_bank, 4);
    EXPECT_EQ(writeText(stream, "x"), 0);
    EXPECT_EQ(readText(stream, 1), "");
}

TEST_F(BankStreams, TypedValuesRoundTripThroughTheBank) {
    TBankStream* stream = BankStreamOpen(ovNullBank());
    stream->WriteInt(-123456);
    stream->WriteDouble(0.5);
    stream->WriteLine(ovLiteral(u"line"));
    EXPECT_EQ(BankPeekInt(stream->_bank, 0), -123456);
    stream->Seek(0);
    EXPECT_EQ(stream->ReadInt(), -123456);
    EXPECT_EQ(stream->ReadDouble(), 0.5);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "line");
}

TEST_F(BankStreams, ABankAppendedToItselfKeepsItsBytes) {
    // The bank's bytes are the source of a write that makes the bank grow,
    // and so move.
    TBank* bank = ovTestBank("abcdefgh");
    TBankStream* stream = TBankStreamCreate(bank);
    stream->Seek(8);
    EXPECT_EQ(BankWriteTo(bank, stream, 0, 8), 8);
    EXPECT_EQ(ovTestBankBytes(bank), "abcdefghabcdefgh");
    stream->Seek(2);
    EXPECT_EQ(BankWriteTo(bank, stream, 0, 6), 6);
    EXPECT_EQ(ovTestBankBytes(bank), "ababcdefabcdefgh");
}

__attribute__((noinline)) TBankStream* streamOverFreshBank() { return TBankStreamCreate(ovTestBank("kept")); }

TEST_F(BankStreams, TheStreamKeepsItsBankAlive) {
    TBankStream* stream = streamOverFreshBank();
    ovTestCollect();
    EXPECT_EQ(readText(stream, 4), "kept");
    ovKeepAlive(stream);
}

// ---------------------------------------------------------------------------
// RAM streams
// ---------------------------------------------------------------------------

TEST_F(RamStreams, ReadsAreCutAtTheEndOfTheMemory) {
    uint8_t memory[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    TRamStream* stream = RamStreamOpen(memory, 6, 1, 0);
    EXPECT_EQ(stream->Size(), 6);
    EXPECT_EQ(readText(stream, 4), "abcd");
    EXPECT_EQ(readText(stream, 4), "ef");
    EXPECT_EQ(stream->Eof(), 1);
    EXPECT_EQ(readText(stream, 4), "");
}

TEST_F(RamStreams, WritesGoIntoTheCallersMemoryAndNeverGrowIt) {
    char memory[7] = "......";
    TRamStream* stream = RamStreamOpen(reinterpret_cast<uint8_t*>(memory), 4, 1, 1);
    stream->Seek(2);
    EXPECT_EQ(writeText(stream, "xyz"), 2);
    EXPECT_STREQ(memory, "..xy..");
    EXPECT_EQ(stream->Size(), 4);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { stream->WriteByte(1); }), &TStreamWriteExceptionType));
}

TEST_F(RamStreams, EachDirectionWorksOnlyWhenAllowed) {
    uint8_t memory[4] = {1, 2, 3, 4};
    TRamStream* readOnly = RamStreamOpen(memory, 4, 1, 0);
    EXPECT_EQ(writeText(readOnly, "zz"), 0);
    EXPECT_EQ(memory[0], 1);
    TRamStream* writeOnly = RamStreamOpen(memory, 4, 0, 1);
    EXPECT_EQ(readText(writeOnly, 2), "");
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { writeOnly->ReadByte(); }), &TStreamReadExceptionType));
}

TEST_F(RamStreams, SeeksAreClampedAndANegativeSizeIsEmpty) {
    uint8_t memory[4] = {};
    TRamStream* stream = RamStreamOpen(memory, 4, 1, 1);
    EXPECT_EQ(stream->Seek(-1), 0);
    EXPECT_EQ(stream->Seek(9), 4);
    TRamStream* empty = RamStreamOpen(memory, -5, 1, 1);
    EXPECT_EQ(empty->Size(), 0);
    EXPECT_EQ(readText(empty, 1), "");
    EXPECT_EQ(writeText(empty, "a"), 0);
}

// ---------------------------------------------------------------------------
// Factories
// ---------------------------------------------------------------------------

TEST_F(MemoryFactories, ABankHandedToStreamOpenBecomesABankStreamOverIt) {
    TBank* bank = ovTestBank("bank bytes");
    TStream* stream = StreamOpen(bank, 1, 0);
    auto* bankStream = static_cast<TBankStream*>(ovObjectDowncast(stream, &TBankStreamType));
    ASSERT_NE(bankStream, ovNull);
    EXPECT_EQ(bankStream->_bank, bank);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "bank bytes");
}

TEST_F(MemoryFactories, ObjectsThatAreNeitherBanksNorNamesAreRefused) {
    Object* other = ovObjectNew(&TRuntimeExceptionType);
    EXPECT_EQ(StreamOpen(other, 1, 0), ovNullStream());
}

TEST_F(MemoryFactories, IncbinServesOnlyRegisteredNamesAndOnlyForReading) {
    static const uint8_t bytes[] = {'r', 'a', 'm'};
    ovEmbeddedAdd(ovLiteral(u"factory-test/ram"), bytes, 3);
    EXPECT_EQ(StreamOpen(ovLiteral(u"incbin::factory-test/ram"), 0, 1), ovNullStream());
    EXPECT_EQ(StreamOpen(ovLiteral(u"incbin::factory-test/ram"), 1, 1), ovNullStream());
    EXPECT_EQ(StreamOpenRead(ovLiteral(u"incbin::factory-test/none")), ovNullStream());

    TStream* stream = StreamOpenRead(ovLiteral(u"INCBIN::factory-test/ram"));
    ASSERT_TRUE(ovIsInstance(stream, &TRamStreamType));
    EXPECT_EQ(readText(stream, 8), "ram");
    EXPECT_EQ(writeText(stream, "x"), 0);
}

}  // namespace
