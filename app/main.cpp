// bitrun's process entry: start-up runs the interpreter.
#include "app/interpreter.h"
#include "runtime/startup.h"
#include "system/clib/clib.h"

int main(int argc, char** argv) {
    ovSetApplicationEntry(InterpreterEntry);
    ovSetPlatformTextDecoder(ovStringFromPlatform);
    return ovEntry(argc, argv);
}
