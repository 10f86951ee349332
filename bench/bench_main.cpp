// Entry of every benchmark executable: the stack base is recorded first, as
// start-up does, so that collection passes run inside the benchmarks.
#include <benchmark/benchmark.h>

#include "runtime/exception.h"
#include "runtime/memory.h"

int main(int argc, char** argv) {
    ovGCSetStackBase();
    ovCoreModuleInit();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
