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
#include "streams/cstream.h"
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

// "failing::path": the file at path as a stream whose every read throws, a
// device that fails while it is read.
TCStreamClass failingReadRecord{};
TStreamFactoryClass failingFactoryRecord{};
const ovScope failingReadScope = {OV_SCOPE_CLASS, "TFailingReadCStream", ovNoScopeEntries};
const ovScope failingFactoryScope = {OV_SCOPE_CLASS, "TFailingReadFactory", ovFactoryOverrideEntries};

int32_t failingRead(TIO*, uint8_t*, int32_t) { ovThrowStreamRead(); }

TStream* openFailing(TStreamFactory*, Object*, String* protocol, String* path, int32_t readable, int32_t writeable) {
    if (ovStringCompare(protocol, ovLiteral(u"failing")) != 0) return ovNullOf<TStream>();
    TCStream* stream = TCStreamOpenFile(path, readable, writeable);
    if (stream != ovNull) stream->cls = &failingReadRecord;  // same layout, another record
    return stream;
}

void installFailingProtocol() {
    if (failingReadRecord.super != nullptr) return;
    failingReadRecord = ovMakeClass<TCStreamClass, TCStream>(TCStreamType, &failingReadScope, [](auto& r) {
        r.Read = failingRead;
        r.Delete = ovChainDelete<failingReadRecord>;
    });
    failingFactoryRecord = ovFactoryClass<failingFactoryRecord>(&failingFactoryScope, openFailing);
    ovInstallFactory(failingFactoryRecord);
}

// A FIFO that a thread fills with the bytes (a few, within the pipe's
// capacity) once a reader opens it.
class FifoWriter {
public:
    FifoWriter(const std::string& path, const std::string& bytes) : path_(path) {
        if (mkfifo(path.c_str(), 0600) == 0) writer_ = std::thread([path, bytes] { ovTestWriteFile(path, bytes); });
    }
    ~FifoWriter() { join(); }
    bool made() const { return writer_.joinable(); }
    // Waits for the writer; a reader opened here lets it finish even when
    // the test never opened the FIFO.
    void join() {
        if (!writer_.joinable()) return;
        const int reader = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        writer_.join();
        if (reader >= 0) close(reader);
    }

private:
    std::string path_;
    std::thread writer_;
};

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

// A read failing while a FIFO is read into memory.
TEST_F(FileStreams, UnseekableStreamIsClosedWhenReadingItThrows) {
    installFailingProtocol();
    FifoWriter writer(dir / "fifo", std::string(80, 'A'));
    ASSERT_TRUE(writer.made());
    const int before = ovTestOpenDescriptors();
    ovGCSuspend();
    EXPECT_NE(ovTestThrown([&] { FileOpenRead(ovTestAscii("failing::" + (dir / "fifo"))); }), ovNull);
    writer.join();
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    ovGCResume();
}

// Large data fails in the write, small data only when the target is closed:
// the copy failed either way.
// Writes to a pipe opened for writing reach the pipe.
TEST_F(FileStreams, AnUnseekableStreamOpenedForWritingIsTheStreamItself) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    TStream* out = FileOpenWrite(ovTestAscii("/dev/fd/" + std::to_string(ends[1])));
    close(ends[1]);
    ASSERT_NE(out, ovNullOf<TStream>());
    out->WriteString(ovTestAscii("to the reader"));
    FileCloseStream(out);
    char buffer[64];
    const ssize_t n = read(ends[0], buffer, sizeof buffer);
    close(ends[0]);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0))), "to the reader");
}

TEST_F(FileStreams, DuplicateTurnsAWriteFailureIntoZero) {
    for (const size_t size : {size_t{64 * 1024}, size_t{5}}) {
        ovTestWriteFile(dir / "src", std::string(size, 'x'));
        const int before = ovTestOpenDescriptors();
        EXPECT_EQ(FileDuplicate(at("src"), ovLiteral(u"/dev/full")), 0) << size;
        EXPECT_EQ(FileDuplicate(at("src"), ovLiteral(u"latin1::/dev/full")), 0) << size;
        EXPECT_EQ(ovTestOpenDescriptors(), before);
    }
}

TEST_F(FileStreams, OpenReadAndWriteGiveFileStreams) {
    TStream* out = FileOpenWrite(at("f"));
    ASSERT_NE(out, ovNullOf<TStream>());
    out->WriteLine(ovLiteral(u"first"));
    EXPECT_EQ(FileCloseStream(out), 0);
    TStream* in = FileOpenRead(at("f"));
    ASSERT_NE(in, ovNullOf<TStream>());
    EXPECT_NE(in->Pos(), -1);
    EXPECT_EQ(ovTestUnits(in->ReadLine()), u"first");
    FileCloseStream(in);
    EXPECT_EQ(FileOpenRead(at("missing")), ovNullOf<TStream>());
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
    ASSERT_NE(stream, ovNullOf<TStream>());
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    EXPECT_EQ(stream->Size(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(stream->Pos(), 0);
    EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"one");
    EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"two");
    EXPECT_EQ(stream->ReadLine()->length, 10000);
    EXPECT_EQ(stream->Eof(), 1);
    FileCloseStream(stream);
}

// A text stream's own Read is hexadecimal text: over a FIFO it keeps its
// encoding over a memory copy of the FIFO's bytes, which is closed.
TEST_F(FileStreams, AnUnseekableTextStreamDecodesAMemoryCopyOfItsBytes) {
    ovTextStreamModuleInit();
    const struct {
        const char* protocol;
        std::string bytes;
    } cases[] = {
        {"latin1::", "one\r\ntw\xe9"},
        {"utf8::", "one\r\ntw\xc3\xa9"},
        {"utf16be::", std::string("\0o\0n\0e\0\r\0\n\0t\0w\0\xe9", 16)},
        {"utf16le::", std::string("o\0n\0e\0\r\0\n\0t\0w\0\xe9\0", 16)},
    };
    for (const auto& c : cases) {
        FifoWriter writer(dir / "text.fifo", c.bytes);
        ASSERT_TRUE(writer.made());
        const int before = ovTestOpenDescriptors();
        TStream* stream = FileOpenRead(ovTestAscii(c.protocol + (dir / "text.fifo")));
        writer.join();
        ASSERT_NE(stream, ovNullOf<TStream>()) << c.protocol;
        EXPECT_EQ(ovTestOpenDescriptors(), before) << c.protocol;
        EXPECT_TRUE(ovIsInstance(stream, &TTextStreamType)) << c.protocol;
        EXPECT_NE(stream->Pos(), -1);
        EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"one") << c.protocol;
        EXPECT_EQ(ovTestUnits(stream->ReadLine()), u"tw\u00e9") << c.protocol;
        EXPECT_EQ(stream->Eof(), 1);
        FileCloseStream(stream);
        ASSERT_EQ(unlink((dir / "text.fifo").c_str()), 0);
    }
}

}  // namespace
