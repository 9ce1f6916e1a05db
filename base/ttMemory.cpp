#include "ttMemory.h"

#include <new>  // ::operator new, std::bad_alloc

namespace {

// A chunk is aligned to its own size, so the chunk of any pooled block is
// found from the block's address alone and no block needs a header.
constexpr std::uintptr_t kChunkSize = std::uintptr_t{1} << 18;  // 256 KiB
// Chunks are cut from slabs taken from the C library's allocator in one
// piece, so aligning them wastes one chunk's worth of address space per slab,
// not one per chunk (which a 32-bit process would feel).
constexpr std::uintptr_t kChunksPerSlab = 64;
// Larger blocks (long sysex data, the output image) come straight from the
// C library's allocator, where one header is nothing beside the block.
constexpr std::size_t kLargestPooled = 4096;

struct Slab;
struct Pool;

struct Chunk {
  std::size_t live;  // blocks handed out and not given back
  Pool* pool;        // the pool that cuts blocks from it
  Slab* slab;
  Chunk* previousFree;  // in FreeChunks while the chunk is unused
  Chunk* nextFree;
};
// The header keeps the first block aligned for any node.
constexpr std::uintptr_t kHeaderSize = (sizeof(Chunk) + 15) & ~std::uintptr_t{15};

// Kept at the very start of the block the C library gave, so that the list
// of slabs holds every block by its start (leak checkers see it reachable).
struct Slab {
  Slab* previous;
  Slab* next;
  std::uintptr_t first;   // address of the first aligned chunk
  std::uintptr_t carved;  // chunks handed out so far, in address order
  std::uintptr_t inUse;   // of those, chunks not in FreeChunks
};

struct Pool {
  Chunk* current;  // where blocks are cut; never released while current
  std::uintptr_t next;
  std::uintptr_t end;
};

// Byte blocks and nodes have pools of their own, so that the two- and three-
// byte blocks pack without the nodes' alignment padding between them.
Pool BytePool{nullptr, 0, 0};
Pool NodePool{nullptr, 0, 0};

Chunk* FreeChunks = nullptr;
Slab* Slabs = nullptr;
Slab* CarvingSlab = nullptr;

Chunk* ChunkOf(const void* block) {
  return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(block) & ~(kChunkSize - 1));
}

void Unlink(Chunk* chunk) {
  if (chunk->previousFree != nullptr) {
    chunk->previousFree->nextFree = chunk->nextFree;
  } else {
    FreeChunks = chunk->nextFree;
  }
  if (chunk->nextFree != nullptr)
    chunk->nextFree->previousFree = chunk->previousFree;
}

Chunk* NewChunk(Pool* pool) {
  Chunk* chunk = FreeChunks;
  if (chunk != nullptr) {
    Unlink(chunk);
  } else {
    if (CarvingSlab == nullptr || CarvingSlab->carved == kChunksPerSlab) {
      // The record, then slack up to the first aligned chunk.
      void* raw = ::operator new(
          static_cast<std::size_t>(sizeof(Slab) + (kChunksPerSlab + 1) * kChunkSize));
      const auto base = reinterpret_cast<std::uintptr_t>(raw);
      const std::uintptr_t first = (base + sizeof(Slab) + kChunkSize - 1) & ~(kChunkSize - 1);
      Slab* slab = static_cast<Slab*>(raw);
      *slab = Slab{nullptr, Slabs, first, 0, 0};
      if (Slabs != nullptr)
        Slabs->previous = slab;
      Slabs = slab;
      CarvingSlab = slab;
    }
    Slab* slab = CarvingSlab;
    chunk = reinterpret_cast<Chunk*>(slab->first + slab->carved * kChunkSize);
    ++slab->carved;
    chunk->slab = slab;
  }
  ++chunk->slab->inUse;
  chunk->live = 0;
  chunk->pool = pool;
  chunk->previousFree = nullptr;
  chunk->nextFree = nullptr;
  return chunk;
}

// A chunk without blocks that is no pool's current chunk: reused first, and
// its slab goes back to the C library once no chunk of it is in use.
void DropChunk(Chunk* chunk) {
  Slab* slab = chunk->slab;
  if (--slab->inUse == 0) {
    for (std::uintptr_t i = 0; i < slab->carved; ++i) {
      Chunk* other = reinterpret_cast<Chunk*>(slab->first + i * kChunkSize);
      if (other != chunk)
        Unlink(other);
    }
    if (CarvingSlab == slab)
      CarvingSlab = nullptr;
    if (slab->previous != nullptr) {
      slab->previous->next = slab->next;
    } else {
      Slabs = slab->next;
    }
    if (slab->next != nullptr)
      slab->next->previous = slab->previous;
    ::operator delete(slab);
    return;
  }
  chunk->previousFree = nullptr;
  chunk->nextFree = FreeChunks;
  if (FreeChunks != nullptr)
    FreeChunks->previousFree = chunk;
  FreeChunks = chunk;
}

// Takes a new current chunk for the pool and cuts the block from it.
void* CutFromNewChunk(Pool& pool, std::size_t n, std::uintptr_t alignMask) {
  Chunk* old = pool.current;
  Chunk* chunk = NewChunk(&pool);
  pool.current = chunk;
  pool.next = reinterpret_cast<std::uintptr_t>(chunk) + kHeaderSize;
  pool.end = reinterpret_cast<std::uintptr_t>(chunk) + kChunkSize;
  // An old current chunk whose blocks all came back while it was current
  // has nobody left to drop it.
  if (old != nullptr && old->live == 0)
    DropChunk(old);
  const std::uintptr_t at = (pool.next + alignMask) & ~alignMask;
  ++chunk->live;
  pool.next = at + n;
  return reinterpret_cast<void*>(at);
}

// A pool without a chunk has next == end == 0, so its first block also takes
// the slow way.
inline void* Cut(Pool& pool, std::size_t n, std::uintptr_t alignMask) {
  const std::uintptr_t at = (pool.next + alignMask) & ~alignMask;
  if (at + n > pool.end)
    return CutFromNewChunk(pool, n, alignMask);
  ++pool.current->live;
  pool.next = at + n;
  return reinterpret_cast<void*>(at);
}

void Give(void* block) {
  Chunk* chunk = ChunkOf(block);
  if (--chunk->live != 0)
    return;
  Pool* pool = chunk->pool;
  if (pool->current == chunk) {
    // Emptied while blocks are still cut from it: start it over.
    pool->next = reinterpret_cast<std::uintptr_t>(chunk) + kHeaderSize;
  } else {
    DropChunk(chunk);
  }
}

}  // namespace

std::uint8_t* ttAllocateBytes(std::uint32_t n) {
  // A zero-byte block has no place inside a chunk of its own (its address
  // could be the next chunk's), so it comes from the C library.
  if (n == 0 || n > kLargestPooled)
    return static_cast<std::uint8_t*>(::operator new(n));
  return static_cast<std::uint8_t*>(Cut(BytePool, n, 0));
}

void ttReleaseBytes(std::uint8_t* block, std::uint32_t n) {
  if (n == 0 || n > kLargestPooled) {
    ::operator delete(block);
  } else {
    Give(block);
  }
}

void* ttAllocateNode(std::size_t n, std::size_t alignment) {
  if (n == 0 || n > kLargestPooled)
    return ::operator new(n);
  return Cut(NodePool, n, alignment - 1);
}

void ttReleaseNode(void* node, std::size_t n) {
  if (n == 0 || n > kLargestPooled) {
    ::operator delete(node);
  } else {
    Give(node);
  }
}
