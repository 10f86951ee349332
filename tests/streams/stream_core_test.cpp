// TIO's defaults, TStream's typed and line operations, the wrappers, the
// stream exceptions and the module functions over in-memory streams.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/stream.h"
#include "streams/wrapper.h"
#include "tests/streams/stream_test_support.h"

namespace {

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovSpyLog.clear();
    }
};

using TypedValues = StreamTest;
using LineReading = StreamTest;
using TextWriting = StreamTest;
using IODefaults = StreamTest;
using Wrappers = StreamTest;
using ModuleFunctions = StreamTest;
using WholeTargets = StreamTest;

bool isReadError(Object* thrown) { return ovIsInstance(thrown, &TStreamReadExceptionType); }
bool isWriteError(Object* thrown) { return ovIsInstance(thrown, &TStreamWriteExceptionType); }

// ---------------------------------------------------------------------------
// Typed values
// ---------------------------------------------------------------------------

TEST_F(TypedValues, ReadsAreLittleEndianAndBytesAndShortsUnsigned) {
    TMemoryTestStream* s = ovTestMemoryStream(std::string("\x01\x00\x00\x00\xff\xff\xfe\x88\x77\x66\x55\x44\x33\x22\x11", 15));
    EXPECT_EQ(s->ReadInt(), 1);
    EXPECT_EQ(s->ReadShort(), 65535);
    EXPECT_EQ(s->ReadByte(), 254);
    EXPECT_EQ(s->ReadLong(), 0x1122334455667788LL);
    EXPECT_EQ(s->Eof(), 1);
}

TEST_F(TypedValues, WritesStoreTheLowBytesLittleEndianAndReturnZero) {
    TMemoryTestStream* s = ovTestMemoryStream("");
    EXPECT_EQ(s->WriteByte(0x1FF), 0);
    EXPECT_EQ(s->WriteShort(0x12345), 0);
    EXPECT_EQ(s->WriteInt(-2), 0);
    EXPECT_EQ(s->WriteLong(0x0102030405060708LL), 0);
    EXPECT_EQ(*s->output, std::string("\xff\x45\x23\xfe\xff\xff\xff\x08\x07\x06\x05\x04\x03\x02\x01", 15));
}

TEST_F(TypedValues, FloatsAndDoublesRoundTripThroughTheirBytes) {
    TMemoryTestStream* out = ovTestMemoryStream("");
    out->WriteFloat(1.5f);
    out->WriteDouble(-0.1);
    EXPECT_EQ(out->output->substr(0, 4), std::string("\x00\x00\xc0\x3f", 4));
    TMemoryTestStream* in = ovTestMemoryStream(*out->output);
    EXPECT_EQ(in->ReadFloat(), 1.5f);
    EXPECT_EQ(in->ReadDouble(), -0.1);
}

TEST_F(TypedValues, WholeTransfersGatherShortReadsAndWrites) {
    TMemoryTestStream* s = ovTestMemoryStream("\x04\x03\x02\x01");
    s->chunk = 1;
    EXPECT_EQ(s->ReadInt(), 0x01020304);
    EXPECT_EQ(s->reads, 4);
    s->WriteLong(-1);
    EXPECT_EQ(*s->output, std::string(8, '\xff'));
}

TEST_F(TypedValues, ShortTransfersThrowAndKeepWhatWasTransferred) {
    TMemoryTestStream* s = ovTestMemoryStream("abc");
    EXPECT_TRUE(isReadError(ovTestThrown([&] { s->ReadString(5); })));
    EXPECT_EQ(s->pos, 3);
    s->writeLimit = 2;
    EXPECT_TRUE(isWriteError(ovTestThrown([&] { s->WriteInt(0x44332211); })));
    EXPECT_EQ(*s->output, "\x11\x22");
}

TEST_F(TypedValues, SkipBytesCrossesTheScratchBufferAndFailsPastTheEnd) {
    std::string data(2500, 'a');
    data[2000] = 'z';
    TMemoryTestStream* s = ovTestMemoryStream(data);
    EXPECT_EQ(s->SkipBytes(2000), 2000);
    EXPECT_EQ(s->ReadByte(), 'z');
    EXPECT_TRUE(isReadError(ovTestThrown([&] { s->SkipBytes(500); })));
}

// ---------------------------------------------------------------------------
// ReadLine
// ---------------------------------------------------------------------------

TEST_F(LineReading, EndsAtLineFeedNulOrEndAndDropsCarriageReturns) {
    TMemoryTestStream* s = ovTestMemoryStream(std::string("ab\r\nc", 5));
    EXPECT_EQ(ovTestText(s->ReadLine()), "ab");
    EXPECT_EQ(ovTestText(s->ReadLine()), "c");
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_EQ(s->ReadLine()->length, 0);

    TMemoryTestStream* t = ovTestMemoryStream(std::string("a\0b\rc\r", 6));
    EXPECT_EQ(ovTestText(t->ReadLine()), "a");
    EXPECT_EQ(ovTestText(t->ReadLine()), "bc");
}

TEST_F(LineReading, ReadsNoFurtherThanTheTerminator) {
    TMemoryTestStream* s = ovTestMemoryStream("ab\ncd");
    s->ReadLine();
    EXPECT_EQ(s->pos, 3);
    EXPECT_EQ(s->reads, 3);
}

TEST_F(LineReading, LongLinesAreReturnedWholeWithHighBytesAsCharacters) {
    std::string line;
    for (int i = 0; i < 5000; ++i) line.push_back(static_cast<char>('a' + i % 26));
    line[1500] = '\xfc';
    TMemoryTestStream* s = ovTestMemoryStream(line + "\r\nnext");
    String* read = s->ReadLine();
    ASSERT_EQ(read->length, 5000);
    EXPECT_EQ(read->units()[1500], 0xFC);
    EXPECT_EQ(ovTestText(read), line);
    EXPECT_EQ(ovTestText(s->ReadLine()), "next");
}

// ---------------------------------------------------------------------------
// WriteLine and WriteString
// ---------------------------------------------------------------------------

TEST_F(TextWriting, WriteLineAddsCarriageReturnLineFeedAndKeepsLowBits) {
    TMemoryTestStream* s = ovTestMemoryStream("");
    EXPECT_EQ(s->WriteLine(ovLiteral(u"hi")), 1);
    EXPECT_EQ(s->WriteLine(ovLiteral(u"\u0141\u00e9")), 1);
    EXPECT_EQ(s->WriteLine(&ovEmptyString), 1);
    EXPECT_EQ(*s->output, "hi\r\nA\xe9\r\n\r\n");
}

TEST_F(TextWriting, WriteLineReportsAShortWriteAndSkipsTheLineEnd) {
    TMemoryTestStream* s = ovTestMemoryStream("");
    s->writeLimit = 1;
    EXPECT_EQ(s->WriteLine(ovLiteral(u"hi")), 0);
    EXPECT_EQ(*s->output, "h");
    TMemoryTestStream* t = ovTestMemoryStream("");
    t->writeLimit = 3;
    EXPECT_EQ(t->WriteLine(ovLiteral(u"hi")), 0);
    EXPECT_EQ(*t->output, "hi\r");
}

TEST_F(TextWriting, WriteStringWritesNoLineEndAndThrowsWhenTheSinkIsFull) {
    TMemoryTestStream* s = ovTestMemoryStream("");
    EXPECT_EQ(s->WriteString(ovLiteral(u"x\u0141")), 0);
    EXPECT_EQ(*s->output, "xA");
    s->writeLimit = 3;
    EXPECT_TRUE(isWriteError(ovTestThrown([&] { s->WriteString(ovLiteral(u"abc")); })));
    EXPECT_EQ(*s->output, "xAa");
}

// ---------------------------------------------------------------------------
// TIO defaults, objects, exception classes
// ---------------------------------------------------------------------------

TEST_F(IODefaults, PlainIOCannotSeekReadOrWrite) {
    auto* io = static_cast<TIO*>(ovObjectNew(&TIOType));
    EXPECT_EQ(io->Pos(), -1);
    EXPECT_EQ(io->Size(), 0);
    EXPECT_EQ(io->Eof(), 0);
    EXPECT_EQ(io->Seek(5), -1);
    EXPECT_EQ(io->Flush(), 0);
    EXPECT_EQ(io->Close(), 0);
    uint8_t byte = 0;
    Object* readError = ovTestThrown([&] { io->Read(&byte, 1); });
    ASSERT_TRUE(ovIsInstance(readError, &TRuntimeExceptionType));
    EXPECT_EQ(ovTestText(readError->ToString()), "Stream is not readable");
    Object* writeError = ovTestThrown([&] { io->Write(&byte, 1); });
    ASSERT_TRUE(ovIsInstance(writeError, &TRuntimeExceptionType));
    EXPECT_EQ(ovTestText(writeError->ToString()), "Stream is not writeable");
}

TEST_F(IODefaults, ObjectsCannotBeReadOrWrittenByDefault) {
    TMemoryTestStream* s = ovTestMemoryStream("data");
    Object* readError = ovTestThrown([&] { s->ReadObject(); });
    ASSERT_TRUE(ovIsInstance(readError, &StringType));
    EXPECT_EQ(ovTestText(static_cast<String*>(readError)), "Unable to read object");
    Object* writeError = ovTestThrown([&] { s->WriteObject(s); });
    ASSERT_TRUE(ovIsInstance(writeError, &StringType));
    EXPECT_EQ(ovTestText(static_cast<String*>(writeError)), "Unable to write object");
}

TEST_F(IODefaults, StreamExceptionsShareABaseAndCarryTheirTexts) {
    Object* read = ovTestThrown([] { ovThrowStreamRead(); });
    Object* write = ovTestThrown([] { ovThrowStreamWrite(); });
    EXPECT_TRUE(ovIsInstance(read, &TStreamExceptionType));
    EXPECT_TRUE(ovIsInstance(write, &TStreamExceptionType));
    EXPECT_FALSE(ovIsInstance(read, &TStreamWriteExceptionType));
    EXPECT_EQ(ovTestText(read->ToString()), "Error reading from stream");
    EXPECT_EQ(ovTestText(write->ToString()), "Error writing to stream");
}

// ---------------------------------------------------------------------------
// Wrappers
// ---------------------------------------------------------------------------

TStreamWrapper* wrapperOver(TStream* stream) {
    auto* wrapper = ovNew<TStreamWrapper>(&TStreamWrapperType);
    wrapper->SetStream(stream);
    return wrapper;
}

// The calls the wrapped spy saw while the operation ran on the wrapper.
template <class F>
std::vector<std::string> seenBySpy(F&& operation) {
    ovSpyLog.clear();
    operation();
    return ovSpyLog;
}

using Calls = std::vector<std::string>;

TEST_F(Wrappers, ForwardTheListedOperationsWithTheirResults) {
    TStreamWrapper* w = wrapperOver(ovTestSpyStream());
    uint8_t buf[4];
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Eof(), 7); }), Calls{"Eof"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Pos(), 7); }), Calls{"Pos"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Size(), 7); }), Calls{"Size"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Seek(3), 7); }), Calls{"Seek"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Flush(), 7); }), Calls{"Flush"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Read(buf, 3), 3); }), Calls{"Read"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Write(buf, 2), 2); }), Calls{"Write"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadByte(), 7); }), Calls{"ReadByte"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteByte(1), 7); }), Calls{"WriteByte"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadShort(), 7); }), Calls{"ReadShort"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteShort(1), 7); }), Calls{"WriteShort"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadInt(), 7); }), Calls{"ReadInt"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteInt(1), 7); }), Calls{"WriteInt"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadFloat(), 7.0f); }), Calls{"ReadFloat"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteFloat(1), 7); }), Calls{"WriteFloat"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadDouble(), 7.0); }), Calls{"ReadDouble"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteDouble(1), 7); }), Calls{"WriteDouble"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(ovTestText(w->ReadLine()), "spy"); }), Calls{"ReadLine"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteLine(ovLiteral(u"a")), 7); }), Calls{"WriteLine"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(ovTestText(w->ReadString(9)), "spy"); }), Calls{"ReadString"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteString(ovLiteral(u"a")), 7); }), Calls{"WriteString"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadObject(), ovNull); }), Calls{"ReadObject"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteObject(w), 7); }), Calls{"WriteObject"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Close(), 7); }), Calls{"Close"});
}

TEST_F(Wrappers, BulkAndLongOperationsRunOverTheWrappersOwnReadAndWrite) {
    TStreamWrapper* w = wrapperOver(ovTestSpyStream());
    uint8_t buf[8];
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadBytes(buf, 8), 8); }), Calls{"Read"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteBytes(buf, 8), 8); }), Calls{"Write"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->SkipBytes(5), 5); }), Calls{"Read"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->ReadLong(), 0x7878787878787878LL); }), Calls{"Read"});
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->WriteLong(1), 0); }), Calls{"Write"});
}

// The wrapper's scope lists exactly the operations whose slots it overrides,
// each with its slot's offset, besides its field and SetStream.
TEST_F(Wrappers, ScopeListsEveryOverriddenSlotAndNoOther) {
    const auto* wrapper = reinterpret_cast<const void* const*>(&TStreamWrapperType);
    const auto* stream = reinterpret_cast<const void* const*>(&TStreamType);
    std::vector<intptr_t> listed;
    for (const ovScopeEntry* e = TStreamWrapperType.scope->entries; e->kind != OV_SCOPE_END; ++e)
        if (e->kind == OV_SCOPE_METHOD && e->value != static_cast<intptr_t>(offsetof(TStreamWrapperClass, SetStream)))
            listed.push_back(e->value);
    std::vector<intptr_t> overridden;
    for (size_t slot = offsetof(ObjectClass, New) / sizeof(void*); slot < sizeof(TStreamClass) / sizeof(void*); ++slot)
        if (wrapper[slot] != stream[slot]) overridden.push_back(static_cast<intptr_t>(slot * sizeof(void*)));
    EXPECT_EQ(listed, overridden);
    EXPECT_EQ(std::string(TStreamWrapperType.scope->entries[0].name), "_stream");
}

TEST_F(Wrappers, StreamStreamCloseDetachesAndLeavesTheStreamOpen) {
    TSpyStream* spy = ovTestSpyStream();
    TStreamStream* w = TStreamStreamCreate(spy);
    EXPECT_EQ(w->_stream, spy);
    EXPECT_EQ(seenBySpy([&] { EXPECT_EQ(w->Close(), 0); }), Calls{});
    EXPECT_EQ(w->_stream, ovNull);
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { w->Eof(); }), &TNullObjectExceptionType));
}

TEST_F(Wrappers, SetStreamHoldsOneCountedReference) {
    TMemoryTestStream* first = ovTestMemoryStream("1");
    TMemoryTestStream* second = ovTestMemoryStream("2");
    TStreamWrapper* w = wrapperOver(first);
    const int32_t firstHeld = first->refs;
    w->SetStream(second);
    EXPECT_EQ(first->refs, firstHeld - 1);
    EXPECT_EQ(w->ReadByte(), '2');
    EXPECT_EQ(first->ReadByte(), '1');
}

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

TEST_F(ModuleFunctions, ReadersReturnTheMethodsResultOthersReturnZero) {
    TSpyStream* spy = ovTestSpyStream();
    EXPECT_EQ(StreamEof(spy), 7);
    EXPECT_EQ(StreamPosition(spy), 7);
    EXPECT_EQ(StreamLength(spy), 7);
    EXPECT_EQ(StreamSeek(spy, 1), 7);
    EXPECT_EQ(StreamReadInt(spy), 7);
    EXPECT_EQ(ovTestText(StreamReadLine(spy)), "spy");
    EXPECT_EQ(StreamFlush(spy), 0);
    EXPECT_EQ(StreamClose(spy), 0);
    EXPECT_EQ(StreamWriteInt(spy, 1), 0);
    EXPECT_EQ(StreamWriteLine(spy, ovLiteral(u"x")), 0);
    EXPECT_EQ(ovSpyLog, (Calls{"Eof", "Pos", "Size", "Seek", "ReadInt", "ReadLine", "Flush", "Close", "WriteInt",
                               "WriteLine"}));
}

// ---------------------------------------------------------------------------
// Loading, saving, copying
// ---------------------------------------------------------------------------

std::string patternOf(int n) {
    std::string data;
    for (int i = 0; i < n; ++i) data.push_back(static_cast<char>(i * 7 % 251));
    return data;
}

TEST_F(WholeTargets, LoadBytesGrowsItsBufferAndLeavesAGivenStreamOpen) {
    const std::string data = patternOf(5000);
    TMemoryTestStream* s = ovTestMemoryStream(data);
    s->chunk = 700;
    s->sizeUnknown = 1;
    Array* bytes = LoadBytes(s);
    EXPECT_EQ(bytes->count(), 5000);
    EXPECT_EQ(ovTestBytes(bytes), data);
    EXPECT_EQ(s->pos, 5000);
    EXPECT_EQ(ovTestText(LoadStringBytes(ovTestMemoryStream("ab\xe9"))), "ab\xe9");
}

TEST_F(WholeTargets, LoadBytesReadsAStreamOfKnownSizeWithOneCall) {
    const std::string data = patternOf(300000);
    TMemoryTestStream* s = ovTestMemoryStream(data);
    ASSERT_EQ(s->SkipBytes(1000), 1000);
    const int32_t readsBefore = s->reads;
    Array* bytes = LoadBytes(s);
    EXPECT_EQ(ovTestBytes(bytes), data.substr(1000));
    EXPECT_EQ(s->reads - readsBefore, 1) << "all that the stream still holds in one read";
}

// A stream longer than its Size said (a file that grew) is loaded whole.
TEST_F(WholeTargets, LoadBytesReadsPastASizeThatWasTooSmall) {
    const std::string data = patternOf(300000);
    TMemoryTestStream* s = ovTestMemoryStream(data);
    static TStreamClass underSized = *static_cast<const TStreamClass*>(s->cls);
    underSized.Size = [](TIO* io) { return static_cast<int32_t>(static_cast<TMemoryTestStream*>(io)->input->size() / 3); };
    s->cls = &underSized;
    s->chunk = 70000;
    EXPECT_EQ(ovTestBytes(LoadBytes(s)), data);
}

TEST_F(WholeTargets, LoadBytesEndsAtAReadOfNothingWhenEofNeverComes) {
    TMemoryTestStream* s = ovTestMemoryStream("abc");
    s->eofNever = 1;
    EXPECT_EQ(ovTestBytes(LoadBytes(s)), "abc");
    TMemoryTestStream* empty = ovTestMemoryStream("");
    empty->eofNever = 1;
    EXPECT_EQ(LoadBytes(empty)->count(), 0);
}

TEST_F(WholeTargets, TargetsThatCannotBeOpenedThrowTheirDirectionsError) {
    ovStreamModuleInit();
    String* nowhere = ovLiteral(u"/nonexistent-dir-of-the-tests/file.bin");
    EXPECT_TRUE(isReadError(ovTestThrown([&] { LoadBytes(nowhere); })));
    EXPECT_TRUE(isReadError(ovTestThrown([&] { LoadObjectFrom(nowhere); })));
    EXPECT_TRUE(isWriteError(ovTestThrown([&] { SaveStringBytes(ovLiteral(u"x"), nowhere); })));
    EXPECT_TRUE(isWriteError(ovTestThrown([&] { SaveBytes(&ovEmptyArray, nowhere); })));
    EXPECT_TRUE(isWriteError(ovTestThrown([&] { SaveObjectTo(nowhere, nowhere); })));
}

TEST_F(WholeTargets, SavesWriteEveryByteToTheTarget) {
    TMemoryTestStream* s = ovTestMemoryStream("");
    SaveStringBytes(ovLiteral(u"a\u0141\u00ff"), s);
    const uint8_t raw[] = {0, 1, 254};
    SaveBytes(ovArrayFromData("b", 3, std::array<int32_t, 3>{raw[0], raw[1], raw[2]}.data()), s);
    EXPECT_EQ(*s->output, std::string("aA\xff\x00\x01\xfe", 6));
    EXPECT_EQ(ovTestText(static_cast<String*>(ovTestThrown([&] { LoadObjectFrom(s); }))), "Unable to read object");
}

TEST_F(WholeTargets, CopyAllStopsAtEofOrAtAReadOfNothing) {
    const std::string data = patternOf(3000);
    TMemoryTestStream* from = ovTestMemoryStream(data);
    from->eofNever = 1;
    TMemoryTestStream* to = ovTestMemoryStream("");
    EXPECT_EQ(StreamCopyAll(from, to, 512), 0);
    EXPECT_EQ(*to->output, data);

    TMemoryTestStream* again = ovTestMemoryStream("xyz");
    TMemoryTestStream* sink = ovTestMemoryStream("");
    StreamCopyAll(again, sink, 0);  // an unusable size still copies
    EXPECT_EQ(*sink->output, "xyz");
    EXPECT_EQ(again->reads, 1);
}

TEST_F(WholeTargets, CopyCountCopiesExactlyThatManyBytes) {
    TMemoryTestStream* from = ovTestMemoryStream("0123456789abc");
    from->chunk = 3;
    TMemoryTestStream* to = ovTestMemoryStream("");
    EXPECT_EQ(StreamCopyCount(from, to, 10, 4), 0);
    EXPECT_EQ(*to->output, "0123456789");
    EXPECT_EQ(from->pos, 10);
    EXPECT_TRUE(isReadError(ovTestThrown([&] { StreamCopyCount(from, to, 5, 4); })));
    StreamCopyCount(from, to, -1, 4);
    EXPECT_EQ(*to->output, "0123456789");
}

}  // namespace
