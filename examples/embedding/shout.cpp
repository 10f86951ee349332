// shout: prints every line of a file in upper case, reading it through the
// runtime's streams, so "utf8::notes.txt" works as well as a plain name.
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/process.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "streams/factory.h"
#include "streams/stdio.h"
#include "streams/stream.h"
#include "streams/textstream.h"
#include "system/clib/clib.h"
#include "system/filesystem/filesystem.h"

namespace {

// Start-up makes the executable's directory the working one, so a relative
// name is taken from where the program was started.
String* fromStartDirectory(String* name) {
    if (PathIsAbsolute(name)) return name;
    return ovStringConcat(ovStringConcat(ovStartDirectory, ovLiteral(u"/")), name);
}

int32_t shout() {
    ovFileSystemModuleInit();
    ovTextStreamModuleInit();
    ovStdioModuleInit();
    if (ovAppArguments->count() < 2) {
        PrintLine(ovLiteral(u"usage: shout FILE"));
        ovEndWithStatus(2);
    }
    String* name = ovAppArguments->elements<String*>()[1];
    String* protocolOrPath = ovStringFind(name, ovLiteral(u"::"), 0) < 0 ? fromStartDirectory(name) : name;
    TStream* stream = StreamOpenRead(protocolOrPath);
    if (stream == ovNullOf<TStream>()) {
        PrintLine(ovStringConcat(ovLiteral(u"shout: cannot open "), name));
        ovEndWithStatus(1);
    }
    ovStreamCloser closer(stream);
    while (stream->Eof() == 0) PrintLine(ovStringToUpper(stream->ReadLine()));
    closer.close();
    ovEnd();
}

}  // namespace

int main(int argc, char** argv) {
    ovSetApplicationEntry(shout);
    ovSetPlatformTextDecoder(ovStringFromPlatform);
    return ovEntry(argc, argv);
}
