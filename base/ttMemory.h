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
// A large file takes its memory from the system in large pieces, in whole
// huge pages where the system offers them (one page fault per 2 MiB instead
// of per 4 KiB, fewer address translations on every walk): its slabs, from
// the first one on once ttExpectPooledBytes has announced the load, and its
// large blocks and arrays. A small file touches a few pages of a small slab.
//
// Not thread-safe: one thread does all the work (the model has application-
// wide objects anyway).

#include <cstddef>
#include <cstdint>

// Announces that about n bytes of small blocks and nodes are about to be
// taken (a file is being read), so that slabs are large from the first one on
// when that is more than a small slab holds. A hint only: taking more or
// fewer is fine.
void ttExpectPooledBytes(std::uint64_t n);

// n bytes, n may be 0. Throws std::bad_alloc when there is no memory.
std::uint8_t* ttAllocateBytes(std::uint32_t n);
// `n` is the size the block was allocated with.
void ttReleaseBytes(std::uint8_t* block, std::uint32_t n);

// A block of n bytes aligned to `alignment` (a power of two, at most 16) for
// a container node. Throws std::bad_alloc when there is no memory.
void* ttAllocateNode(std::size_t n, std::size_t alignment);
// `n` is the size the node was allocated with.
void ttReleaseNode(void* node, std::size_t n);

// n bytes for an array: a block of its own, never pooled, in huge pages when
// large. Throws std::bad_alloc when there is no memory.
void* ttAllocateArray(std::size_t n);
// `n` is the size the array was allocated with.
void ttReleaseArray(void* block, std::size_t n);

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

// The standard allocator interface over ttAllocateArray, for the arrays that
// hold a few bytes for every event of a file.
template <typename T>
class ttArrayAllocator {
 public:
  using value_type = T;

  ttArrayAllocator() noexcept = default;
  template <typename U>
  ttArrayAllocator(const ttArrayAllocator<U>& /*other*/) noexcept {}  // NOLINT: rebinding
  ttArrayAllocator(const ttArrayAllocator&) noexcept = default;
  ttArrayAllocator& operator=(const ttArrayAllocator&) noexcept = default;
  virtual ~ttArrayAllocator() = default;

  T* allocate(std::size_t n) { return static_cast<T*>(ttAllocateArray(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { ttReleaseArray(p, n * sizeof(T)); }

  template <typename U>
  bool operator==(const ttArrayAllocator<U>& /*other*/) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const ttArrayAllocator<U>& /*other*/) const noexcept {
    return false;
  }
};
