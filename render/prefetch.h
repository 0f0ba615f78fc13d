#pragma once

#include <cstddef>
#include <cstdint>

// Asks for the cache line of base + byteOffset, an address that may lie
// outside the buffer: a prefetch never faults.
inline void PrefetchLine(const void* base, std::ptrdiff_t byteOffset, bool forWriting) {
  const auto address = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) +
                                                     static_cast<std::uintptr_t>(byteOffset));
  if (forWriting) {
    __builtin_prefetch(address, 1);
  } else {
    __builtin_prefetch(address, 0);
  }
}
