// The embedded-file registry, and files built into this test program by
// ov_embed_files (tests/CMakeLists.txt) read back through "incbin::".
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/embedded.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

using EmbeddedRegistry = MemoryStreamTest;
using EmbeddedFiles = MemoryStreamTest;

std::string readAll(TStream* stream) {
    std::string bytes;
    uint8_t buffer[100];
    for (int32_t n; (n = stream->Read(buffer, sizeof buffer)) > 0;) bytes.append(reinterpret_cast<char*>(buffer), n);
    return bytes;
}

TEST_F(EmbeddedRegistry, NamesAreMatchedByTextAndTheFirstEntryOfANameStays) {
    static const uint8_t first[] = {1, 2, 3};
    static const uint8_t second[] = {4};
    EXPECT_EQ(ovEmbeddedAdd(ovTestAscii("registry-test/a"), first, 3), 1);
    EXPECT_EQ(ovEmbeddedAdd(ovLiteral(u"registry-test/a"), second, 1), 0);
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"registry-test/a")), first);
    EXPECT_EQ(ovEmbeddedLength(ovLiteral(u"registry-test/a")), 3);
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"REGISTRY-TEST/A")), nullptr);
    EXPECT_EQ(ovEmbeddedLength(ovLiteral(u"registry-test/")), 0);
}

TEST_F(EmbeddedRegistry, AnEntryHoldsItsNameAgainstTheCollector) {
    static const uint8_t bytes[] = {7};
    ovEmbeddedAdd(ovTestAscii("registry-test/held"), bytes, 1);
    ovTestCollect();
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"registry-test/held")), bytes);
}

TEST_F(EmbeddedFiles, IncbinOpensEachFileReadOnlyWithItsExactBytes) {
    for (const char* file : {"embedded_sample.txt", "embedded_bytes.bin", "embedded_empty.txt"}) {
        const std::string onDisk = ovTestReadFile(std::string(OV_STREAMS_TEST_DATA) + "/" + file);
        ASSERT_NE(onDisk, "<missing>");
        TStream* stream = StreamOpenRead(ovTestAscii(std::string("incbin::orvane-test/") + file));
        ASSERT_NE(stream, ovNullOf<TStream>()) << file;
        EXPECT_EQ(stream->Size(), static_cast<int32_t>(onDisk.size()));
        EXPECT_EQ(readAll(stream), onDisk) << file;
        EXPECT_EQ(stream->Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);
    }
    EXPECT_EQ(StreamOpenWrite(ovLiteral(u"incbin::orvane-test/embedded_bytes.bin")), ovNullOf<TStream>());
}

TEST_F(EmbeddedFiles, EmbeddedDataServesTheTextAndBankFunctions) {
    String* text = LoadTextAuto(ovLiteral(u"incbin::orvane-test/embedded_sample.txt"));
    EXPECT_EQ(ovTestUnits(text), u"Orvane embedded sample\r\nsecond line: caf\u00e9 \u20ac\n");

    TStream* lines = StreamOpenRead(ovLiteral(u"utf8::incbin::orvane-test/embedded_sample.txt"));
    static_cast<TTextStream*>(lines)->ReadChar();  // the byte-order mark
    EXPECT_EQ(ovTestUnits(lines->ReadLine()), u"Orvane embedded sample");
    EXPECT_EQ(ovTestUnits(lines->ReadLine()), u"second line: caf\u00e9 \u20ac");

    TBank* bank = BankLoad(ovLiteral(u"incbin::orvane-test/embedded_bytes.bin"));
    EXPECT_EQ(BankLength(bank), 1280);
    EXPECT_EQ(BankPeekInt(bank, 1020), static_cast<int32_t>(0xFFFEFDFCu));
}

}  // namespace
