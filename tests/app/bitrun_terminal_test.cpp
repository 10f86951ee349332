// bitrun at a terminal: the prompts wait for the user, end of input there
// ends the run quietly, and "." output appears as it is produced.
#include <gtest/gtest.h>

#include "bitrun_process.h"
#include "tools/textprog.h"

namespace {

TEST(BitrunTerminal, TheClosingPromptWaitsForEnter) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("hi.txt", ProgramPrinting("hi"));
    TerminalSession session({program}, scratch.path());
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitFor("Execution complete.\r\n>"));
    EXPECT_NE(session.screen().find("Executing " + program + "\r\n\r\nhi\r\n\r\n"), std::string::npos);
    session.type("\n");
    EXPECT_EQ(session.finish(), 0);
}

TEST(BitrunTerminal, EndOfInputAtTheClosingPromptEndsNormallyWithoutError) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("hi.txt", ProgramPrinting("hi"));
    TerminalSession session({program}, scratch.path());
    ASSERT_TRUE(session.waitFor(">"));
    session.type("\x04");
    EXPECT_EQ(session.finish(), 0);
    EXPECT_EQ(session.screen().find("Error"), std::string::npos) << session.screen();
}

TEST(BitrunTerminal, TheMissingFilePromptAcceptsEnterOrEndOfInput) {
    ovTestTempDir scratch;
    for (const std::string key : {"\n", "\x04"}) {
        TerminalSession session({"missing.txt"}, scratch.path());
        ASSERT_TRUE(session.waitFor("Could not load missing.txt\r\n>"));
        session.type(key);
        EXPECT_EQ(session.finish(), 1);
        EXPECT_EQ(session.screen().find("Error"), std::string::npos) << session.screen();
    }
}

// Each character reaches the terminal at once; the program then waits on
// "," for the line the user types.
TEST(BitrunTerminal, OutputAppearsBeforeTheProgramWaitsForInput) {
    ovTestTempDir scratch;
    const std::string program = scratch.file("ask.txt", ProgramPrinting("name?") + ",.");
    TerminalSession session({program}, scratch.path());
    ASSERT_TRUE(session.waitFor("name?"));
    session.type("B\n");
    ASSERT_TRUE(session.waitFor("Execution complete.\r\n>"));
    EXPECT_NE(session.screen().find("name?B\r\n"), std::string::npos) << session.screen();
    session.type("\n");
    EXPECT_EQ(session.finish(), 0);
}

}  // namespace
