// Every module runs its own initialiser at most once and first runs those of
// the modules it imports, so the order below is the order in which modules
// run for the first time after the interpreter's own imports (core, file
// system, string helpers).  It fixes the stream factory chain too: each new
// factory goes to the head of the chain, so the ones created here are asked
// in the reverse order (text stream, HTTP, socket stream, endian stream, RAM
// stream, bank stream).
#include "app/modules.h"

#include "collections/list.h"
#include "net/httpstream.h"
#include "net/socket.h"
#include "net/socketstream.h"
#include "runtime/random.h"
#include "runtime/strhelp.h"
#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/endianstream.h"
#include "streams/ramstream.h"
#include "streams/stdio.h"
#include "system/filesystem/filesystem.h"

void ovInitStandardModules() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovRandomModuleInit();
        ovBankModuleInit();
        ovSocketModuleInit();
        ovRamStreamModuleInit();
        ovBankStreamModuleInit();
        ovEndianStreamModuleInit();
        ovSocketStreamModuleInit();
        ovHttpStreamModuleInit();
        ovStdioModuleInit();
        ovLinkedListModuleInit();
        ovFileSystemModuleInit();
    });
}

void ovRegisterStandardModules() { ovSetUmbrellaInitializer(ovInitStandardModules); }
