// Banks: sizes and growth, static banks, typed access, copies, transfers
// through streams, and whole-bank load and save.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/gc_test_support.h"
#include "bank_test_support.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "tests/system/support/system_test_support.h"

namespace {

class BankTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

using BankSizes = BankTest;
using StaticBanks = BankTest;
using TypedAccess = BankTest;
using BankCopies = BankTest;
using BankTransfers = BankTest;

bool isRuntimeError(Object* thrown) { return ovIsInstance(thrown, &TRuntimeExceptionType); }

// ---------------------------------------------------------------------------
// Sizes and growth
// ---------------------------------------------------------------------------

TEST_F(BankSizes, GrowingPastTheCapacityAddsHalfOrWhatIsAskedFor) {
    TBank* bank = BankNew(10);
    EXPECT_EQ(BankLength(bank), 10);
    EXPECT_EQ(BankRoom(bank), 10);
    BankResize(bank, 11);
    EXPECT_EQ(BankLength(bank), 11);
    EXPECT_EQ(BankRoom(bank), 15);

    TBank* jump = BankNew(10);
    BankResize(jump, 40);
    EXPECT_EQ(BankRoom(jump), 40);
}

TEST_F(BankSizes, ShrinkingKeepsTheCapacity) {
    TBank* bank = BankNew(10);
    BankResize(bank, 5);
    EXPECT_EQ(BankLength(bank), 5);
    EXPECT_EQ(BankRoom(bank), 10);
    BankResize(bank, 9);
    EXPECT_EQ(BankRoom(bank), 10);
}

TEST_F(BankSizes, AnEmptyBankGrowsToExactlyTheFirstSize) {
    TBank* bank = BankNew(0);
    EXPECT_EQ(BankLength(bank), 0);
    EXPECT_EQ(BankRoom(bank), 0);
    BankResize(bank, 1);
    EXPECT_EQ(BankRoom(bank), 1);
}

TEST_F(BankSizes, GrowingKeepsTheBytes) {
    TBank* bank = ovTestBank("abcdefghij");
    BankResize(bank, 100);
    EXPECT_EQ(ovTestBankBytes(bank).substr(0, 10), "abcdefghij");
}

TEST_F(BankSizes, NegativeSizesAreRefused) {
    EXPECT_TRUE(isRuntimeError(ovTestThrown([] { BankNew(-1); })));
    TBank* bank = BankNew(4);
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankResize(bank, -1); })));
    EXPECT_EQ(BankLength(bank), 4);
}

TEST_F(BankSizes, LockCountsAndHandsOutTheBytes) {
    TBank* bank = BankNew(4);
    EXPECT_EQ(BankLock(bank), BankBytes(bank));
    BankLock(bank);
    EXPECT_EQ(bank->_locked, 2);
    EXPECT_EQ(BankUnlock(bank), 0);
    EXPECT_EQ(bank->_locked, 1);
    // The lock is counted only: the bank still resizes.
    BankResize(bank, 400);
    EXPECT_EQ(BankLength(bank), 400);
}

TEST_F(BankSizes, AFreshInstanceHasEveryFieldZero) {
    auto* bank = ovNew<TBank>(&TBankType);
    EXPECT_EQ(bank->_buf, nullptr);
    EXPECT_EQ(bank->_size, 0);
    EXPECT_EQ(bank->_capacity, 0);
    EXPECT_EQ(bank->_locked, 0);
}

// ---------------------------------------------------------------------------
// Static banks
// ---------------------------------------------------------------------------

TEST_F(StaticBanks, ABankOverMemoryUsesItInPlace) {
    uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TBank* bank = BankOverMemory(memory, 8);
    EXPECT_EQ(BankBytes(bank), memory);
    EXPECT_EQ(BankRoom(bank), TBank::STATIC_CAPACITY);
    BankPokeByte(bank, 0, 99);
    EXPECT_EQ(memory[0], 99);
}

TEST_F(StaticBanks, GrowingCopiesIntoAnOwnedBufferAndLeavesTheMemoryAlone) {
    uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TBank* bank = BankOverMemory(memory, 8);
    BankResize(bank, 12);
    EXPECT_NE(BankBytes(bank), memory);
    EXPECT_EQ(BankRoom(bank), 12);
    EXPECT_EQ(std::memcmp(BankBytes(bank), memory, 8), 0);
    BankPokeByte(bank, 0, 42);
    EXPECT_EQ(memory[0], 1);
}

TEST_F(StaticBanks, ShrinkingAStaticBankKeepsOnlyTheBytesThatFit) {
    uint8_t memory[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TBank* bank = BankOverMemory(memory, 8);
    BankResize(bank, 3);
    EXPECT_EQ(BankRoom(bank), 3);
    EXPECT_EQ(BankLength(bank), 3);
    EXPECT_EQ(ovTestBankBytes(bank), "\x01\x02\x03");
}

__attribute__((noinline)) void dropBankOver(uint8_t* memory) { BankOverMemory(memory, 4); }

TEST_F(StaticBanks, DestroyingAStaticBankDoesNotFreeTheMemory) {
    uint8_t memory[4] = {9, 9, 9, 9};
    const int32_t passesBefore = ovGCGetState().passes;
    dropBankOver(memory);
    ovTestCollect();
    EXPECT_GT(ovGCGetState().passes, passesBefore);
    EXPECT_EQ(memory[3], 9);
}

// ---------------------------------------------------------------------------
// Typed access
// ---------------------------------------------------------------------------

TEST_F(TypedAccess, PeeksAreLittleEndianUnalignedAndUnsignedForBytesAndShorts) {
    TBank* bank = ovTestBank(std::string("\xff\xff\x01\x02\x03\x04\x05\x06\x07\x08\x09", 11));
    EXPECT_EQ(BankPeekByte(bank, 0), 255);
    EXPECT_EQ(BankPeekShort(bank, 0), 65535);
    EXPECT_EQ(BankPeekInt(bank, 1), 0x030201ff);
    EXPECT_EQ(BankPeekLong(bank, 3), 0x0908070605040302LL);
}

TEST_F(TypedAccess, PokesStoreTheLowBitsOfTheValue) {
    TBank* bank = BankNew(8);
    BankPokeByte(bank, 0, 0x1ff);
    BankPokeShort(bank, 1, 0x12345);
    BankPokeInt(bank, 3, -2);
    EXPECT_EQ(ovTestBankBytes(bank).substr(0, 7), "\xff\x45\x23\xfe\xff\xff\xff");
}

TEST_F(TypedAccess, EveryWidthRoundTripsAtAnOddOffset) {
    TBank* bank = BankNew(20);
    BankPokeLong(bank, 1, INT64_MIN + 5);
    EXPECT_EQ(BankPeekLong(bank, 1), INT64_MIN + 5);
    BankPokeFloat(bank, 9, -1.25f);
    EXPECT_EQ(BankPeekFloat(bank, 9), -1.25f);
    BankPokeDouble(bank, 11, 6.02e23);
    EXPECT_EQ(BankPeekDouble(bank, 11), 6.02e23);
    BankPokeInt(bank, 5, INT32_MIN);
    EXPECT_EQ(BankPeekInt(bank, 5), INT32_MIN);
}

TEST_F(TypedAccess, AccessOutsideTheBytesInUseIsRefused) {
    TBank* bank = BankNew(8);
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekInt(bank, 5); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekByte(bank, -1); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPokeByte(bank, 8, 0); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPokeDouble(bank, INT32_MAX, 0.0); })));
    EXPECT_EQ(ovTestThrown([&] { BankPeekInt(bank, 4); }), ovNull);  // the last whole Int
    // The capacity beyond the size is not in use.
    BankResize(bank, 2);
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankPeekShort(bank, 1); })));
}

TEST_F(TypedAccess, ANullBankThrowsTheNullObjectException) {
    EXPECT_TRUE(ovIsInstance(ovTestThrown([] { BankPeekByte(ovNullBank(), 0); }), &TNullObjectExceptionType));
}

// ---------------------------------------------------------------------------
// Copies
// ---------------------------------------------------------------------------

TEST_F(BankCopies, CopiesBetweenBanks) {
    TBank* source = ovTestBank("0123456789");
    TBank* destination = ovTestBank("abcdefghij");
    EXPECT_EQ(BankCopy(source, 2, destination, 5, 4), 0);
    EXPECT_EQ(ovTestBankBytes(destination), "abcde2345j");
}

TEST_F(BankCopies, OverlappingRangesKeepTheSourceBytesInEitherDirection) {
    TBank* forward = ovTestBank("abcdefgh");
    BankCopy(forward, 0, forward, 2, 5);
    EXPECT_EQ(ovTestBankBytes(forward), "ababcdeh");
    TBank* backward = ovTestBank("abcdefgh");
    BankCopy(backward, 2, backward, 0, 5);
    EXPECT_EQ(ovTestBankBytes(backward), "cdefgfgh");
}

TEST_F(BankCopies, RangesOutsideEitherBankAreRefused) {
    TBank* small = ovTestBank("abc");
    TBank* large = ovTestBank("0123456789");
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankCopy(large, 0, small, 0, 4); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankCopy(small, 1, large, 0, 3); })));
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankCopy(small, 0, large, 0, -1); })));
    EXPECT_EQ(ovTestBankBytes(small), "abc");
    EXPECT_EQ(ovTestBankBytes(large), "0123456789");
}

// ---------------------------------------------------------------------------
// Transfers and whole banks
// ---------------------------------------------------------------------------

TEST_F(BankTransfers, ReadAndWriteAreOneCallOfTheStream) {
    TMemoryTestStream* source = ovTestMemoryStream("abcdefgh");
    source->chunk = 3;
    TBank* bank = ovTestBank("..........");
    EXPECT_EQ(BankReadFrom(bank, source, 2, 6), 3);
    EXPECT_EQ(ovTestBankBytes(bank), "..abc.....");
    EXPECT_EQ(source->reads, 1);

    TMemoryTestStream* sink = ovTestMemoryStream("");
    EXPECT_EQ(BankWriteTo(bank, sink, 1, 4), 4);
    EXPECT_EQ(*sink->output, ".abc");
    EXPECT_TRUE(isRuntimeError(ovTestThrown([&] { BankWriteTo(bank, sink, 8, 3); })));
}

TEST_F(BankTransfers, SaveWritesTheBytesInUseAndLoadReadsThemBack) {
    ovTestTempDir dir;
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>(i * 7);
    TBank* bank = ovTestBank(bytes);
    BankResize(bank, 2999);
    EXPECT_EQ(BankSave(bank, ovTestAscii(dir / "bank.bin")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "bank.bin"), bytes.substr(0, 2999));

    TBank* loaded = BankLoad(ovTestAscii(dir / "bank.bin"));
    ASSERT_NE(loaded, ovNullBank());
    EXPECT_EQ(BankRoom(loaded), 2999);
    EXPECT_EQ(ovTestBankBytes(loaded), bytes.substr(0, 2999));
}

TEST_F(BankTransfers, UrlsThatCannotBeOpenedGiveZeroAndNull) {
    ovTestTempDir dir;
    EXPECT_EQ(BankSave(BankNew(1), ovTestAscii(dir / "no/such/file")), 0);
    EXPECT_EQ(BankLoad(ovTestAscii(dir / "missing")), ovNullBank());
}

TEST_F(BankTransfers, ABankLoadsFromAndSavesToAnotherBank) {
    TBank* source = ovTestBank("payload");
    TBank* copy = BankLoad(source);
    ASSERT_NE(copy, ovNullBank());
    EXPECT_NE(BankBytes(copy), BankBytes(source));
    EXPECT_EQ(ovTestBankBytes(copy), "payload");

    TBank* target = ovTestBank("0123456789");
    EXPECT_EQ(BankSave(source, target), 1);
    EXPECT_EQ(ovTestBankBytes(target), "payload789");
}

TEST_F(BankTransfers, AShortWriteDuringSaveThrowsTheWriteException) {
    TMemoryTestStream* sink = ovTestMemoryStream("");
    sink->writeLimit = 3;
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { BankSave(ovTestBank("abcdef"), sink); }),
                             &TStreamWriteExceptionType));
    EXPECT_EQ(*sink->output, "abc");
}

}  // namespace
