// Standard I/O: TCStandardIO, ConsoleStream, PrintLine and InputLine.
#include "streams/stdio.h"

#include <cstdio>

#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/cfile_io.h"
#include "streams/textstream.h"
#include "system/clib.h"

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

int32_t standardNew(Object* self) {
    TStreamNew(self);
    self->cls = &standardRecord;
    return 0;
}

int32_t standardDelete(Object* self) {
    self->cls = &TStreamType;
    return TStreamDelete(self);
}

constexpr ovScopeEntry standardEntries[] = {
    {OV_SCOPE_METHOD, "New", "()i", static_cast<intptr_t>(offsetof(ObjectClass, New))},
    {OV_SCOPE_METHOD, "Delete", "()i", static_cast<intptr_t>(offsetof(ObjectClass, Delete))},
    {OV_SCOPE_METHOD, "Flush", "()i", static_cast<intptr_t>(offsetof(TIOClass, Flush))},
    {OV_SCOPE_METHOD, "Read", "(*b,i)i", static_cast<intptr_t>(offsetof(TIOClass, Read))},
    {OV_SCOPE_METHOD, "Write", "(*b,i)i", static_cast<intptr_t>(offsetof(TIOClass, Write))},
    {OV_SCOPE_END, nullptr, nullptr, 0},
};
constexpr ovScope standardScope = {OV_SCOPE_CLASS, "TCStandardIO", standardEntries};

void fillStandardRecord() {
    ovDeriveClass(standardRecord, TStreamType, &standardScope, static_cast<int32_t>(sizeof(TCStandardIO)));
    standardRecord.New = standardNew;
    standardRecord.Delete = standardDelete;
    standardRecord.Flush = standardFlush;
    standardRecord.Read = standardRead;
    standardRecord.Write = standardWrite;
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
