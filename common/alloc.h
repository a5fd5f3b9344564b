// Buffers the driver code allocates for itself go through LocalAlloc, like the records that cross
// entry points: one allocator, so an allocation failure behaves the same for every buffer and tests
// can make any of them fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "common/platform.h"

struct LocalDeleter {
  void operator()(void* p) const {
    if (p) LocalFree(p);
  }
};

template <class T>
using LocalArray = std::unique_ptr<T[], LocalDeleter>;

// An uninitialised array of `count` elements, or empty when there is no memory (or the size
// overflows). Only for plain element types: nothing is constructed.
template <class T>
LocalArray<T> AllocArray(size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
  if (count > SIZE_MAX / sizeof(T)) return LocalArray<T>();
  const size_t bytes = count * sizeof(T);
  return LocalArray<T>(static_cast<T*>(LocalAlloc(LMEM_FIXED, bytes ? bytes : 1)));
}
