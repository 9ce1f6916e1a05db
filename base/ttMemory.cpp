#include "ttMemory.h"

#include <new>  // ::operator new

std::uint8_t* ttAllocateBytes(std::uint32_t n) {
  return static_cast<std::uint8_t*>(::operator new(n));
}

void ttReleaseBytes(std::uint8_t* block, std::uint32_t /*n*/) {
  ::operator delete(block);
}
