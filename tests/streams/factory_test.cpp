// The factory chain, StreamOpen's order of decisions and ResolveFileCase.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "streams/wrapper.h"
#include "tests/streams/stream_test_support.h"
#include "tests/support/system_test_support.h"

namespace {

// A factory that records every question and serves one protocol with a
// memory stream.
struct TRecordingFactory : TStreamFactory {
    int32_t id;
    ovRef<String> accepts;
};

struct Question {
    int32_t factory;
    std::string protocol;
    std::string path;
    const Object* target;  // compared only, never dereferenced
    int32_t readable;
    int32_t writeable;
};
std::vector<Question> questions;

extern const TStreamFactoryClass recordingRecord;

TStream* recordingCreateStream(TStreamFactory* factory, Object* target, String* protocol, String* path,
                               int32_t readable, int32_t writeable) {
    auto* self = static_cast<TRecordingFactory*>(factory);
    questions.push_back({self->id, ovTestText(protocol), ovTestText(path), target, readable, writeable});
    if (ovStringCompare(protocol, self->accepts) != 0) return ovNullOf<TStream>();
    return ovTestMemoryStream("served by " + std::to_string(self->id));
}

int32_t recordingNew(Object* object) {
    auto* self = ovChainNew<TRecordingFactory, recordingRecord>(object);
    self->id = 0;
    self->accepts.init(&ovEmptyString);
    return 0;
}

int32_t recordingDelete(Object* object) {
    static_cast<TRecordingFactory*>(object)->accepts.release();
    return ovChainDelete<recordingRecord>(object);
}

constexpr ovScope recordingScope = {OV_SCOPE_CLASS, "TRecordingFactory", ovNoScopeEntries};

constexpr TStreamFactoryClass recordingRecord =
    ovMakeClass<TStreamFactoryClass, TRecordingFactory>(TStreamFactoryType, &recordingScope, [](auto& r) {
        r.New = recordingNew;
        r.Delete = recordingDelete;
        r.CreateStream = recordingCreateStream;
    });

// A protocol no factory accepts.
String* const kNoProtocol = ovLiteral(u"\uffff");

TRecordingFactory* newFactory(int32_t id, String* accepts = kNoProtocol) {
    auto* factory = ovNew<TRecordingFactory>(&recordingRecord);
    factory->id = id;
    factory->accepts.set(accepts);
    return factory;
}

// Each test restores the chain it found, so that the factories it added do
// not answer the next test's questions.
class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        saved_ = factoryChain;
        questions.clear();
    }
    void TearDown() override { factoryChain.set(saved_); }

    // The factories asked, in order.
    static std::vector<int32_t> asked() {
        std::vector<int32_t> ids;
        for (const Question& q : questions) ids.push_back(q.factory);
        return ids;
    }

private:
    TStreamFactory* saved_ = nullptr;
};

using FactoryChain = FactoryTest;
using OpenByName = FactoryTest;
using OpenOtherTargets = FactoryTest;

using Ids = std::vector<int32_t>;

// ---------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------

TEST_F(FactoryChain, TheNewestFactoryIsAskedFirst) {
    TStreamFactory* before = factoryChain;
    TRecordingFactory* first = newFactory(1);
    TRecordingFactory* second = newFactory(2);
    EXPECT_EQ(factoryChain, second);
    EXPECT_EQ(second->_succ, first);
    EXPECT_EQ(first->_succ, before);
    EXPECT_EQ(StreamOpenRead(ovLiteral(u"zz::p")), ovNull);
    ASSERT_GE(questions.size(), 2u);
    EXPECT_EQ((Ids{questions[0].factory, questions[1].factory}), (Ids{2, 1}));
}

TEST_F(FactoryChain, TheFirstAnswerWinsAndLaterFactoriesAreNotAsked) {
    newFactory(1, ovLiteral(u"proto"));
    newFactory(2, ovLiteral(u"proto"));
    newFactory(3);
    TStream* s = StreamOpenRead(ovLiteral(u"proto::x"));
    ASSERT_NE(s, ovNull);
    EXPECT_EQ(ovTestText(s->ReadLine()), "served by 2");
    EXPECT_EQ(asked(), (Ids{3, 2}));
}

TEST_F(FactoryChain, TheBaseFactoryIsAbstract) {
    auto* factory = ovNew<TStreamFactory>(&TStreamFactoryType);
    Object* thrown = ovTestThrown([&] { factory->CreateStream(ovNull, &ovEmptyString, &ovEmptyString, 1, 0); });
    EXPECT_TRUE(ovIsInstance(thrown, &TNullMethodExceptionType));
}

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

TEST_F(OpenByName, TheProtocolArrivesInLowerCaseAndThePathKeepsItsCase) {
    newFactory(1);
    String* name = ovLiteral(u"LaTiN1::X.txt");
    StreamOpen(name, 1, 1);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].protocol, "latin1");
    EXPECT_EQ(questions[0].path, "X.txt");
    EXPECT_EQ(questions[0].target, name);  // the target itself, not a copy of its name
    EXPECT_EQ(questions[0].readable, 1);
    EXPECT_EQ(questions[0].writeable, 1);
}

TEST_F(OpenByName, OnlyTheFirstSeparatorSplits) {
    newFactory(1);
    StreamOpenRead(ovLiteral(u"a::b::c"));
    StreamOpenRead(ovLiteral(u"::x"));
    StreamOpenRead(ovLiteral(u"p::"));
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[0].protocol, "a");
    EXPECT_EQ(questions[0].path, "b::c");
    EXPECT_EQ(questions[1].protocol, "");
    EXPECT_EQ(questions[1].path, "x");
    EXPECT_EQ(questions[2].protocol, "p");
    EXPECT_EQ(questions[2].path, "");
}

TEST_F(OpenByName, TheEmptyNameIsOfferedWithEmptyProtocolAndPath) {
    newFactory(1);
    EXPECT_EQ(StreamOpenWrite(&ovEmptyString), ovNull);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].protocol, "");
    EXPECT_EQ(questions[0].path, "");
    EXPECT_EQ(questions[0].readable, 0);
    EXPECT_EQ(questions[0].writeable, 1);
}

TEST_F(OpenByName, APlainNameIsAFileAndNeverReachesTheFactories) {
    newFactory(1, &ovEmptyString);
    ovTestTempDir dir;
    ovTestWriteFile((dir / "plain.txt"), "file");
    TStream* s = StreamOpenRead(ovTestPath(dir / "plain.txt"));
    ASSERT_TRUE(ovIsInstance(s, &TCStreamType));
    EXPECT_EQ(StreamOpenRead(ovTestPath(dir / "absent.txt")), ovNull);
    EXPECT_TRUE(questions.empty());
}

TEST_F(OpenByName, ANameWithASeparatorNeverFallsBackToAFile) {
    newFactory(1);
    ovTestTempDir dir;
    ovTestWriteFile((dir / "x::y"), "a file named like a protocol");
    EXPECT_EQ(StreamOpenRead(ovTestPath(dir / "x::y")), ovNull);
    EXPECT_EQ(asked(), (Ids{1}));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].path, "y");
}

// ---------------------------------------------------------------------------
// Other targets
// ---------------------------------------------------------------------------

TEST_F(OpenOtherTargets, AStreamIsWrappedWithoutAskingTheFactories) {
    newFactory(1, &ovEmptyString);
    ovTestTempDir dir;
    ovTestWriteFile(dir / "w.txt", "xy");
    TCStream* file = TCStreamOpenFile(ovTestPath(dir / "w.txt"), 1, 0);
    TStream* s = StreamOpenWrite(file);
    ASSERT_TRUE(ovIsInstance(s, &TStreamStreamType));
    EXPECT_EQ(s->ReadByte(), 'x');
    s->Close();
    EXPECT_EQ(file->ReadByte(), 'y');  // closing the wrapper left the file open
    EXPECT_TRUE(questions.empty());
}

TEST_F(OpenOtherTargets, AnyOtherObjectGoesToTheFactoriesItself) {
    newFactory(1, &ovEmptyString);
    Object* target = ovObjectNew(&TOrvaneExceptionType);
    TStream* s = StreamOpenRead(target);
    ASSERT_NE(s, ovNull);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].target, target);
    EXPECT_EQ(questions[0].protocol, "");
    EXPECT_EQ(questions[0].path, "");
}

// ---------------------------------------------------------------------------
// ResolveFileCase
// ---------------------------------------------------------------------------

class ResolveCaseTree : public FactoryTest {
protected:
    void SetUp() override {
        FactoryTest::SetUp();
        mkdir((dir / "Data").c_str(), 0777);
        mkdir((dir / "Data/Sub").c_str(), 0777);
        ovTestWriteFile((dir / "Data/Sub/File.TXT"), "x");
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(cwd_), 0);
        FactoryTest::TearDown();
    }
    ovTestTempDir dir;

private:
    char cwd_[PATH_MAX];
};

std::string resolved(const std::string& path) {
    return ovTestText(ResolveFileCase(ovStringFromUTF8String(path.c_str())));
}

TEST_F(ResolveCaseTree, AnExistingPathIsReturnedAsItIs) {
    String* path = ovLiteral(u"Data/Sub/File.TXT");
    EXPECT_EQ(ResolveFileCase(path), path);
    String* directory = ovLiteral(u"Data/Sub");
    EXPECT_EQ(ResolveFileCase(directory), directory);
}

TEST_F(ResolveCaseTree, EachComponentTakesItsSpellingOnDisk) {
    EXPECT_EQ(resolved("data/sub/file.txt"), "Data/Sub/File.TXT");
    EXPECT_EQ(resolved("DATA/SUB"), "Data/Sub");
    EXPECT_EQ(resolved("data"), "Data");
    EXPECT_EQ(resolved(dir.path() + "/data/SUB/file.Txt"), dir.path() + "/Data/Sub/File.TXT");
}

TEST_F(ResolveCaseTree, MissingComponentsGiveTheEmptyString) {
    EXPECT_EQ(resolved("data/nothing/file.txt"), "");
    EXPECT_EQ(resolved("data/sub/absent.txt"), "");
    EXPECT_EQ(resolved("absent"), "");
    EXPECT_EQ(resolved("/data"), "");  // a lone leading "/" is searched for in "."
}

}  // namespace
