// Writes that fail only when the C library flushes or closes: a full disk
// takes small data into the C buffer and refuses it there.  The data is
// lost, and whatever wrote it says so.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "streams/bank.h"
#include "streams/cstream.h"
#include "streams/load_save.h"
#include "streams/textstream.h"
#include "tests/support/system_test_support.h"

namespace {

class LostWrites : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTextStreamModuleInit();
        ovBankModuleInit();
    }
    ovTestTempDir dir;
};

String* full() { return ovTestAscii("/dev/full"); }

int32_t writeSmall(TCStream* stream) { return stream->Write(reinterpret_cast<const uint8_t*>("small"), 5); }

TEST_F(LostWrites, AFileStreamRemembersAFailedFlushUntilItIsClosed) {
    TCStream* flushed = TCStreamOpenFile(full(), 0, 1);
    ASSERT_NE(flushed, ovNull);
    EXPECT_EQ(writeSmall(flushed), 5);  // the C buffer takes it
    EXPECT_EQ(flushed->Flush(), -1);
    EXPECT_EQ(flushed->Flush(), -1);  // nothing is pending now, but the data was lost
    EXPECT_EQ(flushed->Close(), -1);
    EXPECT_EQ(flushed->Close(), 0);  // closed already: nothing happens

    TCStream* closed = TCStreamOpenFile(full(), 0, 1);
    writeSmall(closed);
    EXPECT_EQ(closed->Close(), -1);

    TCStream* kept = TCStreamOpenFile(ovTestAscii(dir / "kept"), 0, 1);
    writeSmall(kept);
    EXPECT_EQ(kept->Flush(), 0);
    EXPECT_EQ(kept->Close(), 0);
    EXPECT_EQ(ovTestReadFile(dir / "kept"), "small");
}

TEST_F(LostWrites, WholeTargetSavesOfSmallDataThrowTheWriteException) {
    Array* bytes = ovArrayNew1D("b", 5);
    const struct {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"SaveBytes", [&] { SaveBytes(bytes, full()); }},
        {"SaveStringBytes", [&] { SaveStringBytes(ovLiteral(u"small"), full()); }},
        {"SaveStringBytes through a text protocol",
         [&] { SaveStringBytes(ovLiteral(u"small"), ovTestAscii("latin1::/dev/full")); }},
        {"SaveTextAuto in Latin-1", [&] { SaveTextAuto(ovLiteral(u"small"), full()); }},
        {"SaveTextAuto in UTF-16", [&] { SaveTextAuto(ovLiteral(u"\u20ac"), full()); }},
        {"TBank.Save", [&] { BankNew(5)->Save(full()); }},
    };
    for (const auto& c : cases) {
        const int before = ovTestOpenDescriptors();
        EXPECT_TRUE(ovIsInstance(ovTestThrown(c.call), &TStreamWriteExceptionType)) << c.what;
        EXPECT_EQ(ovTestOpenDescriptors(), before) << c.what;
    }
    ovKeepAlive(bytes);
}

}  // namespace
