// Files as streams: copying, opening, and the memory stream that stands in
// for a stream that cannot seek.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "runtime/memory.h"
#include "runtime/string.h"
#include "streams/bankstream.h"
#include "streams/factory.h"
#include "streams/stream.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"
#include "tests/system/filesystem/filesystem_test_support.h"
#include "tests/support/system_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

using FileStreams = FileSystemTest;

// The module pulls in the bank stream module, whose factory is the first one
// linked into the chain (and so the last one asked).
TEST_F(FileStreams, InitialiserLinksTheBankStreamFactory) {
    ASSERT_NE(factoryChain, ovNull);
    TStreamFactory* last = factoryChain;
    while (last->_succ != ovNull) last = last->_succ;
    EXPECT_TRUE(ovIsInstance(last, &TBankStreamFactoryType));
}

TEST_F(FileStreams, DuplicateCopiesWholeFilesAndClosesBothEnds) {
    std::string content;
    for (int i = 0; i < 3000; ++i) content += static_cast<char>(i * 7);
    ovTestWriteFile(dir / "src", content);
    const int before = ovTestOpenDescriptors();
    EXPECT_EQ(FileDuplicate(at("src"), at("copy")), 1);
    EXPECT_EQ(ovTestReadFile(dir / "copy"), content);
    EXPECT_EQ(FileDuplicate(at("missing"), at("never")), 0);
    EXPECT_FALSE(ovTestExists(dir / "never"));
    EXPECT_EQ(FileDuplicate(at("src"), at("no/such/dir")), 0);
    EXPECT_EQ(ovTestOpenDescriptors(), before);
}

// A failure other than a write passes on, after both files were closed.
TEST_F(FileStreams, DuplicateClosesBothEndsWhenTheReadThrows) {
    // 32 hexadecimal bytes a line: a longer line without its end throws.
    ovTextStreamModuleInit();
    ovTestWriteFile(dir / "unterminated.hex", std::string(80, 'A'));
    const int before = ovTestOpenDescriptors();
    ovGCSuspend();
    EXPECT_NE(ovTestThrown([&] { FileDuplicate(ovTestAscii("utf8::" + (dir / "unterminated.hex")), at("copy")); }),
              ovNull);
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    ovGCResume();
}

// The same read failing while a FIFO is read into memory.
TEST_F(FileStreams, UnseekableStreamIsClosedWhenReadingItThrows) {
    ovTextStreamModuleInit();
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { ovTestWriteFile(fifo, std::string(80, 'A')); });
    const int before = ovTestOpenDescriptors();
    ovGCSuspend();
    EXPECT_NE(ovTestThrown([&] { FileOpenRead(ovTestAscii("utf8::" + fifo)); }), ovNull);
    writer.join();
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    ovGCResume();
}

TEST_F(FileStreams, DuplicateTurnsAWriteFailureIntoZero) {
    ovTestWriteFile(dir / "src", std::string(64 * 1024, 'x'));
    const int before = ovTestOpenDescriptors();
    EXPECT_EQ(FileDuplicate(at("src"), ovLiteral(u"/dev/full")), 0);
    EXPECT_EQ(ovTestOpenDescriptors(), before);
}

TEST_F(FileStreams, OpenReadAndWriteGiveFileStreams) {
    TStream* out = FileOpenWrite(at("f"));
    ASSERT_NE(out, ovNullStream());
    out->WriteLine(ovLiteral(u"first"));
    EXPECT_EQ(FileCloseStream(out), 0);
    TStream* in = FileOpenRead(at("f"));
    ASSERT_NE(in, ovNullStream());
    EXPECT_NE(in->Pos(), -1);
    EXPECT_EQ(ovTestUnits(in->ReadLine()), u"first");
    FileCloseStream(in);
    EXPECT_EQ(FileOpenRead(at("missing")), ovNullStream());
}

// A FIFO cannot seek: its content comes back whole as a memory stream, and
// the FIFO's own handle is closed.
TEST_F(FileStreams, UnseekableStreamIsReadIntoMemoryAndClosed) {
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string text = "one\ntwo\n" + std::string(10000, 'z');
    std::thread writer([&] { ovTestWriteFile(fifo, text); });
    const int before = ovTestOpenDescriptors();
    TStream* stream = FileOpenRead(at("fifo"));
    writer.join();
    ASSERT_NE(stream, ovNullStream());
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    EXPECT_EQ(stream->Size(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(stream->Pos(), 0);
    EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"one");
    EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"two");
    EXPECT_EQ(stream->ReadLine()->length, 10000);
    EXPECT_EQ(stream->Eof(), 1);
    FileCloseStream(stream);
}

}  // namespace
