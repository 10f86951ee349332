// Standard I/O: TCStandardIO, ConsoleStream, PrintLine and InputLine.
#include "streams/stdio.h"

#include <cstdio>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/cfile_io_internal.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"

TTextStream* ConsoleStream = static_cast<TTextStream*>(ovNull);

namespace {

int32_t standardFlush(TIO*) {
    std::fflush(ovStdout);
    return 0;
}

// 0 at the end of input, which makes the whole-value reads of TStream throw.
int32_t standardRead(TIO*, uint8_t* buf, int32_t count) {
    if (count <= 0) return 0;
    return ovCFileRead(ovStdin, buf, count);
}

int32_t standardWrite(TIO*, const uint8_t* buf, int32_t count) {
    if (count <= 0) return 0;
    return ovCFileWrite(ovStdout, buf, count);
}

TStreamClass standardRecord{};

constexpr ovScopeEntry standardEntries[] = {
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    OV_METHOD_ENTRY(TIOClass, Flush, "()i"),
    OV_METHOD_ENTRY(TIOClass, Read, "(*b,i)i"),
    OV_METHOD_ENTRY(TIOClass, Write, "(*b,i)i"),
    ovScopeEndEntry,
};
constexpr ovScope standardScope = {OV_SCOPE_CLASS, "TCStandardIO", standardEntries};

void fillStandardRecord() {
    standardRecord = ovMakeClass<TStreamClass, TCStandardIO>(TStreamType, &standardScope, [](auto& r) {
        r.New = ovFieldlessNew<standardRecord>;
        r.Delete = ovChainDelete<standardRecord>;
        r.Flush = standardFlush;
        r.Read = standardRead;
        r.Write = standardWrite;
    });
}

}  // namespace

const TStreamClass& TCStandardIOType = standardRecord;

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
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    ovCoreModuleInit();
    ovStreamModuleInit();
    ovTextStreamModuleInit();
    fillStandardRecord();
    ovObjectRegisterType(&standardRecord);
    if (ConsoleStream == ovNull) {
        auto* standardIO = ovNew<TCStandardIO>(&standardRecord);
        ovStore(ConsoleStream, TTextStreamCreate(standardIO, TTextStream::UTF8));
    }
}
