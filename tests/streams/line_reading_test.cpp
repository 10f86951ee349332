// Lines of file streams, and of text streams over them, are read from the
// handle's buffer instead of one dispatched Read per byte.  Everything a
// caller can see must stay what the byte-by-byte reader gives: each line, the
// position and end after it, what a later Read finds, an exception where a
// character is cut short, and the calls into a subclass's own Read or
// ReadByte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/reflection.h"
#include "stream_test_support.h"
#include "streams/cstream.h"
#include "streams/textstream.h"
#include "tests/support/system_test_support.h"

namespace {

int32_t subclassReads = 0;

// A file stream whose Read and ReadByte are replaced by ones that count and
// then do what the file stream's own do, so every reader above it takes its
// byte-by-byte path.
int32_t countedRead(TIO* self, uint8_t* buf, int32_t count) {
    ++subclassReads;
    return TCStreamRead(self, buf, count);
}
int32_t countedReadByte(TStream* self) {
    ++subclassReads;
    return TStreamReadByte(self);
}

constexpr ovScope countedScope = {OV_SCOPE_CLASS, "TCountedCStream", ovNoScopeEntries};
extern const TCStreamClass countedRecord;
constexpr TCStreamClass countedRecord = ovMakeClass<TCStreamClass, TCStream>(TCStreamType, &countedScope, [](auto& r) {
    r.Delete = ovChainDelete<countedRecord>;
    r.Read = countedRead;
    r.ReadByte = countedReadByte;
});

// What a reader saw: each line with the position and end after it, the end
// of the reading (a thrown read error or the end of the data), and what a
// Read of the stream found afterwards.
struct Seen {
    std::vector<std::string> steps;
    bool operator==(const Seen&) const = default;
};

std::string describe(const Seen& seen) {
    std::string all;
    for (const std::string& step : seen.steps) all += step + " | ";
    return all;
}

// Reads lines of reader until its end, at most ten, then one Read of file.
Seen readLines(TStream* reader, TCStream* file) {
    Seen seen;
    for (int i = 0; i < 10 && reader->Eof() == 0; ++i) {
        Object* thrown = ovTestThrown([&] {
            String* line = reader->ReadLine();
            seen.steps.push_back(ovTestText(line) + "@" + std::to_string(file->Pos()) + "/" +
                                 std::to_string(file->Eof()));
        });
        if (thrown != ovNull) {
            seen.steps.push_back("thrown@" + std::to_string(file->Pos()));
            break;
        }
    }
    uint8_t rest[8];
    const int32_t n = file->Read(rest, sizeof rest);
    seen.steps.push_back("rest:" + std::string(reinterpret_cast<char*>(rest), static_cast<size_t>(n)));
    return seen;
}

// Lines long enough to cross the handle's buffer, with characters of one,
// two and three bytes cut by its edges at every offset.
std::string crossingBuffers() {
    const std::string pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\r"};
    std::string text;
    for (int line = 0; line < 12; ++line) {
        for (int i = 0; i < 500 + line; ++i) text += pieces[(i * 7 + line) % 4];
        text += '\n';
    }
    return text;
}

// Runs of plain bytes of every length up to 64, each ended by a byte a
// reader must look at (CR, the lead byte of a longer character, a byte that
// is no character's lead, NUL, LF), so that the stops fall at every offset
// of a sixteen-byte step and the lines cross the handle's buffer.
std::string longRuns() {
    const std::string stops[] = {"\r", "\xC3\xA9", "\xE2\x82\xAC", "\xFF", std::string(1, '\0'), "\n"};
    std::string text;
    for (const std::string& stop : stops)
        for (int run = 0; run <= 64; ++run) text += std::string(static_cast<size_t>(run), 'a' + run % 26) + stop;
    return text + "end";
}

class BlockLineReading : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTextStreamModuleInit();
    }

    // A file stream over the bytes: a regular file, or a pipe that cannot
    // seek; with counted set, of the class above.
    TCStream* fileOver(const std::string& bytes, bool pipe, bool counted) {
        TCStream* file = pipe ? TCStreamCreateWithCStream(ovTestPipeHolding(bytes), TCStream::MODE_READ)
                              : TCStreamOpenFile(ovTestAscii(dir / write(bytes)), 1, 0);
        if (counted) file->cls = &countedRecord;  // the same layout under the subclass's record
        return file;
    }

    std::string write(const std::string& bytes) {
        const std::string name = "lines" + std::to_string(files++);
        ovTestWriteFile(dir / name, bytes);
        return name;
    }

    ovTestTempDir dir;
    int files = 0;
};

TEST_F(BlockLineReading, FileStreamsSeeWhatTheByteByByteReaderSees) {
    const std::string cases[] = {"", "one", "one\ntwo\n", "cr\r\nlf\n\nlast", std::string("nul\0inside\n", 11),
                                 "\r\r\n\n", "\xC3\xA9t\xC3\xA9\n", crossingBuffers(), longRuns()};
    for (const std::string& bytes : cases)
        for (const bool pipe : {false, true}) {
            TCStream* fast = fileOver(bytes, pipe, false);
            TCStream* plain = fileOver(bytes, pipe, true);
            subclassReads = 0;
            EXPECT_EQ(describe(readLines(fast, fast)), describe(readLines(plain, plain))) << bytes << pipe;
            EXPECT_GT(subclassReads, 0) << "the subclass's Read is still called";
        }
}

TEST_F(BlockLineReading, TextStreamsSeeWhatTheCharacterByCharacterReaderSees) {
    const std::string cases[] = {"", "one\ntwo", "cr\r\nlf\n\nlast", std::string("nul\0inside\n", 11),
                                 "\xC3\xA9t\xC3\xA9\n\xE2\x82\xAC", "cut\xE2\x82", std::string("odd\0A\0", 6),
                                 std::string("A\0\n\0B", 5), crossingBuffers(), longRuns()};
    for (const int32_t encoding :
         {TTextStream::LATIN1, TTextStream::UTF8, TTextStream::UTF16BE, TTextStream::UTF16LE})
        for (const std::string& bytes : cases)
            for (const bool pipe : {false, true}) {
                TCStream* fastFile = fileOver(bytes, pipe, false);
                TCStream* plainFile = fileOver(bytes, pipe, true);
                subclassReads = 0;
                const Seen fast = readLines(TTextStreamCreate(fastFile, encoding), fastFile);
                const Seen plain = readLines(TTextStreamCreate(plainFile, encoding), plainFile);
                EXPECT_EQ(describe(fast), describe(plain)) << encoding << " " << bytes << " " << pipe;
                if (!bytes.empty()) {
                    EXPECT_GT(subclassReads, 0) << "the subclass's ReadByte is still called";
                }
            }
}

// A file that grows after it was opened ends, for a text stream, at the
// size it had then: a character starting there is not read.
TEST_F(BlockLineReading, TextStreamsOfAGrownFileEndWhereTheByteReaderEnds) {
    for (const int32_t encoding : {TTextStream::LATIN1, TTextStream::UTF8, TTextStream::UTF16LE}) {
        // Longer than the handle's buffer, so that the grown part is read.
        const std::string first(5000, 'x');
        const std::string name = write(first);
        TCStream* fastFile = TCStreamOpenFile(ovTestAscii(dir / name), 1, 0);
        TCStream* plainFile = TCStreamOpenFile(ovTestAscii(dir / name), 1, 0);
        plainFile->cls = &countedRecord;
        ovTestWriteFile(dir / name, first + "more\nlines\n");
        const Seen fast = readLines(TTextStreamCreate(fastFile, encoding), fastFile);
        const Seen plain = readLines(TTextStreamCreate(plainFile, encoding), plainFile);
        EXPECT_EQ(describe(fast), describe(plain)) << encoding;
    }
}

}  // namespace
