// Every module runs its own initialiser at most once and first runs those of
// the modules it imports, so the order below is the order in which modules
// run for the first time after the interpreter's own imports (core, file
// system, string helpers).  It fixes the stream factory chain too: each new
// factory goes to the head of the chain, so the ones created here are asked
// in the reverse order (text stream, HTTP, socket stream, endian stream, RAM
// stream, bank stream).
#include "app/modules.h"

#include "net/httpstream.h"
#include "net/socket.h"
#include "net/socketstream.h"
#include "runtime/random.h"
#include "runtime/strhelp.h"
#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/ramstream.h"
#include "streams/stdio.h"
#include "system/filesystem/filesystem.h"

namespace {

// Modules of the library that this build does not carry yet keep their
// place in the order, so that adding one cannot reorder the others.
void endianStreamModuleInit() {}
void linkedListModuleInit() {}

}  // namespace

void ovInitStandardModules() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovRandomModuleInit();
        ovBankModuleInit();
        ovSocketModuleInit();
        ovRamStreamModuleInit();
        ovBankStreamModuleInit();
        endianStreamModuleInit();
        ovSocketStreamModuleInit();
        ovHttpStreamModuleInit();
        ovStdioModuleInit();
        linkedListModuleInit();
        ovFileSystemModuleInit();
    });
}

void ovRegisterStandardModules() { ovSetUmbrellaInitializer(ovInitStandardModules); }
