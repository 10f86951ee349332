// Shared by the array tests: arrays made from vectors and their elements read
// back.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/array.h"

using Ints = std::vector<int32_t>;

// A one-dimensional array of the tag holding the values' bytes.
template <class T>
Array* arrayOf(const char* tag, const std::vector<T>& values) {
    Array* array = ovArrayNew1D(tag, static_cast<int32_t>(values.size()));
    std::memcpy(array->elements<T>(), values.data(), values.size() * sizeof(T));
    return array;
}

template <class T = int32_t>
std::vector<T> contentsOf(Array* array) {
    return {array->elements<T>(), array->elements<T>() + array->count()};
}

inline Array* ints(const Ints& values) { return arrayOf("i", values); }
