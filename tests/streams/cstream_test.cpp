// TCStream over real files in a temporary directory, over a directory, and
// over pipes and FIFOs that cannot seek.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/array.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "system/clib/clib.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"
#include "tests/support/gc_test_support.h"

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ovTestStreamsInit(); }
    ovTestTempDir dir;
};

using FileModes = FileStreamTest;
using FilePositions = FileStreamTest;
using FileClosing = FileStreamTest;
using UnseekableHandles = FileStreamTest;

std::string readAll(TStream* s) { return ovTestBytes(LoadBytes(s)); }

// ---------------------------------------------------------------------------
// Modes
// ---------------------------------------------------------------------------

TEST_F(FileModes, ReadOnlyStartsAtZeroWithTheFilesSize) {
    ovTestWriteFile((dir / "in.txt"), "hello");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "in.txt"), 1, 0);
    ASSERT_NE(s, ovNull);
    EXPECT_EQ(s->_mode, TCStream::MODE_READ);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 5);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(ovTestText(s->ReadString(5)), "hello");
    EXPECT_EQ(s->Eof(), 1);
    uint8_t byte;
    EXPECT_EQ(s->Write(&byte, 1), 0);
    EXPECT_EQ(s->Size(), 5);
    EXPECT_EQ(TCStreamOpenFile(ovTestPath(dir / "in.txt"), 0, 0)->_mode, TCStream::MODE_READ);
}

TEST_F(FileModes, WriteOnlyTruncatesOrCreates) {
    ovTestWriteFile((dir / "out.txt"), "old content");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "out.txt"), 0, 1);
    ASSERT_NE(s, ovNull);
    EXPECT_EQ(s->_mode, TCStream::MODE_WRITE);
    EXPECT_EQ(s->Size(), 0);
    s->WriteString(ovLiteral(u"new"));
    EXPECT_EQ(s->Pos(), 3);
    EXPECT_EQ(s->Size(), 3);
    s->Close();
    EXPECT_EQ(ovTestReadFile((dir / "out.txt")), "new");

    TCStream* created = TCStreamOpenFile(ovTestPath(dir / "fresh.bin"), 0, 1);
    ASSERT_NE(created, ovNull);
    created->Close();
    EXPECT_EQ(ovTestReadFile((dir / "fresh.bin")), "");
}

TEST_F(FileModes, ReadWriteKeepsTheContentAndGrowsTheSize) {
    ovTestWriteFile((dir / "rw.bin"), "abcd");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "rw.bin"), 1, 1);
    ASSERT_NE(s, ovNull);
    EXPECT_EQ(s->_mode, TCStream::MODE_READ | TCStream::MODE_WRITE);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 4);
    s->WriteString(ovLiteral(u"0123456789"));
    EXPECT_EQ(s->Size(), 10);
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
    EXPECT_EQ(ovTestReadFile((dir / "rw.bin")), "0123456789");
}

TEST_F(FileModes, MissingFilesGiveNullUnlessCreatedForWriting) {
    EXPECT_EQ(TCStreamOpenFile(ovTestPath(dir / "missing"), 1, 0), ovNull);
    EXPECT_EQ(TCStreamOpenFile(ovTestPath(dir / "missing"), 1, 1), ovNull);
    EXPECT_EQ(ovTestReadFile((dir / "missing")), "<missing>");
    EXPECT_EQ(StreamOpenRead(ovTestPath(dir / "missing")), ovNull);
}

TEST_F(FileModes, BackslashesSeparateLikeSlashes) {
    mkdir((dir / "data").c_str(), 0777);
    ovTestWriteFile((dir / "data/in.txt"), "via backslash");
    TStream* s = StreamOpenRead(ovStringFromUTF8String((dir.path() + "\\data\\in.txt").c_str()));
    ASSERT_NE(s, ovNull);
    EXPECT_EQ(ovTestText(s->ReadLine()), "via backslash");
}

// Start-up chooses the UTF-8 rules for platform text; tests start without it.
class WideApi {
public:
    WideApi() : saved_(ovUseWideApi) { ovUseWideApi = 1; }
    ~WideApi() { ovUseWideApi = saved_; }

private:
    int32_t saved_;
};

TEST_F(FileModes, NonAsciiNamesReachTheFileOfThatName) {
    WideApi wide;
    TStream* s = StreamOpenWrite(ovTestPath(dir / "caf\xc3\xa9.txt"));
    ASSERT_NE(s, ovNull);
    s->WriteString(ovLiteral(u"x"));
    s->Close();
    EXPECT_EQ(ovTestReadFile(dir / "caf\xc3\xa9.txt"), "x");
}

TEST_F(FileModes, DirectoriesAreRefused) {
    mkdir((dir / "sub").c_str(), 0777);
    EXPECT_EQ(TCStreamOpenFile(ovTestPath(dir / "sub"), 1, 0), ovNull);
    EXPECT_EQ(TCStreamOpenFile(ovTestPath(dir / "sub"), 0, 0), ovNull);
    EXPECT_EQ(StreamOpenRead(ovTestPath(dir / "sub")), ovNull);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { LoadBytes(ovTestPath(dir / "sub")); }), &TStreamReadExceptionType));
}

// ---------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------

TEST_F(FilePositions, SeekMovesToTheHandlesRealPosition) {
    ovTestWriteFile((dir / "seek.bin"), "0123456789");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "seek.bin"), 1, 0);
    EXPECT_EQ(s->Seek(7), 7);
    EXPECT_EQ(s->ReadByte(), '7');
    EXPECT_EQ(s->Pos(), 8);
    EXPECT_EQ(s->Seek(-4), 8);  // a failed seek leaves the position where it is
    EXPECT_EQ(s->ReadByte(), '8');
}

TEST_F(FilePositions, AGivenHandleIsTakenAtItsCurrentPosition) {
    ovTestWriteFile((dir / "mid.bin"), "abcdef");
    std::FILE* handle = std::fopen((dir / "mid.bin").c_str(), "rb");
    ASSERT_NE(handle, nullptr);
    std::fseek(handle, 2, SEEK_SET);
    TCStream* s = TCStreamCreateWithCStream(handle, TCStream::MODE_READ);
    EXPECT_EQ(s->Pos(), 2);
    EXPECT_EQ(s->Size(), 6);
    EXPECT_EQ(readAll(s), "cdef");
    EXPECT_EQ(TCStreamCreateWithCStream(nullptr, TCStream::MODE_READ), ovNull);
}

TEST_F(FilePositions, CountsOfZeroOrLessTransferNothing) {
    ovTestWriteFile((dir / "z.bin"), "abc");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "z.bin"), 1, 1);
    uint8_t buf[4];
    EXPECT_EQ(s->Read(buf, 0), 0);
    EXPECT_EQ(s->Read(buf, -5), 0);
    EXPECT_EQ(s->Write(buf, -5), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 3);
}

TEST_F(FilePositions, LinesAndWholeLoadsOfAFile) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\r\n";
    ovTestWriteFile((dir / "lines.txt"), text);
    TStream* s = StreamOpenRead(ovTestPath(dir / "lines.txt"));
    int count = 0;
    while (!s->Eof()) EXPECT_EQ(ovTestText(s->ReadLine()), "line " + std::to_string(count++));
    EXPECT_EQ(count, 300);
    EXPECT_EQ(ovTestBytes(LoadBytes(ovTestPath(dir / "lines.txt"))), text);
}

// ---------------------------------------------------------------------------
// Closing
// ---------------------------------------------------------------------------

// A TCStream whose Flush is counted, to see what Close calls.
int32_t flushes = 0;

int32_t countingFlush(TIO* self) {
    ++flushes;
    return TCStreamType.Flush(self);
}

constexpr ovScope countingScope = {OV_SCOPE_CLASS, "TCountingCStream", ovNoScopeEntries};
extern const TCStreamClass countingRecord;
constexpr TCStreamClass countingRecord = ovMakeClass<TCStreamClass, TCStream>(TCStreamType, &countingScope, [](auto& r) {
    r.Flush = countingFlush;
    r.Delete = ovChainDelete<countingRecord>;
});

TCStream* countingStream(String* path) {
    TCStream* s = TCStreamOpenFile(path, 0, 1);
    s->cls = &countingRecord;  // same layout, so the instance may take the subclass's record
    return s;
}

TEST_F(FileClosing, CloseFlushesOnceAndASecondCloseDoesNothing) {
    TCStream* s = countingStream(ovTestPath(dir / "c.txt"));
    s->WriteString(ovLiteral(u"kept"));
    flushes = 0;
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(flushes, 1);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Flush(), 0);
    EXPECT_EQ(flushes, 2);  // the explicit Flush only
    EXPECT_EQ(s->_cstream, nullptr);
    EXPECT_EQ(s->_mode, TCStream::MODE_WRITE);
    EXPECT_EQ(ovTestReadFile((dir / "c.txt")), "kept");
}

TEST_F(FileClosing, AClosedStreamIsAtItsEndAndTouchesNoHandle) {
    ovTestWriteFile((dir / "d.txt"), "data");
    TCStream* s = TCStreamOpenFile(ovTestPath(dir / "d.txt"), 1, 1);
    s->ReadByte();
    s->Close();
    uint8_t buf[4] = {0, 0, 0, 0};
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_EQ(s->Write(buf, 4), 0);
    EXPECT_EQ(s->Seek(2), 0);
    EXPECT_EQ(s->ReadLine()->length, 0);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { s->ReadByte(); }), &TStreamReadExceptionType));
    EXPECT_EQ(ovTestReadFile((dir / "d.txt")), "data");
}

__attribute__((noinline)) void writeAndDrop(String* path) {
    TCStream* s = TCStreamOpenFile(path, 0, 1);
    s->WriteString(ovLiteral(u"written before the drop"));
}

// Runs writeAndDrop a little deeper, so that its frame lies wholly inside
// the area the scrub clears (the scrub's own frame has slots it does not).
__attribute__((noinline)) void writeAndDropDeeper(String* path) {
    volatile char pad[512];
    pad[0] = 0;
    writeAndDrop(path);
    ovKeepAlive(const_cast<char*>(pad));
}

TEST_F(FileClosing, DroppingTheLastReferenceClosesTheFile) {
    ovTestModeGuard manual(0);
    String* path = ovTestPath(dir / "drop.txt");
    ovGCRetain(path);
    writeAndDropDeeper(path);
    ovTestCollect();
    EXPECT_EQ(ovTestReadFile((dir / "drop.txt")), "written before the drop");
    ovGCRelease(path);
}

// ---------------------------------------------------------------------------
// Handles that cannot seek
// ---------------------------------------------------------------------------

TEST_F(UnseekableHandles, APipeHasNoPositionAndEndsAfterAnEmptyRead) {
    std::FILE* handle = ovTestPipeHolding("ab\ncd\n");
    ASSERT_NE(handle, nullptr);
    TCStream* s = TCStreamCreateWithCStream(handle, TCStream::MODE_READ);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(ovTestText(s->ReadLine()), "ab");
    EXPECT_EQ(ovTestText(s->ReadLine()), "cd");
    EXPECT_EQ(s->Eof(), 0);  // every byte is taken, but no read has come back empty yet
    uint8_t byte;
    EXPECT_EQ(s->Read(&byte, 1), 0);
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Seek(0), -1);
    s->Close();
}

TEST_F(UnseekableHandles, ALastLineWithoutLineFeedEndsTheStream) {
    TCStream* s = TCStreamCreateWithCStream(ovTestPipeHolding("ab\ncd"), TCStream::MODE_READ);
    int lines = 0;
    while (!s->Eof() && lines < 5) {
        s->ReadLine();
        ++lines;
    }
    EXPECT_EQ(lines, 2);
}

TEST_F(UnseekableHandles, LoadingAPipeTakesEverything) {
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 253);
    TCStream* s = TCStreamCreateWithCStream(ovTestPipeHolding(data), TCStream::MODE_READ);
    EXPECT_EQ(readAll(s), data);
}

TEST_F(UnseekableHandles, AFifoOpenedByNameIsReadToItsEnd) {
    const std::string fifo = (dir / "fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open for both directions, so opening the reader does not block.
    const int writer = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    TStream* s = StreamOpenRead(ovTestPath(dir / "fifo"));
    ASSERT_NE(s, ovNull);
    ASSERT_EQ(write(writer, "+<?.,\n", 6), 6);
    close(writer);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(ovTestBytes(LoadBytes(s)), "+<?.,\n");
    s->Close();
}

}  // namespace
