// Banks (growth, static banks, typed access, copies, load and save), bank
// streams, RAM streams and the factories that open them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bank_test_support.h"
#include "runtime/embedded.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

using Banks = MemoryStreamTest;
using StaticBanks = MemoryStreamTest;
using BankAccess = MemoryStreamTest;
using BankStreams = MemoryStreamTest;
using RamStreams = MemoryStreamTest;

bool isRuntimeError(Object* thrown) { return ovIsInstance(thrown, &TRuntimeExceptionType); }

int32_t writeText(TStream* stream, const std::string& bytes) {
    return stream->Write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

std::string readText(TStream* stream, int32_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    bytes.resize(static_cast<size_t>(stream->Read(reinterpret_cast<uint8_t*>(bytes.data()), count)));
    return bytes;
}

// ---------------------------------------------------------------------------
// Banks
// ---------------------------------------------------------------------------

TEST_F(Banks, ResizeGrowsByHalfOrToTheSizeAskedForAndNeverShrinksTheCapacity) {
    TBank* bank = ovTestBank("abcdefghij");
    BankResize(bank, 11);
    EXPECT_EQ(BankRoom(bank), 15);
    BankResize(bank, 40);
    EXPECT_EQ(BankRoom(bank), 40);
    BankResize(bank, 5);
    EXPECT_EQ(BankLength(bank), 5);
    EXPECT_EQ(BankRoom(bank), 40);
    EXPECT_EQ(ovTestBankBytes(bank), "abcde");

    TBank* empty = BankNew(0);
    EXPECT_EQ(BankRoom(empty), 0);
    BankResize(empty, 1);
    EXPECT_EQ(BankRoom(empty), 1);
}

TEST_F(Banks, NegativeSizesAreRefused) {
    EXPECT_TRUE(isRuntimeError(ovTestThrown([] { BankNew(-1); })));
    TBank* bank = BankNew(4);
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankResize(bank, -1); })));
    EXPECT_EQ(BankLength(bank), 4);
}

TEST_F(Banks, SaveWritesTheBytesInUseAndLoadReadsThemBack) {
    ovTestTempDir dir;
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>(i * 7);
    TBank* bank = ovTestBank(bytes + "tail");
    BankResize(bank, 3000);
    EXPECT_EQ(BankSave(bank, ovTestAscii(dir / "bank.bin")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "bank.bin"), bytes);
    TBank* loaded = BankLoad(ovTestAscii(dir / "bank.bin"));
    EXPECT_EQ(BankRoom(loaded), 3000);
    EXPECT_EQ(ovTestBankBytes(loaded), bytes);

    EXPECT_EQ(BankSave(bank, ovTestAscii(dir / "no/such/file")), 0);
    EXPECT_EQ(BankLoad(ovTestAscii(dir / "missing")), ovNullOf<TBank>());
}

TEST_F(Banks, ABankIsATargetForLoadAndSave) {
    TBank* source = ovTestBank("payload");
    TBank* copy = BankLoad(source);
    EXPECT_NE(BankBytes(copy), BankBytes(source));
    EXPECT_EQ(ovTestBankBytes(copy), "payload");
    TBank* target = ovTestBank("0123456789");
    EXPECT_EQ(BankSave(source, target), 1);
    EXPECT_EQ(ovTestBankBytes(target), "payload789");
}

// ---------------------------------------------------------------------------
// Static banks
// ---------------------------------------------------------------------------

TEST_F(StaticBanks, GrowingOrShrinkingCopiesWhatFitsAndLeavesTheMemoryAlone) {
    uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TBank* grown = BankOverMemory(memory, 8);
    EXPECT_EQ(BankRoom(grown), TBank::STATIC_CAPACITY);
    BankPokeByte(grown, 7, 80);
    EXPECT_EQ(memory[7], 80);
    BankResize(grown, 12);
    EXPECT_EQ(BankRoom(grown), 12);
    EXPECT_EQ(std::memcmp(BankBytes(grown), memory, 8), 0);
    BankPokeByte(grown, 0, 42);
    EXPECT_EQ(memory[0], 1);

    TBank* shrunk = BankOverMemory(memory, 8);
    BankResize(shrunk, 3);
    EXPECT_EQ(BankRoom(shrunk), 3);
    EXPECT_EQ(ovTestBankBytes(shrunk), "\x01\x02\x03");
}

__attribute__((noinline)) void dropBankOver(uint8_t* memory) { BankOverMemory(memory, 4); }

TEST_F(StaticBanks, DestroyingAStaticBankLeavesItsMemoryToTheCaller) {
    uint8_t memory[4] = {9, 9, 9, 9};
    dropBankOver(memory);
    ovTestCollect();  // freeing the stack array would abort here
    EXPECT_EQ(memory[3], 9);
}

// ---------------------------------------------------------------------------
// Typed access and copies
// ---------------------------------------------------------------------------

TEST_F(BankAccess, PeeksAndPokesAreLittleEndianUnalignedAndUnsignedForBytesAndShorts) {
    TBank* bank = ovTestBank(std::string("\xff\xff\x01\x02\x03\x04\x05\x06\x07\x08\x09\x00\x00\x00\x00\x00", 16));
    EXPECT_EQ(BankPeekByte(bank, 0), 255);
    EXPECT_EQ(BankPeekShort(bank, 0), 65535);
    EXPECT_EQ(BankPeekInt(bank, 1), 0x030201ff);
    EXPECT_EQ(BankPeekLong(bank, 3), 0x0908070605040302LL);
    BankPokeByte(bank, 0, 0x1ff);
    BankPokeShort(bank, 1, 0x12345);
    EXPECT_EQ(ovTestBankBytes(bank).substr(0, 3), "\xff\x45\x23");
    BankPokeLong(bank, 1, INT64_MIN + 5);
    EXPECT_EQ(BankPeekLong(bank, 1), INT64_MIN + 5);
    BankPokeFloat(bank, 9, -1.25f);
    EXPECT_EQ(BankPeekFloat(bank, 9), -1.25f);
    BankPokeDouble(bank, 7, 6.02e23);
    EXPECT_EQ(BankPeekDouble(bank, 7), 6.02e23);
}

TEST_F(BankAccess, AccessOutsideTheBytesInUseIsRefused) {
    TBank* bank = BankNew(8);
    EXPECT_EQ(ovTestThrown([&] { BankPeekInt(bank, 4); }), ovNull);
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekInt(bank, 5); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekByte(bank, -1); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPokeDouble(bank, INT32_MAX, 0.0); })));
    BankResize(bank, 2);  // the capacity beyond the size is not in use
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekShort(bank, 1); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankCopy(bank, 0, BankNew(1), 0, 2); })));
    EXPECT_TRUE(ovIsInstance(ovTestThrown([] { BankPeekByte(ovNullOf<TBank>(), 0); }), &TNullObjectExceptionType));
}

TEST_F(BankAccess, CopiesMoveBytesAndKeepOverlappingSourcesIntact) {
    TBank* destination = ovTestBank("abcdefghij");
    BankCopy(ovTestBank("0123456789"), 2, destination, 5, 4);
    EXPECT_EQ(ovTestBankBytes(destination), "abcde2345j");
    TBank* forward = ovTestBank("abcdefgh");
    BankCopy(forward, 0, forward, 2, 5);
    EXPECT_EQ(ovTestBankBytes(forward), "ababcdeh");
    TBank* backward = ovTestBank("abcdefgh");
    BankCopy(backward, 2, backward, 0, 5);
    EXPECT_EQ(ovTestBankBytes(backward), "cdefgfgh");
}

TEST_F(BankAccess, ReadAndWriteAreOneCallOfTheStream) {
    TMemoryTestStream* source = ovTestMemoryStream("abcdefgh");
    source->chunk = 3;
    TBank* bank = ovTestBank("..........");
    EXPECT_EQ(BankReadFrom(bank, source, 2, 6), 3);
    EXPECT_EQ(ovTestBankBytes(bank), "..abc.....");
    TMemoryTestStream* sink = ovTestMemoryStream("");
    EXPECT_EQ(BankWriteTo(bank, sink, 1, 4), 4);
    EXPECT_EQ(*sink->output, ".abc");
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankWriteTo(bank, sink, 8, 3); })));
}

// ---------------------------------------------------------------------------
// Bank streams
// ---------------------------------------------------------------------------

TEST_F(BankStreams, OverNullAFreshBankGrowsWithTheWrites) {
    TBankStream* stream = BankStreamOpen(ovNullOf<TBank>());
    EXPECT_EQ(stream->Size(), 0);
    EXPECT_EQ(writeText(stream, "hello"), 5);
    EXPECT_EQ(ovTestBankBytes(stream->_bank), "hello");
    EXPECT_EQ(stream->Eof(), 1);
}

TEST_F(BankStreams, SeeksClampReadsStopAtTheEndAndWritesAppend) {
    TBankStream* stream = ovTestBankStream("0123456789");
    EXPECT_EQ(stream->Seek(-3), 0);
    EXPECT_EQ(stream->Seek(20), 10);
    EXPECT_EQ(readText(stream, 5), "");
    EXPECT_EQ(writeText(stream, "ab"), 2);
    stream->Seek(7);
    EXPECT_EQ(readText(stream, 4), "789a");
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { stream->ReadInt(); }), &TStreamReadExceptionType));
    stream->Seek(8);
    BankResize(stream->_bank, 4);  // the position now lies past the end
    EXPECT_EQ(writeText(stream, "x"), 0);
    EXPECT_EQ(readText(stream, 1), "");
}

TEST_F(BankStreams, ABankWrittenToItsOwnStreamKeepsItsBytesWhenItMoves) {
    TBank* bank = ovTestBank("abcdefgh");
    TBankStream* stream = TBankStreamCreate(bank);
    stream->Seek(8);
    EXPECT_EQ(BankWriteTo(bank, stream, 0, 8), 8);
    EXPECT_EQ(ovTestBankBytes(bank), "abcdefghabcdefgh");
}

TEST_F(BankStreams, StreamOpenTurnsABankAndOnlyABankIntoABankStream) {
    TBank* bank = ovTestBank("bank bytes");
    TStream* stream = StreamOpen(bank, 1, 0);
    ASSERT_TRUE(ovIsInstance(stream, &TBankStreamType));
    EXPECT_EQ(static_cast<TBankStream*>(stream)->_bank, bank);
    EXPECT_EQ(ovTestText(stream->ReadLine()), "bank bytes");
    EXPECT_EQ(StreamOpen(ovObjectNew(&TRuntimeExceptionType), 1, 0), ovNullOf<TStream>());
}

__attribute__((noinline)) TBankStream* streamOverFreshBank() { return TBankStreamCreate(ovTestBank("kept")); }

TEST_F(BankStreams, TheStreamKeepsItsBankAlive) {
    TBankStream* stream = streamOverFreshBank();
    ovTestCollect();
    EXPECT_EQ(readText(stream, 4), "kept");
}

// ---------------------------------------------------------------------------
// RAM streams
// ---------------------------------------------------------------------------

TEST_F(RamStreams, TransfersStopAtTheEndAndEachDirectionNeedsItsFlag) {
    char memory[7] = "abcdef";
    TRamStream* stream = RamStreamOpen(reinterpret_cast<uint8_t*>(memory), 4, 1, 1);
    EXPECT_EQ(readText(stream, 3), "abc");
    EXPECT_EQ(readText(stream, 3), "d");
    EXPECT_EQ(stream->Seek(-1), 0);
    EXPECT_EQ(stream->Seek(2), 2);
    EXPECT_EQ(writeText(stream, "XYZ"), 2);
    EXPECT_STREQ(memory, "abXYef");
    EXPECT_EQ(stream->Size(), 4);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { stream->WriteByte(1); }), &TStreamWriteExceptionType));

    EXPECT_EQ(writeText(RamStreamOpen(reinterpret_cast<uint8_t*>(memory), 4, 1, 0), "z"), 0);
    EXPECT_EQ(readText(RamStreamOpen(reinterpret_cast<uint8_t*>(memory), 4, 0, 1), 1), "");
    EXPECT_EQ(memory[0], 'a');
    EXPECT_EQ(RamStreamOpen(reinterpret_cast<uint8_t*>(memory), -5, 1, 1)->Size(), 0);
}

TEST_F(RamStreams, IncbinServesOnlyRegisteredNamesAndOnlyForReading) {
    static const uint8_t bytes[] = {'r', 'a', 'm'};
    ovEmbeddedAdd(ovLiteral(u"factory-test/ram"), bytes, 3);
    EXPECT_EQ(StreamOpen(ovLiteral(u"incbin::factory-test/ram"), 1, 1), ovNullOf<TStream>());
    EXPECT_EQ(StreamOpenWrite(ovLiteral(u"incbin::factory-test/ram")), ovNullOf<TStream>());
    EXPECT_EQ(StreamOpenRead(ovLiteral(u"incbin::factory-test/none")), ovNullOf<TStream>());
    TStream* stream = StreamOpenRead(ovLiteral(u"INCBIN::factory-test/ram"));
    ASSERT_TRUE(ovIsInstance(stream, &TRamStreamType));
    EXPECT_EQ(readText(stream, 8), "ram");
    EXPECT_EQ(writeText(stream, "x"), 0);
}

}  // namespace
