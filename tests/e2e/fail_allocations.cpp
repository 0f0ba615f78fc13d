// Preloaded into a program (LD_PRELOAD): every array of more than
// GLINTOR_FAIL_ALLOCATIONS_OVER bytes fails to allocate, as when the memory
// runs out after the picture was read. The C libraries' allocations and
// single objects still work.

#include <cstdlib>
#include <new>

void* operator new[](std::size_t size) {
  static const char* const over = std::getenv("GLINTOR_FAIL_ALLOCATIONS_OVER");
  if (over != nullptr && size > std::strtoull(over, nullptr, 10)) throw std::bad_alloc();
  return ::operator new(size);
}
