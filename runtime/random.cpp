#include "runtime/random.h"

#include "runtime/exception.h"
#include "runtime/numeric.h"

namespace {

constexpr int32_t kInitialState = 4660;
constexpr int32_t kModulus = 2147483647;  // 2^31 - 1
constexpr int32_t kMultiplier = 48271;
// Schrage's decomposition of the modulus: kModulus = kMultiplier * kQuotient + kRemainder.
constexpr int32_t kQuotient = 44488;
constexpr int32_t kRemainder = 3399;
static_assert(int64_t{kMultiplier} * kQuotient + kRemainder == kModulus);

int32_t state = kInitialState;

// One step of the generator.  For a state in 1 .. kModulus - 1 both products
// stay below 2^31, so nothing here can overflow.
int32_t step() {
    const int32_t next = kMultiplier * (state % kQuotient) - kRemainder * (state / kQuotient);
    state = next < 0 ? next + kModulus : next;
    return state;
}

// An Int in lower .. lower + span - 1, for a span of 1 up to 2^32.  The span
// is a Long so that bounds further apart than the Int range cannot wrap it.
int32_t pickFrom(int32_t lower, int64_t span) {
    const int64_t offset = ovLongFromDouble(RandomDouble() * static_cast<double>(span));
    return static_cast<int32_t>(lower + offset);
}

}  // namespace

void ovRandomModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] { ovCoreModuleInit(); });
}

float RandomFloat() {
    // 24 bits, exact in a Float, and below 2^28: the quotient is below 1.
    return static_cast<float>(step() & 0x0ffffff0) / 268435456.0f;
}

double RandomDouble() {
    // 27 bits of the first state above 26 bits of the second: 53 bits, exact
    // in a Double, and the largest value is still below 1.
    const int32_t high = step() & 0x1ffffffc;
    const int32_t low = step() & 0x1ffffff8;
    return (high + low / 134217728.0) / 536870912.0;
}

double RandomRange(double min, double max) {
    const double r = RandomDouble();
    if (max > min) return min + r * (max - min);
    return max + r * (min - max);
}

int32_t RandomInt(int32_t min, int32_t max) {
    const int64_t difference = int64_t{max} - min;
    if (difference > 0) return pickFrom(min, difference + 1);
    return pickFrom(max, 1 - difference);
}

int32_t SeedRandom(int32_t seed) {
    const int32_t bits = seed & 0x7fffffff;
    state = (bits == 0 || bits == kModulus) ? kInitialState : bits;
    return 0;
}

int32_t RandomSeed() { return state; }
