// Number parsing and formatting: arbitrary text parses to an Int, Long,
// Float and Double without harm, and every value, parsed or taken from the
// input's bits, is formatted to a text that parses back to itself.
#include <cmath>
#include <cstring>

#include "fuzz/fuzz_support.h"

namespace {

template <class T>
T bitsOf(const uint8_t* data, size_t size) {
    T value{};
    std::memcpy(&value, data, std::min(size, sizeof value));
    return value;
}

template <class T>
bool sameNumber(T a, T b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

void checkInt(int32_t value) { OV_FUZZ_CHECK(ovStringToInt(ovStringFromInt(value)) == value); }
void checkLong(int64_t value) { OV_FUZZ_CHECK(ovStringToLong(ovStringFromLong(value)) == value); }
void checkFloat(float value) { OV_FUZZ_CHECK(sameNumber(ovStringToFloat(ovStringFromFloat(value)), value)); }
void checkDouble(double value) { OV_FUZZ_CHECK(sameNumber(ovStringToDouble(ovStringFromDouble(value)), value)); }

}  // namespace

const size_t ovFuzzMaxInput = 4096;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    String* text = ovStringFromBytes(data, static_cast<int32_t>(size));
    checkInt(ovStringToInt(text));
    checkLong(ovStringToLong(text));
    checkFloat(ovStringToFloat(text));
    checkDouble(ovStringToDouble(text));
    checkInt(bitsOf<int32_t>(data, size));
    checkLong(bitsOf<int64_t>(data, size));
    checkFloat(bitsOf<float>(data, size));
    checkDouble(bitsOf<double>(data, size));
}
