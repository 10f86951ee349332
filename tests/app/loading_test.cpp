// The interpreter's side of loading: which file, through which stream, and
// the order in which the standard modules come up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

#include "app/interpreter.h"
#include "app/modules.h"
#include "collections/list.h"
#include "interpreter_test_support.h"
#include "net/httpstream.h"
#include "net/socketstream.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/strhelp.h"
#include "runtime/string.h"
#include "streams/bankstream.h"
#include "streams/endianstream.h"
#include "streams/factory.h"
#include "streams/ramstream.h"
#include "streams/stdio.h"
#include "streams/textstream.h"
#include "system/filesystem/filesystem.h"
#include "tests/net/net_test_support.h"
#include "tests/support/system_test_support.h"
#include "tests/support/text_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {


void bringUpModules() { InitInterpreterModules(); }

Array* argumentsOf(std::initializer_list<String*> elements) {
    Array* arguments = ovArrayNew1D("$", static_cast<int32_t>(elements.size()));
    int32_t i = 0;
    for (String* s : elements) ovStore(arguments->elements<String*>()[i++], s);
    return arguments;
}

TEST(ProgramFile, IsTheFirstArgumentAfterTheExecutableOrCodeTxt) {
    EXPECT_EQ(ovTestUnits(ChooseProgramFile(&ovEmptyArray)), u"code.txt");
    EXPECT_EQ(ovTestUnits(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun")}))), u"code.txt");
    EXPECT_EQ(ovTestUnits(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"a.txt")}))), u"a.txt");
    Array* two = argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"a.txt"), ovLiteral(u"b.txt")});
    EXPECT_EQ(ovTestUnits(ChooseProgramFile(two)), u"a.txt");
    EXPECT_EQ(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun"), &ovEmptyString}))->length, 0);
}

TEST(ProgramFile, NullElementsAreSkippedAndNotCounted) {
    Array* arguments = argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"x"), ovLiteral(u"y")});
    ovStore(arguments->elements<Object*>()[0], ovNull);
    EXPECT_EQ(ovTestUnits(ChooseProgramFile(arguments)), u"y");
}

class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override { bringUpModules(); }
    String* file(const std::string& name, const std::string& bytes) {
        return ovStringFromCString(directory_.file(name, bytes).c_str());
    }
    std::string commandsOf(const Program& program) {
        return std::string(reinterpret_cast<const char*>(program.commands()), static_cast<size_t>(program.commandCount()));
    }
    ovTestTempDir directory_;
};

TEST_F(LoadingTest, KeepsTheCommandsOfEveryLine) {
    Program program;
    ASSERT_EQ(LoadProgram(file("two.txt", "a+b\r\n<c"), program), LoadResult::kLoaded);
    EXPECT_EQ(commandsOf(program), "+<");
    std::string big;
    for (int i = 0; i < 70000; ++i) big += "+x<\n."[i % 5];
    Program large;
    ASSERT_EQ(LoadProgram(file("big.txt", big), large), LoadResult::kLoaded);
    EXPECT_EQ(large.commandCount(), 42000);
    EXPECT_EQ(commandsOf(large).substr(0, 6), "+<.+<.");
}

TEST_F(LoadingTest, ReadsDecodingStreamsByTheirLines) {
    // In UTF-16 the bytes of "+" are 2B 00: read as bytes, the zero bytes
    // would vanish but "\u2B2B" would become two commands.
    const std::string utf16 = std::string("+\0<\0\x2B\x2B\n\0.\0", 10);
    Program program;
    ASSERT_EQ(LoadProgram(ovStringConcat(ovLiteral(u"utf16le::"), file("wide.txt", utf16)), program), LoadResult::kLoaded);
    EXPECT_EQ(commandsOf(program), "+<.");
}

// An ordinary UTF-8 program of many lines, decoded line by line.
TEST_F(LoadingTest, ReadsAThousandLinesThroughUtf8) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += std::string(54, '+') + "\n";
    Program program;
    ASSERT_EQ(LoadProgram(ovStringConcat(ovLiteral(u"utf8::"), file("long.txt", text)), program), LoadResult::kLoaded);
    EXPECT_EQ(program.commandCount(), 54000);
    EXPECT_EQ(commandsOf(program), std::string(54000, '+'));
}

// A pipe and a FIFO tell their end only when a read comes back empty; the
// program through every text protocol loads all the same, the empty one too.
TEST_F(LoadingTest, ReadsPipesAndFifosThroughEveryTextProtocol) {
    const std::string text = "+<\n?,.\r\n++";
    for (const std::string& protocol : kTextProtocols) {
        for (const std::string& source : {text, std::string()}) {
            const std::string bytes = encodedFor(protocol, source);
            int ends[2];
            ASSERT_EQ(pipe(ends), 0);
            ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            close(ends[1]);
            Program piped;
            const std::string pipeName = protocol + "::/dev/fd/" + std::to_string(ends[0]);
            EXPECT_EQ(LoadProgram(ovStringFromCString(pipeName.c_str()), piped), LoadResult::kLoaded) << pipeName;
            close(ends[0]);

            const std::string fifo = directory_ / "program.fifo";
            ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
            Program fromFifo;
            const std::string fifoName = protocol + "::" + fifo;
            EXPECT_EQ(LoadProgram(ovStringFromCString(fifoName.c_str()), fromFifo), LoadResult::kLoaded) << fifoName;
            writer.join();
            unlink(fifo.c_str());

            const std::string expected = source.empty() ? "" : "+<?,.++";
            EXPECT_EQ(commandsOf(piped), expected) << pipeName;
            EXPECT_EQ(commandsOf(fromFifo), expected) << fifoName;
        }
    }
}

// The program file is closed whether the load ends normally or throws (a
// character cut short at the end of the data).
TEST_F(LoadingTest, ClosesTheProgramFileOnEveryWayOut) {
    String* plain = file("plain.txt", "+<.");
    String* cut = ovStringConcat(ovLiteral(u"utf8::"), file("cut.txt", "+<\xe2\x82"));
    ovGCSuspend();
    const int before = ovTestOpenDescriptors();
    Program program;
    EXPECT_EQ(LoadProgram(plain, program), LoadResult::kLoaded);
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    Program cutShort;
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { LoadProgram(cut, cutShort); }), &TStreamReadExceptionType));
    EXPECT_EQ(ovTestOpenDescriptors(), before);
    ovGCResume();
}

TEST_F(LoadingTest, ReportsMissingFilesAndDirectories) {
    Program program;
    EXPECT_EQ(LoadProgram(ovStringFromCString((directory_ / "none.txt").c_str()), program), LoadResult::kNotFound);
    EXPECT_EQ(LoadProgram(ovStringFromCString(directory_.path().c_str()), program), LoadResult::kNotFound);
    EXPECT_EQ(LoadProgram(ovLiteral(u"nosuchprotocol::x"), program), LoadResult::kNotFound);
    EXPECT_EQ(program.commandCount(), 0);
}

// A peer that serves the bytes (after the request for "http"), then either
// closes or goes silent until the client has gone.
LoopbackServer::Handler servingProgram(bool http, std::string bytes, bool thenSilent) {
    return [http, bytes = std::move(bytes), thenSilent](int connection) {
        if (http) ovTestReceiveRequest(connection);
        ovTestSendAll(connection, bytes);
        if (thenSilent) ovTestReceiveAll(connection);
    };
}

TEST_F(LoadingTest, ANetworkProgramLoadsWholeOrNotAtAll) {
    struct Case {
        const char* protocol;
        std::string bytes;
        const char* commands;
    };
    const Case cases[] = {{"HTTP::", "HTTP/1.0 200 OK\r\n\r\n+<x\n.?", "+<.?"}, {"tcp::", "+<\n,", "+<,"}};
    ASSERT_EQ(SockSetDefaultTimeout(300), 1);
    for (const Case& c : cases) {
        for (const bool thenSilent : {false, true}) {
            LoopbackServer peer(servingProgram(c.protocol[0] == 'H', c.bytes, thenSilent));
            const std::string name = c.protocol + std::string("127.0.0.1:") + std::to_string(peer.port()) + "/p.txt";
            Program program;
            const LoadResult result = LoadProgram(ovTestAscii(name), program);
            EXPECT_EQ(result, thenSilent ? LoadResult::kNotFound : LoadResult::kLoaded) << name << thenSilent;
            if (!thenSilent) {
                EXPECT_EQ(commandsOf(program), c.commands) << name;
            }
        }
    }
    SockSetDefaultTimeout(0);
}

TEST_F(LoadingTest, RefusesProgramsBeyondTheCommandLimit) {
    Program program(5);
    EXPECT_EQ(LoadProgram(file("six.txt", "+++\n+++"), program), LoadResult::kTooLong);
    EXPECT_EQ(program.commandCount(), 5);
}

TEST(StandardModules, LinkTheFactoriesSoTheTextStreamIsAskedFirst) {
    bringUpModules();
    ovInitStandardModules();  // a second run changes nothing
    const ObjectClass* expected[] = {&TTextStreamFactoryType,   &THTTPStreamFactoryType, &TSocketStreamFactoryType,
                                     &TXEndianStreamFactoryType, &TRamStreamFactoryType,  &TBankStreamFactoryType};
    TStreamFactory* factory = factoryChain;
    for (const ObjectClass* cls : expected) {
        ASSERT_NE(static_cast<Object*>(factory), ovNull);
        EXPECT_EQ(factory->cls, cls) << factory->cls->scope->name;
        factory = factory->_succ;
    }
    EXPECT_EQ(static_cast<Object*>(factory), ovNull);
    EXPECT_NE(static_cast<Object*>(ConsoleStream), ovNull);
    int32_t count = 0;
    const ObjectClass* const* types = ovObjectRegisteredTypes(&count);
    EXPECT_NE(std::find(types, types + count, &TListType), types + count) << "the list module ran";
}

}  // namespace
