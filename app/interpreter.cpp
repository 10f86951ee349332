#include "app/interpreter.h"

#include <cstring>

#include "app/machine.h"
#include "app/modules.h"
#include "app/output.h"
#include "net/socketstream.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/process.h"
#include "runtime/startup.h"
#include "runtime/strhelp.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "streams/stdio.h"
#include "streams/stream.h"
#include "system/filesystem/filesystem.h"

namespace {

// "." goes to the program output, "," reads a line of standard input, after
// all output so far has gone out, since the user may answer it.
class ConsoleIo final : public CommandIo {
public:
    void print(uint8_t code) override { ProgramOutputPut(code); }
    int32_t readCode() override {
        ProgramOutputFlush();
        return ovStringAsc(ovReadStdin());
    }
};

// The ">" prompt that waits for Enter.  End of input there is the user
// closing the console, not a failure: the run ends as it would have.
void awaitEnter() {
    OV_TRY { InputLine(ovLiteral(u">")); }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &TStreamReadExceptionType)) ovThrow(e);
    }
    OV_END_TRY
}

// Ends the process with the status once all output is out.  Output that
// never reached standard output (a full disk, a closed descriptor) makes the
// run a failure, reported as command-line tools report it.
[[noreturn]] void endRun(int32_t status) {
    const int lost = ProgramOutputFinish();
    if (lost != 0) {
        String* reason = ovStringFromCString(std::strerror(lost));
        ovWriteStderr(ovStringConcat(ovStringConcat(ovLiteral(u"bitrun: cannot write standard output: "), reason),
                                     ovLiteral(u"\n")));
        status = 1;
    }
    ovEndWithStatus(status);
}

// A program or tape beyond what Int positions can address is not run
// wrongly but refused.
[[noreturn]] void refuse(String* reason) {
    ProgramOutputFlush();
    ovWriteStderr(reason);
    endRun(1);
}

[[noreturn]] void reportNotLoaded(String* name) {
    PrintLine(ovStringConcat(ovLiteral(u"Could not load "), name));
    awaitEnter();
    endRun(1);
}

bool isPlainRelativeName(String* name) {
    if (ovStringFind(name, ovLiteral(u"::"), 0) >= 0) return false;
    String* path = name;
    PathNormalize(&path, 0);
    return PathIsAbsolute(path) == 0;
}

[[noreturn]] void runAndEnd(String* name, Program& program) {
    PrintLine(ovStringConcat(ovLiteral(u"Executing "), name));
    PrintLine(&ovEmptyString);
    ProgramOutputStart();
    ConsoleIo io;
    Machine machine(program);
    if (machine.run(io) == Machine::Outcome::kTapeTooLong)
        refuse(ovLiteral(u"bitrun: the tape would grow past 2147483647 cells\n"));
    ProgramOutputFlush();
    PrintLine(&ovEmptyString);
    PrintLine(&ovEmptyString);
    PrintLine(ovLiteral(u"Execution complete."));
    awaitEnter();
    endRun(0);
}

[[noreturn]] void loadAndRun(String* name) {
    Program program;
    switch (LoadProgram(name, program)) {
    case LoadResult::kNotFound: reportNotLoaded(name);
    case LoadResult::kTooLong: refuse(ovLiteral(u"bitrun: the program has more than 2147483647 commands\n"));
    case LoadResult::kLoaded: break;
    }
    runAndEnd(name, program);
}

}  // namespace

int32_t InterpreterEntry() {
    static bool entered = false;
    int32_t status = 0;
    ovModuleInitOnce(entered, [&status] {
        ovCoreModuleInit();
        status = RunInterpreter();
    });
    return status;
}

void InitInterpreterModules() {
    ovRegisterStandardModules();
    ovCoreModuleInit();
    ovFileSystemModuleInit();
    ovStrHelpModuleInit();
}

String* ChooseProgramFile(Array* arguments) {
    const int32_t n = arguments->count();
    String** elements = arguments->elements<String*>();
    int32_t counted = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (static_cast<Object*>(elements[i]) == ovNull) continue;
        if (++counted == 2) return elements[i];
    }
    return ovLiteral(u"code.txt");
}

TStream* OpenProgramFile(String* name) {
    TStream* stream = FileOpenRead(name);
    if (stream != ovNull || !isPlainRelativeName(name)) return stream;
    if (FileKind(name) != FILE_KIND_NONE || ovStringCompare(ovAppDirectory, ovStartDirectory) == 0) return stream;
    String* elsewhere = ovStringConcat(ovStringConcat(ovStartDirectory, ovLiteral(u"/")), name);
    return FileOpenRead(elsewhere);
}

namespace {

// A Read of nothing before the stream's end means the data stopped coming
// (a wait ran out, a read failed): what came is not the whole program.
LoadResult loadBlocks(TStream* stream, Program& program) {
    uint8_t block[65536];
    for (;;) {
        const int32_t n = stream->Read(block, sizeof block);
        if (n <= 0) return stream->Eof() != 0 ? LoadResult::kLoaded : LoadResult::kNotFound;
        if (!program.appendBytes(block, n)) return LoadResult::kTooLong;
    }
}

// One line is read even from an empty stream; Eof is asked after each.
LoadResult loadLines(TStream* stream, Program& program) {
    do {
        String* line = StreamReadLine(stream);
        if (!program.appendLine(line->units(), line->length)) return LoadResult::kTooLong;
    } while (StreamEof(stream) == 0);
    return LoadResult::kLoaded;
}

bool isNetworkName(String* name) {
    const int32_t end = ovStringFind(name, ovLiteral(u"::"), 0);
    if (end < 0) return false;
    String* protocol = ovStringToLower(ovStringSlice(name, 0, end));
    return ovStringCompare(protocol, ovLiteral(u"tcp")) == 0 || ovStringCompare(protocol, ovLiteral(u"http")) == 0;
}

// A connection is read as it is rather than copied into memory first, which
// would end at a wait that ran out as if the data had ended there.
TStream* openForLoading(String* name) { return isNetworkName(name) ? StreamOpen(name, 1, 0) : OpenProgramFile(name); }

}  // namespace

LoadResult LoadProgram(String* name, Program& program) {
    TStream* stream = openForLoading(name);
    if (stream == ovNull) return LoadResult::kNotFound;
    ovStreamCloser closer(stream);
    // Lines read as bytes drop only line ends, NULs and carriage returns,
    // none of them commands: reading blocks yields the same commands far
    // faster.
    const LoadResult result = ovReadsLinesAsBytes(stream) ? loadBlocks(stream, program) : loadLines(stream, program);
    closer.close();
    return result;
}

int32_t RunInterpreter() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        InitInterpreterModules();
        SockSetDefaultTimeout(kNetworkWaitMs);
        String* name = ChooseProgramFile(ovAppArguments);
        // A console write that fails outright (its buffer full and the flush
        // refused) throws; that too is output lost, not an internal error.
        OV_TRY { loadAndRun(name); }
        OV_CATCH(e) {
            if (!ovIsInstance(e, &TStreamWriteExceptionType) || ProgramOutputFinish() == 0) ovThrow(e);
            endRun(1);
        }
        OV_END_TRY
    });
    return 0;
}
