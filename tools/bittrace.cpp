// bittrace: runs a bit-tape program on the interpreter's machine and shows
// each command it carries out.
//
//   bittrace examples/jump.txt
//   bittrace --from 100 --every 10 --steps 1000 prog.txt < input.txt
//
// The command line is read before the runtime starts, so --help and its
// mistakes need nothing of it; the program file is then loaded as bitrun
// loads it, from the runtime's own decoded argument.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/interpreter.h"
#include "runtime/array.h"
#include "runtime/process.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tools/trace.h"
#include "tools/usage.h"

namespace {

TraceCommandLine commandLine;

[[noreturn]] void fail(const std::string& problem) {
    std::cout.flush();
    std::fprintf(stderr, "bittrace: %s\n", problem.c_str());
    ovEndWithStatus(1);
}

// As bitrun reads for ",", once the trace so far is out, since the user may
// be answering it.
int32_t readLineCode() {
    std::cout.flush();
    return ovStringAsc(ovReadStdin());
}

int32_t traceEntry() {
    InitInterpreterModules();
    Program program;
    const std::string problem = LoadToolProgram(commandLine.programArgument, commandLine.programFile, program);
    if (!problem.empty()) fail(problem);
    const TraceEnd end = TraceProgram(program, commandLine.options, readLineCode, std::cout);
    if (!std::cout.flush()) fail("cannot write standard output");
    ovEndWithStatus(end == TraceEnd::kTapeLimit ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
    commandLine = ParseTraceArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!commandLine.error.empty()) return ReportUsageError("bittrace", commandLine.error);
    if (commandLine.help) return PrintUsage(kTraceUsage);
    ovSetApplicationEntry(traceEntry);
    ovSetPlatformTextDecoder(ovStringFromPlatform);
    return ovEntry(argc, argv);
}
