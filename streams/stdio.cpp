// Standard I/O: TCStandardIO, ConsoleStream, PrintLine and InputLine.
#include "streams/stdio.h"

#include <cerrno>
#include <cstdio>

#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/cfile_io_internal.h"
#include "streams/load_save.h"
#include "streams/stream_scope_internal.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"

ovRef<TTextStream> ConsoleStream = {ovNullOf<TTextStream>()};

namespace {

// The C library drops what it could not write, so the first failure is
// remembered with its reason for the program to report.
int outputError = 0;

void noteOutputFailure() {
    if (outputError == 0) outputError = errno != 0 ? errno : EIO;
}

constexpr ovScopeEntry standardEntries[] = {
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovStreamEntry::Flush,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TCStandardIOScope = {OV_SCOPE_CLASS, "TCStandardIO", standardEntries};

int32_t TCStandardIOFlush(TIO*) {
    if (std::fflush(ovStdout) == 0) return 0;
    noteOutputFailure();
    return -1;
}

int32_t TCStandardIORead(TIO*, uint8_t* buf, int32_t count) {
    if (count <= 0) return 0;
    return ovCFileRead(ovStdin, buf, count);
}

int32_t TCStandardIOWrite(TIO*, const uint8_t* buf, int32_t count) {
    if (count <= 0) return 0;
    const int32_t written = ovCFileWrite(ovStdout, buf, count);
    if (written < count) noteOutputFailure();
    return written;
}

int ConsoleOutputError() { return outputError; }

int32_t PrintLine(String* text) {
    ConsoleStream->WriteLine(text);
    ConsoleStream->Flush();
    return 0;
}

String* InputLine(String* prompt) {
    ConsoleStream->WriteString(prompt);
    ConsoleStream->Flush();
    return ConsoleStream->ReadLine();
}

void ovStdioModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStreamModuleInit();
        ovTextStreamModuleInit();
        ovObjectRegisterType(&TCStandardIOType);
        ConsoleStream.set(TTextStreamCreate(ovNew<TCStandardIO>(&TCStandardIOType), TTextStream::UTF8));
    });
}
