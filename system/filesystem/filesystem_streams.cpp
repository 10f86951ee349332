// The file system module's initialiser and its stream functions: copying a
// file, and opening files as streams.
#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "streams/stream.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"

namespace {

constexpr int32_t kCopyBufferSize = 4096;

// The content of a stream that cannot seek, read whole into memory.  A text
// stream's own Read is hexadecimal text, not the bytes it decodes: it keeps
// its encoding over a memory copy of the stream it wraps.
TStream* memoryCopy(TStream* stream) {
    auto* text = static_cast<TTextStream*>(ovObjectDowncast(stream, &TTextStreamType));
    if (text != ovNull) return TTextStreamCreate(memoryCopy(ovWrappedStream(text)), text->_encoding);
    return TBankStreamCreate(TBankLoad(stream));
}

}  // namespace

void ovFileSystemModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStdCModuleInit();
        ovBankStreamModuleInit();
    });
}

// A write failure, also one that shows only when the target is closed (a full
// disk with small data), becomes the result 0.  Any other exception still
// goes to the caller, but only after both streams are closed, so that no
// handle is lost and what was written reaches the target.
int32_t FileDuplicate(String* from, String* to) {
    TStream* source = StreamOpenRead(from);
    if (source == ovNullOf<TStream>()) return 0;
    ovStreamCloser sourceCloser(source);
    TStream* target = StreamOpenWrite(to);
    if (target == ovNullOf<TStream>()) return 0;
    ovStreamCloser targetCloser(target);
    int32_t result = 0;
    OV_TRY {
        StreamCopyAll(source, target, kCopyBufferSize);
        targetCloser.closeWritten();
        result = 1;
    }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &TStreamWriteExceptionType)) ovThrow(e);
    }
    OV_END_TRY
    sourceCloser.close();
    return result;
}

// A stream that cannot seek and is opened only for reading is read whole
// into memory and then closed: the caller only ever sees the memory copy, so
// nobody else could close it.  One opened for writing is handed back as it
// is, since writes into a copy would never reach the pipe.
TStream* FileOpenStream(Object* url, int32_t readable, int32_t writeable) {
    TStream* stream = StreamOpen(url, readable, writeable);
    if (stream == ovNullOf<TStream>() || writeable != 0 || stream->Pos() != -1) return stream;
    ovStreamCloser closer(stream);
    TStream* copy = memoryCopy(stream);
    closer.close();
    return copy;
}

TStream* FileOpenRead(Object* url) { return FileOpenStream(url, 1, 0); }

TStream* FileOpenWrite(Object* url) { return FileOpenStream(url, 0, 1); }

int32_t FileCloseStream(TStream* stream) {
    stream->Close();
    return 0;
}
