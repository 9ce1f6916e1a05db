#include "ttByteStream.h"

#include <cstring>  // std::memcpy

ttByteStream::ttByteStream() : data(nullptr), position(0), size(0), last(0) {}

ttByteStream::~ttByteStream() = default;

void ttByteStream::Attach(const std::uint8_t* bytes, std::uint32_t count) {
  data = bytes;
  position = 0;
  size = count;
}

std::uint32_t ttByteStream::Read(void* destination, std::uint32_t n) {
  if (position >= size)
    return 0;
  const std::uint32_t left = size - position;
  const std::uint32_t count = n < left ? n : left;
  last = count;
  if (count != 0)
    std::memcpy(destination, data + position, count);
  position += count;
  return count;
}

bool ttByteStream::Skip(std::uint32_t n) {
  if (n == 0)
    return true;
  if (position >= size)
    return false;
  const std::uint32_t left = size - position;
  const std::uint32_t count = n < left ? n : left;
  last = count;
  position += count;
  return count == n;
}
