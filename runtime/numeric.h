// Numeric helpers: Long arithmetic and comparison, the Int and Double
// operations behind abs, sign, minimum, maximum and remainder, conversions
// between Int, Long and Double, and the power and floating remainder wrappers.
//
// All integer arithmetic wraps modulo 2^32 or 2^64; nothing here reports
// overflow.  The only operands that end the process are a zero divisor and the
// Int pair -2147483648 / -1 of ovIntMod: both go to the fault report as the
// processor's divide fault would, and are tested before dividing.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Long helpers
// ---------------------------------------------------------------------------

int64_t ovLongNeg(int64_t a);
int64_t ovLongNot(int64_t a);
// The most negative Long stays itself.
int64_t ovLongAbs(int64_t a);
int64_t ovLongSgn(int64_t a);
int64_t ovLongAdd(int64_t a, int64_t b);
int64_t ovLongSub(int64_t a, int64_t b);
int64_t ovLongMul(int64_t a, int64_t b);
// Quotient truncated toward zero; the most negative Long by -1 gives itself.
int64_t ovLongDiv(int64_t a, int64_t b);
// Remainder of the truncated division, with the sign of a (or 0).
int64_t ovLongMod(int64_t a, int64_t b);
int64_t ovLongMin(int64_t a, int64_t b);
int64_t ovLongMax(int64_t a, int64_t b);
int64_t ovLongAnd(int64_t a, int64_t b);
int64_t ovLongOr(int64_t a, int64_t b);
int64_t ovLongXor(int64_t a, int64_t b);
// Shifts use the low six bits of n only: 64 shifts by 0, 65 by 1.
int64_t ovLongShl(int64_t a, int32_t n);
int64_t ovLongShr(int64_t a, int32_t n);  // zero fill
int64_t ovLongSar(int64_t a, int32_t n);  // sign fill
// Signed comparisons: Int 1 or 0.
int32_t ovLongLt(int64_t a, int64_t b);
int32_t ovLongGt(int64_t a, int64_t b);
int32_t ovLongLe(int64_t a, int64_t b);
int32_t ovLongGe(int64_t a, int64_t b);
int32_t ovLongEq(int64_t a, int64_t b);
int32_t ovLongNe(int64_t a, int64_t b);
int64_t ovLongFromInt(int32_t a);
// Truncation toward zero; NaN, the infinities and values outside the Long
// range give the most negative Long.
int64_t ovLongFromDouble(double x);
// The Double nearest to a.
double ovLongToDouble(int64_t a);

// ---------------------------------------------------------------------------
// Int helpers
// ---------------------------------------------------------------------------

// -2147483648 stays itself.
int32_t ovIntAbs(int32_t a);
int32_t ovIntSgn(int32_t a);
// Remainder of the truncated division, with the sign of a.
int32_t ovIntMod(int32_t a, int32_t b);
int32_t ovIntMin(int32_t a, int32_t b);
int32_t ovIntMax(int32_t a, int32_t b);

// Wrapping Int arithmetic, for code that must not leave signed overflow to
// the compiler.
constexpr int32_t ovIntAddWrap(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t ovIntSubWrap(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
constexpr int32_t ovIntMulWrap(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
constexpr int32_t ovIntNegWrap(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// ---------------------------------------------------------------------------
// Double helpers
// ---------------------------------------------------------------------------

double ovDoubleAbs(double x);
// 1.0, -1.0, or 0.0 for zero of either sign and for NaN.
double ovDoubleSgn(double x);
// a when b > a, otherwise b: b for equal values and whenever either is NaN.
double ovDoubleMin(double a, double b);
// b when b >= a, otherwise a: b for equal values, a whenever either is NaN.
double ovDoubleMax(double a, double b);
double ovPow(double x, double y);
double ovFmod(double x, double y);
// Truncation toward zero; NaN, the infinities and values whose nearest
// integer lies outside the Int range give -2147483648.
int32_t ovDoubleToInt(double x);
