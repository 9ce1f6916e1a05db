#pragma once
// Owned, exactly sized byte block. Every event's bytes and the output image
// live in one. Fields are public: the model, the writer and the tempo code read
// and patch bytes in place.

#include <cstdint>

class ttByteArray {
 public:
  ttByteArray();
  // A copy owns a block of exactly `length` bytes (capacity == length); a copy
  // of an empty array holds no block.
  ttByteArray(const ttByteArray& other);
  ttByteArray& operator=(const ttByteArray& other);
  virtual ~ttByteArray();

  // Sets the length to n and manages the block by mode:
  //   0 set length (n == 0: as 6, else as 2)   1 release
  //   2 allocate or fit                         3 fit (grow as 5)
  //   4 allocate fresh                          5 reallocate keeping old bytes
  //   6 and above: release if held
  // Allocations are always of exactly n bytes; there is no reserve.
  void Resize(std::uint32_t n, int mode);

  // Resize(k + n, 0), then copy n bytes from src to positions k .. k + n - 1.
  void Store(const void* src, std::uint32_t n, std::uint32_t k);

  std::uint8_t* data;
  std::uint32_t length;
  std::uint32_t capacity;
};
