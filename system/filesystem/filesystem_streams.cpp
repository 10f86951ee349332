// The file system module's initialiser and its stream functions: copying a
// file, and opening files as streams.
#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/factory.h"
#include "streams/stream.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"

namespace {

constexpr int32_t kCopyBufferSize = 4096;

}  // namespace

void ovFileSystemModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStdCModuleInit();
        ovBankStreamModuleInit();
    });
}

// A write failure becomes the result 0.  Any other exception still goes to the
// caller, but only after both streams are closed, so that no handle is lost
// and what was written reaches the target.
int32_t FileDuplicate(String* from, String* to) {
    TStream* source = StreamOpenRead(from);
    if (source == ovNullStream()) return 0;
    ovStreamCloser sourceCloser(source);
    TStream* target = StreamOpenWrite(to);
    if (target == ovNullStream()) return 0;
    ovStreamCloser targetCloser(target);
    int32_t result = 0;
    OV_TRY {
        StreamCopyAll(source, target, kCopyBufferSize);
        result = 1;
    }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &TStreamWriteExceptionType)) ovThrow(e);
    }
    OV_END_TRY
    targetCloser.close();
    sourceCloser.close();
    return result;
}

// A stream that cannot seek is read whole into a bank and then closed: the
// caller only ever sees the memory stream, so nobody else could close it.
TStream* FileOpenStream(Object* url, int32_t readable, int32_t writeable) {
    TStream* stream = StreamOpen(url, readable, writeable);
    if (stream == ovNullStream() || stream->Pos() != -1) return stream;
    ovStreamCloser closer(stream);
    TBank* bank = TBankLoad(stream);
    closer.close();
    return TBankStreamCreate(bank);
}

TStream* FileOpenRead(Object* url) { return FileOpenStream(url, 1, 0); }

TStream* FileOpenWrite(Object* url) { return FileOpenStream(url, 0, 1); }

int32_t FileCloseStream(TStream* stream) {
    stream->Close();
    return 0;
}
