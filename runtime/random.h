// The random-number module: Park and Miller's minimal standard generator
// (multiplier 48271, modulus 2^31 - 1) over one process-wide state.
//
// The state starts at 4660 and is always in 1 .. 2147483646 after a step or a
// seeding, so the same seed always yields the same sequence.  The state is not
// locked: like the rest of the managed code it is used from the main thread.
#pragma once

#include <cstdint>

// The module's initialiser: runs once; the module imports only the core.
void ovRandomModuleInit();

// One step, then a Float in [0, 1) with 24 bits of the state.
float RandomFloat();
// Two steps, then a Double in [0, 1) built from 53 bits of the two states.
double RandomDouble();
// A Double between the two bounds in either order, the larger excluded.
double RandomRange(double min, double max);
// An Int between the two bounds in either order, both included.
int32_t RandomInt(int32_t min, int32_t max);
// Sets the state from the low 31 bits of seed; 0 and 0x7fffffff, which the
// generator cannot use, become 4660.  Returns 0.
int32_t SeedRandom(int32_t seed);
// The current state.
int32_t RandomSeed();
