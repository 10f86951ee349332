// The embedded-file registry, and files built into this test program by
// ov_embed_files (tests/CMakeLists.txt) read back through "incbin::".
#include <gtest/gtest.h>

#include <string>

#include "bank_test_support.h"
#include "runtime/embedded.h"
#include "runtime/string.h"
#include "stream_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/system/support/system_test_support.h"

namespace {

class EmbeddedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

using EmbeddedRegistry = EmbeddedTest;
using EmbeddedFiles = EmbeddedTest;

const std::string kDataDirectory = OV_STREAMS_TEST_DATA;

std::string readAll(TStream* stream) {
    std::string bytes;
    uint8_t buffer[100];
    for (int32_t n; (n = stream->Read(buffer, sizeof buffer)) > 0;) bytes.append(reinterpret_cast<char*>(buffer), n);
    return bytes;
}

std::string embedded(String* name) {
    const uint8_t* address = ovEmbeddedAddress(name);
    return std::string(reinterpret_cast<const char*>(address), static_cast<size_t>(ovEmbeddedLength(name)));
}

// ---------------------------------------------------------------------------
// The registry
// ---------------------------------------------------------------------------

TEST_F(EmbeddedRegistry, AnAddedEntryIsFoundByAnEqualName) {
    static const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(ovEmbeddedAdd(ovLiteral(u"registry-test/a"), bytes, 3), 1);
    // A String built at run time with the same text finds it.
    String* sameText = ovTestAscii("registry-test/a");
    EXPECT_EQ(ovEmbeddedAddress(sameText), bytes);
    EXPECT_EQ(ovEmbeddedLength(sameText), 3);
}

TEST_F(EmbeddedRegistry, ASecondEntryOfTheSameNameIsRefusedAndTheFirstKept) {
    static const uint8_t first[] = {1};
    static const uint8_t second[] = {2, 2};
    EXPECT_EQ(ovEmbeddedAdd(ovTestAscii("registry-test/twice"), first, 1), 1);
    EXPECT_EQ(ovEmbeddedAdd(ovLiteral(u"registry-test/twice"), second, 2), 0);
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"registry-test/twice")), first);
    EXPECT_EQ(ovEmbeddedLength(ovLiteral(u"registry-test/twice")), 1);
}

TEST_F(EmbeddedRegistry, MissingNamesGiveZero) {
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"registry-test/none")), nullptr);
    EXPECT_EQ(ovEmbeddedLength(ovLiteral(u"registry-test/none")), 0);
    // Names are compared whole and with their case.
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"ORVANE-TEST/BYTES.BIN")), nullptr);
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"orvane-test/bytes")), nullptr);
}

TEST_F(EmbeddedRegistry, AnEntryHoldsItsNameAgainstTheCollector) {
    static const uint8_t bytes[] = {7};
    ovEmbeddedAdd(ovTestAscii("registry-test/held"), bytes, 1);
    ovTestCollect();
    EXPECT_EQ(ovEmbeddedAddress(ovLiteral(u"registry-test/held")), bytes);
}

// ---------------------------------------------------------------------------
// Files embedded at build time
// ---------------------------------------------------------------------------

TEST_F(EmbeddedFiles, EachFileIsRegisteredBeforeMainWithItsExactBytes) {
    for (const char* file : {"embedded_sample.txt", "embedded_bytes.bin", "embedded_empty.txt"}) {
        const std::string onDisk = ovTestReadFile(kDataDirectory + "/" + file);
        ASSERT_NE(onDisk, "<missing>");
        const std::string name = std::string("orvane-test/") + file;
        ASSERT_NE(ovEmbeddedAddress(ovTestAscii(name)), nullptr) << name;
        EXPECT_EQ(embedded(ovTestAscii(name)), onDisk) << name;
    }
}

TEST_F(EmbeddedFiles, IncbinOpensTheEmbeddedBytesReadOnly) {
    TStream* stream = StreamOpenRead(ovLiteral(u"incbin::orvane-test/embedded_bytes.bin"));
    ASSERT_NE(stream, ovNullStream());
    const std::string bytes = readAll(stream);
    ASSERT_EQ(bytes.size(), 1280u);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(static_cast<size_t>(static_cast<uint8_t>(bytes[i])), i % 256) << i;
    EXPECT_EQ(stream->Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);
    EXPECT_EQ(StreamOpenWrite(ovLiteral(u"incbin::orvane-test/embedded_bytes.bin")), ovNullStream());
}

TEST_F(EmbeddedFiles, AnEmptyFileOpensAsAnEmptyStream) {
    TStream* stream = StreamOpenRead(ovLiteral(u"incbin::orvane-test/embedded_empty.txt"));
    ASSERT_NE(stream, ovNullStream());
    EXPECT_EQ(stream->Size(), 0);
    EXPECT_EQ(stream->Eof(), 1);
}

TEST_F(EmbeddedFiles, EmbeddedTextDecodesThroughTheTextFunctions) {
    String* text = LoadTextAuto(ovLiteral(u"incbin::orvane-test/embedded_sample.txt"));
    EXPECT_EQ(ovTestUnits(text), u"Orvane embedded sample\r\nsecond line: caf\u00e9 \u20ac\n");

    TStream* lines = StreamOpenRead(ovLiteral(u"utf8::incbin::orvane-test/embedded_sample.txt"));
    ASSERT_NE(lines, ovNullStream());
    static_cast<TTextStream*>(lines)->ReadChar();  // the byte-order mark
    EXPECT_EQ(ovTestUnits(lines->ReadLine()), u"Orvane embedded sample");
    EXPECT_EQ(ovTestUnits(lines->ReadLine()), u"second line: caf\u00e9 \u20ac");
    EXPECT_EQ(lines->Eof(), 1);
}

TEST_F(EmbeddedFiles, ABankLoadsFromAnEmbeddedFile) {
    TBank* bank = BankLoad(ovLiteral(u"incbin::orvane-test/embedded_bytes.bin"));
    ASSERT_NE(bank, ovNullBank());
    EXPECT_EQ(BankLength(bank), 1280);
    EXPECT_EQ(BankPeekInt(bank, 1020), static_cast<int32_t>(0xFFFEFDFCu));
}

}  // namespace
