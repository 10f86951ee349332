#include "runtime/numeric.h"

#include <csignal>
#include <cmath>
#include <limits>

#include "runtime/fault.h"

namespace {

constexpr int64_t kLongMin = std::numeric_limits<int64_t>::min();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

constexpr int64_t fromBits(uint64_t bits) { return static_cast<int64_t>(bits); }
constexpr uint64_t bits(int64_t a) { return static_cast<uint64_t>(a); }

// Only the low six bits of a shift count take part.
constexpr unsigned shiftCount(int32_t n) { return static_cast<unsigned>(n) & 63u; }

// The processor's divide fault, reported before the division is attempted.
[[noreturn, gnu::cold, gnu::noinline]] void divideFault(int code) {
    ovFaultReport(SIGFPE, ovFaultName(SIGFPE, code, false));
}

void checkDivisor(int64_t b) {
    if (b == 0) [[unlikely]]
        divideFault(FPE_INTDIV);
}

}  // namespace

// ---------------------------------------------------------------------------
// Long helpers
// ---------------------------------------------------------------------------

int64_t ovLongNeg(int64_t a) { return fromBits(0u - bits(a)); }
int64_t ovLongNot(int64_t a) { return ~a; }
int64_t ovLongAbs(int64_t a) { return a < 0 ? ovLongNeg(a) : a; }
int64_t ovLongSgn(int64_t a) { return (a > 0) - (a < 0); }
int64_t ovLongAdd(int64_t a, int64_t b) { return fromBits(bits(a) + bits(b)); }
int64_t ovLongSub(int64_t a, int64_t b) { return fromBits(bits(a) - bits(b)); }
int64_t ovLongMul(int64_t a, int64_t b) { return fromBits(bits(a) * bits(b)); }

int64_t ovLongDiv(int64_t a, int64_t b) {
    checkDivisor(b);
    // The one quotient that does not fit: it wraps to the dividend itself.
    if (b == -1) return ovLongNeg(a);
    return a / b;
}

int64_t ovLongMod(int64_t a, int64_t b) {
    checkDivisor(b);
    // Every remainder by -1 is 0; a plain % would trap on the most negative Long.
    if (b == -1) return 0;
    return a % b;
}

int64_t ovLongMin(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t ovLongMax(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t ovLongAnd(int64_t a, int64_t b) { return a & b; }
int64_t ovLongOr(int64_t a, int64_t b) { return a | b; }
int64_t ovLongXor(int64_t a, int64_t b) { return a ^ b; }

// On 64 bits the word-pair rules for counts of 32 and more are exactly the
// native shifts by the count's low six bits.
int64_t ovLongShl(int64_t a, int32_t n) { return fromBits(bits(a) << shiftCount(n)); }
int64_t ovLongShr(int64_t a, int32_t n) { return fromBits(bits(a) >> shiftCount(n)); }
int64_t ovLongSar(int64_t a, int32_t n) { return a >> shiftCount(n); }

int32_t ovLongLt(int64_t a, int64_t b) { return a < b; }
int32_t ovLongGt(int64_t a, int64_t b) { return a > b; }
int32_t ovLongLe(int64_t a, int64_t b) { return a <= b; }
int32_t ovLongGe(int64_t a, int64_t b) { return a >= b; }
int32_t ovLongEq(int64_t a, int64_t b) { return a == b; }
int32_t ovLongNe(int64_t a, int64_t b) { return a != b; }

int64_t ovLongFromInt(int32_t a) { return a; }

int64_t ovLongFromDouble(double x) {
    // -2^63 and 2^63 are exact Doubles; NaN fails both tests.
    constexpr double kLimit = 9223372036854775808.0;
    if (x >= -kLimit && x < kLimit) return static_cast<int64_t>(x);
    return kLongMin;
}

double ovLongToDouble(int64_t a) { return static_cast<double>(a); }

// ---------------------------------------------------------------------------
// Int helpers
// ---------------------------------------------------------------------------

int32_t ovIntAbs(int32_t a) { return a < 0 ? ovIntNegWrap(a) : a; }
int32_t ovIntSgn(int32_t a) { return (a > 0) - (a < 0); }

int32_t ovIntMod(int32_t a, int32_t b) {
    checkDivisor(b);
    // The processor faults on this pair (its quotient does not fit) although
    // the remainder would be 0.
    if (a == kIntMin && b == -1) [[unlikely]]
        divideFault(FPE_INTOVF);
    return a % b;
}

int32_t ovIntMin(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t ovIntMax(int32_t a, int32_t b) { return b < a ? a : b; }

// ---------------------------------------------------------------------------
// Double helpers
// ---------------------------------------------------------------------------

double ovDoubleAbs(double x) { return std::fabs(x); }

double ovDoubleSgn(double x) {
    if (x > 0) return 1.0;
    if (x < 0) return -1.0;
    return 0.0;
}

double ovDoubleMin(double a, double b) { return b > a ? a : b; }
double ovDoubleMax(double a, double b) { return b >= a ? b : a; }
double ovPow(double x, double y) { return std::pow(x, y); }
double ovFmod(double x, double y) { return std::fmod(x, y); }

int32_t ovDoubleToInt(double x) {
    // Round to nearest (ties to even), as the processor's conversion does;
    // a NaN or a rounded value outside the Int range is its "integer
    // indefinite" result, the most negative Int.
    const double rounded = std::nearbyint(x);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return kIntMin;
    int32_t result = static_cast<int32_t>(rounded);
    // Step back toward zero when rounding went away from it.  Neither step can
    // leave the Int range: it moves the result toward zero.
    const float difference = static_cast<float>(x - rounded);
    if (x < 0 && difference > 0) result += 1;
    if (x >= 0 && difference < 0) result -= 1;
    return result;
}
