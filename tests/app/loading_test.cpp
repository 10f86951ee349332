// The interpreter's side of loading: which file, through which stream, and
// the order in which the standard modules come up.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "app/interpreter.h"
#include "app/modules.h"
#include "collections/list.h"
#include "runtime/array.h"
#include "runtime/strhelp.h"
#include "runtime/string.h"
#include "streams/bankstream.h"
#include "streams/endianstream.h"
#include "streams/factory.h"
#include "streams/ramstream.h"
#include "streams/stdio.h"
#include "streams/textstream.h"
#include "system/filesystem/filesystem.h"

namespace {

std::u16string unitsOf(String* s) { return std::u16string(reinterpret_cast<const char16_t*>(s->units()), s->length); }

void bringUpModules() { InitInterpreterModules(); }

Array* argumentsOf(std::initializer_list<String*> elements) {
    Array* arguments = ovArrayNew1D("$", static_cast<int32_t>(elements.size()));
    int32_t i = 0;
    for (String* s : elements) ovStore(arguments->elements<String*>()[i++], s);
    return arguments;
}

TEST(ProgramFile, IsTheFirstArgumentAfterTheExecutableOrCodeTxt) {
    EXPECT_EQ(unitsOf(ChooseProgramFile(&ovEmptyArray)), u"code.txt");
    EXPECT_EQ(unitsOf(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun")}))), u"code.txt");
    EXPECT_EQ(unitsOf(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"a.txt")}))), u"a.txt");
    Array* two = argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"a.txt"), ovLiteral(u"b.txt")});
    EXPECT_EQ(unitsOf(ChooseProgramFile(two)), u"a.txt");
    EXPECT_EQ(ChooseProgramFile(argumentsOf({ovLiteral(u"bitrun"), &ovEmptyString}))->length, 0);
}

TEST(ProgramFile, NullElementsAreSkippedAndNotCounted) {
    Array* arguments = argumentsOf({ovLiteral(u"bitrun"), ovLiteral(u"x"), ovLiteral(u"y")});
    ovStore(arguments->elements<Object*>()[0], ovNull);
    EXPECT_EQ(unitsOf(ChooseProgramFile(arguments)), u"y");
}

class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        bringUpModules();
        char pattern[] = "/tmp/ov-load-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + directory_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    String* file(const std::string& name, const std::string& bytes) {
        const std::string path = directory_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return ovStringFromCString(path.c_str());
    }
    std::string commandsOf(const Program& program) {
        return std::string(reinterpret_cast<const char*>(program.commands()), static_cast<size_t>(program.commandCount()));
    }
    std::string directory_;
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

TEST_F(LoadingTest, ReportsMissingFilesAndDirectories) {
    Program program;
    EXPECT_EQ(LoadProgram(ovStringFromCString((directory_ + "/none.txt").c_str()), program), LoadResult::kNotFound);
    EXPECT_EQ(LoadProgram(ovStringFromCString(directory_.c_str()), program), LoadResult::kNotFound);
    EXPECT_EQ(LoadProgram(ovLiteral(u"nosuchprotocol::x"), program), LoadResult::kNotFound);
    EXPECT_EQ(program.commandCount(), 0);
}

TEST_F(LoadingTest, RefusesProgramsBeyondTheCommandLimit) {
    Program program(5);
    EXPECT_EQ(LoadProgram(file("six.txt", "+++\n+++"), program), LoadResult::kTooLong);
    EXPECT_EQ(program.commandCount(), 5);
}

TEST(StandardModules, LinkTheFactoriesSoTheTextStreamIsAskedFirst) {
    bringUpModules();
    ovInitStandardModules();  // a second run changes nothing
    const ObjectClass* expected[] = {&TTextStreamFactoryType, &TXEndianStreamFactoryType, &TRamStreamFactoryType,
                                     &TBankStreamFactoryType};
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
