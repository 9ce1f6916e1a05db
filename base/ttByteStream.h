#pragma once
// Read cursor over borrowed bytes. Running out of bytes is not an error here:
// Read returns a short count and Skip returns false; the caller decides.

#include <cstdint>

class ttByteStream {
 public:
  ttByteStream();
  virtual ~ttByteStream();

  // Points the stream at a new range, position 0.
  void Attach(const std::uint8_t* bytes, std::uint32_t count);

  // Copies up to n bytes; returns the number copied (0 at the end, when
  // nothing changes). Sets `last` to the count whenever bytes were left.
  std::uint32_t Read(void* destination, std::uint32_t n);

  // True only when all n bytes were passed over. A short skip still moves to
  // the end of the range. Skip(0) is always true and changes nothing.
  bool Skip(std::uint32_t n);

  const std::uint8_t* data;
  std::uint32_t position;
  std::uint32_t size;
  std::uint32_t last;
};
