#include "ttByteArray.h"

#include <cstring>  // std::memcpy

#include "ttMemory.h"

namespace {

// Most copies are of channel messages, two or three bytes: a few moves
// instead of a library call, as every event of a file is copied once.
void CopyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t n) {
  switch (n) {
    case 3:
      to[2] = from[2];
      [[fallthrough]];
    case 2:
      to[1] = from[1];
      [[fallthrough]];
    case 1:
      to[0] = from[0];
      [[fallthrough]];
    case 0:
      return;
    default:
      std::memcpy(to, from, n);
  }
}

}  // namespace

ttByteArray::ttByteArray() : data(nullptr), length(0), capacity(0) {}

ttByteArray::ttByteArray(const ttByteArray& other) : data(nullptr), length(0), capacity(0) {
  if (other.length != 0) {
    data = ttAllocateBytes(other.length);
    CopyBytes(data, other.data, other.length);
    length = capacity = other.length;
  }
}

ttByteArray& ttByteArray::operator=(const ttByteArray& other) {
  if (this != &other) {
    // Allocate before releasing, so that a failed allocation leaves this as it was.
    std::uint8_t* block = nullptr;
    if (other.length != 0) {
      block = ttAllocateBytes(other.length);
      std::memcpy(block, other.data, other.length);
    }
    if (data != nullptr)
      ttReleaseBytes(data, capacity);
    data = block;
    length = capacity = other.length;
  }
  return *this;
}

ttByteArray::~ttByteArray() {
  if (data != nullptr)
    ttReleaseBytes(data, capacity);
}

void ttByteArray::Resize(std::uint32_t n, int mode) {
  switch (mode) {
    case 0:
      Resize(n, n == 0 ? 6 : 2);
      return;
    case 2:
      if (data == nullptr) {
        Resize(n, 4);
      } else {
        Resize(n, 3);
      }
      return;
    case 3:
      if (n <= capacity) {
        length = n;
      } else {
        Resize(n, 5);
      }
      return;
    case 4: {
      // Meant for an array without a block; one that is held is given back
      // rather than leaked.
      std::uint8_t* block = ttAllocateBytes(n);
      if (data != nullptr)
        ttReleaseBytes(data, capacity);
      data = block;
      length = capacity = n;
      return;
    }
    case 5: {
      std::uint8_t* block = ttAllocateBytes(n);
      if (data != nullptr) {
        // Meant for growing; a shorter n keeps only what fits.
        std::memcpy(block, data, length < n ? length : n);
        ttReleaseBytes(data, capacity);
      }
      data = block;
      length = capacity = n;
      return;
    }
    default:  // 1, 6 and anything above: give the block back
      if (data != nullptr) {
        ttReleaseBytes(data, capacity);
        data = nullptr;
        capacity = 0;
      }
      length = n;
      return;
  }
}

void ttByteArray::Store(const void* src, std::uint32_t n, std::uint32_t k) {
  Resize(k + n, 0);
  if (n != 0)
    std::memcpy(data + k, src, n);
}
