#pragma once
// Where byte blocks and the model's list nodes come from. Kept behind these
// functions so that the block source can change without touching the byte
// array's rules: every block is still exactly n bytes.
//
// A file of tens of millions of events holds two small blocks per event, a
// list node and a byte block of two to four bytes. From the C library's
// allocator they would cost some 96 bytes an event in headers and rounding;
// here small blocks are cut one after the other from large chunks instead,
// with no header and no padding beyond the node's alignment. A chunk counts
// the blocks it handed out and goes back when the last one returns, so
// clearing a sequence gives its memory back whatever order the blocks come in.
//
// Not thread-safe: one thread does all the work (the model has application-
// wide objects anyway).

#include <cstddef>
#include <cstdint>

// n bytes, n may be 0. Throws std::bad_alloc when there is no memory.
std::uint8_t* ttAllocateBytes(std::uint32_t n);
// `n` is the size the block was allocated with.
void ttReleaseBytes(std::uint8_t* block, std::uint32_t n);

// A block of n bytes aligned to `alignment` (a power of two, at most 16) for
// a container node. Throws std::bad_alloc when there is no memory.
void* ttAllocateNode(std::size_t n, std::size_t alignment);
// `n` is the size the node was allocated with.
void ttReleaseNode(void* node, std::size_t n);

// The standard allocator interface over ttAllocateNode, for the model's lists:
// nodes are allocated one at a time and all instances are interchangeable, so
// lists can splice and merge between each other.
template <typename T>
class ttPoolAllocator {
 public:
  using value_type = T;

  ttPoolAllocator() noexcept = default;
  template <typename U>
  ttPoolAllocator(const ttPoolAllocator<U>& /*other*/) noexcept {}  // NOLINT: rebinding
  ttPoolAllocator(const ttPoolAllocator&) noexcept = default;
  ttPoolAllocator& operator=(const ttPoolAllocator&) noexcept = default;
  virtual ~ttPoolAllocator() = default;

  static_assert(alignof(T) <= 16, "nodes are aligned to at most 16 bytes");

  T* allocate(std::size_t n) { return static_cast<T*>(ttAllocateNode(n * sizeof(T), alignof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { ttReleaseNode(p, n * sizeof(T)); }

  template <typename U>
  bool operator==(const ttPoolAllocator<U>& /*other*/) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const ttPoolAllocator<U>& /*other*/) const noexcept {
    return false;
  }
};
