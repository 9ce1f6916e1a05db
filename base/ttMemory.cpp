#include "ttMemory.h"

#include <new>  // ::operator new, std::bad_alloc, std::align_val_t, std::nothrow

#if defined(__linux__)
#include <sys/mman.h>  // madvise
#endif

namespace {

// A chunk is aligned to its own size, so the chunk of any pooled block is
// found from the block's address alone and no block needs a header.
constexpr std::uintptr_t kChunkSize = std::uintptr_t{1} << 18;  // 256 KiB
// Chunks are cut from slabs taken from the C library's allocator in one
// aligned piece. A small file touches a few pages of one small slab.
constexpr std::uintptr_t kSmallSlabChunks = 64;  // 16 MiB
// A large file takes large slabs, in huge pages where the system has them.
// The GNU C library maps a block of 32 MiB or more on its own whatever it
// has learnt, and unmaps it when it is freed; and a block that outlives the
// rest of a load (StagingEvent's) keeps no more than one slab in memory.
constexpr std::uintptr_t kLargeSlabChunks = 128;  // 32 MiB
// Larger blocks (long sysex data, the file and output images) and arrays come
// straight from the C library's allocator, where one header is nothing beside
// the block.
constexpr std::size_t kLargestPooled = 4096;

// Large slabs and single blocks from kLargeBlock bytes on are taken in whole
// huge pages where the system has them: aligned to 2 MiB, rounded up to it,
// and marked for huge pages, which Linux otherwise gives only to processes
// that ask (transparent huge pages in "madvise" mode). The system then maps
// them with one page fault per 2 MiB touched instead of one per 4 KiB, and
// walks over them need far fewer address translations. Elsewhere (Windows)
// they are plain blocks, which the Windows heap reserves on their own with
// VirtualAlloc. Below kLargeBlock a rounded-up huge page would waste too
// large a share.
constexpr std::size_t kLargeBlock = std::size_t{8} << 20;
#if defined(MADV_HUGEPAGE)
constexpr std::size_t kLargeAlignment = std::size_t{1} << 21;
#else
constexpr std::size_t kLargeAlignment = kChunkSize;
#endif

// n bytes aligned to kLargeAlignment; nullptr when there is no memory (or,
// in a 32-bit process, no free address range that long).
void* TakeLarge(std::size_t n) noexcept {
  if (n > ~std::size_t{0} - kLargeAlignment)
    return nullptr;
#if defined(MADV_HUGEPAGE)
  n = (n + kLargeAlignment - 1) & ~(kLargeAlignment - 1);
#endif
  void* block = ::operator new (n, std::align_val_t{kLargeAlignment}, std::nothrow);
#if defined(MADV_HUGEPAGE)
  // Advice only: where it is refused, the block keeps small pages.
  if (block != nullptr)
    ::madvise(block, n, MADV_HUGEPAGE);
#endif
  return block;
}

void GiveLarge(void* block) noexcept {
  ::operator delete (block, std::align_val_t{kLargeAlignment});
}

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

// A record of its own, so that the slab's memory is all chunks; the list of
// slabs holds every slab's block by its start (leak checkers see it
// reachable).
struct Slab {
  Slab* previous;
  Slab* next;
  void* block;
  std::uintptr_t chunks;  // how many it holds
  std::uintptr_t carved;  // chunks handed out so far, in address order
  std::uintptr_t inUse;   // of those, chunks not in FreeChunks
};

struct Pool {
  Chunk* current;  // where blocks are cut
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
std::uintptr_t ChunksHeld = 0;      // in all slabs
std::uintptr_t ChunksExpected = 0;  // announced and not yet in a slab

Chunk* ChunkOf(const void* block) {
  return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(block) & ~(kChunkSize - 1));
}

Chunk* ChunkAt(const Slab* slab, std::uintptr_t i) {
  return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(slab->block) + i * kChunkSize);
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

// A small slab while what is held and announced fits in one; large ones
// beyond that, or at once when a large file was announced.
Slab* NewSlab() {
  Slab* slab = new Slab{nullptr, Slabs, nullptr, kSmallSlabChunks, 0, 0};
  if (ChunksHeld + ChunksExpected > kSmallSlabChunks) {
    slab->chunks = kLargeSlabChunks;
    slab->block = TakeLarge(kLargeSlabChunks * kChunkSize);
  }
  if (slab->block == nullptr) {
    // No room for a large one: a small one may still fit.
    const std::size_t bytes = kSmallSlabChunks * kChunkSize;
    slab->chunks = kSmallSlabChunks;
    slab->block = ::operator new (bytes, std::align_val_t{kChunkSize}, std::nothrow);
  }
  if (slab->block == nullptr) {
    delete slab;
    throw std::bad_alloc();
  }
  if (Slabs != nullptr)
    Slabs->previous = slab;
  Slabs = slab;
  ChunksHeld += slab->chunks;
  ChunksExpected = ChunksExpected > slab->chunks ? ChunksExpected - slab->chunks : 0;
  return slab;
}

void FreeSlab(Slab* slab) {
  if (slab->previous != nullptr) {
    slab->previous->next = slab->next;
  } else {
    Slabs = slab->next;
  }
  if (slab->next != nullptr)
    slab->next->previous = slab->previous;
  ChunksHeld -= slab->chunks;
  if (slab->chunks == kLargeSlabChunks) {
    GiveLarge(slab->block);
  } else {
    ::operator delete (slab->block, std::align_val_t{kChunkSize});
  }
  delete slab;
}

Chunk* NewChunk(Pool* pool) {
  Chunk* chunk = FreeChunks;
  if (chunk != nullptr) {
    Unlink(chunk);
  } else {
    if (CarvingSlab == nullptr || CarvingSlab->carved == CarvingSlab->chunks)
      CarvingSlab = NewSlab();
    Slab* slab = CarvingSlab;
    chunk = ChunkAt(slab, slab->carved);
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
// its slab goes back to the system once no chunk of it is in use.
void DropChunk(Chunk* chunk) {
  Slab* slab = chunk->slab;
  if (--slab->inUse == 0) {
    for (std::uintptr_t i = 0; i < slab->carved; ++i) {
      Chunk* other = ChunkAt(slab, i);
      if (other != chunk)
        Unlink(other);
    }
    if (CarvingSlab == slab)
      CarvingSlab = nullptr;
    FreeSlab(slab);
    return;
  }
  chunk->previousFree = nullptr;
  chunk->nextFree = FreeChunks;
  if (FreeChunks != nullptr)
    FreeChunks->previousFree = chunk;
  FreeChunks = chunk;
}

// Takes a new current chunk for the pool and cuts the block from it. The old
// one, if any, still holds blocks: the last of them to come back drops it.
void* CutFromNewChunk(Pool& pool, std::size_t n, std::uintptr_t alignMask) {
  Chunk* chunk = NewChunk(&pool);
  pool.current = chunk;
  pool.next = reinterpret_cast<std::uintptr_t>(chunk) + kHeaderSize;
  pool.end = reinterpret_cast<std::uintptr_t>(chunk) + kChunkSize;
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
  // Emptied while blocks are still cut from it: the pool lets it go too (its
  // next block takes it back first), so that a slab whose blocks have all
  // come back goes back to the system.
  Pool* pool = chunk->pool;
  if (pool->current == chunk)
    *pool = Pool{nullptr, 0, 0};
  DropChunk(chunk);
}

// Blocks above the pooled size, and arrays.
void* TakeWhole(std::size_t n) {
  if (n < kLargeBlock)
    return ::operator new(n);
  void* block = TakeLarge(n);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}

void GiveWhole(void* block, std::size_t n) {
  if (n < kLargeBlock) {
    ::operator delete(block);
  } else {
    GiveLarge(block);
  }
}

}  // namespace

void ttExpectPooledBytes(std::uint64_t n) {
  const std::uint64_t chunks = n / kChunkSize;
  const std::uint64_t most = ~std::uintptr_t{0} / 2;  // never wraps when added to
  ChunksExpected = static_cast<std::uintptr_t>(chunks < most ? chunks : most);
}

std::uint8_t* ttAllocateBytes(std::uint32_t n) {
  // A zero-byte block has no place inside a chunk of its own (its address
  // could be the next chunk's), so it comes from the C library.
  if (n == 0 || n > kLargestPooled)
    return static_cast<std::uint8_t*>(TakeWhole(n));
  return static_cast<std::uint8_t*>(Cut(BytePool, n, 0));
}

void ttReleaseBytes(std::uint8_t* block, std::uint32_t n) {
  if (n == 0 || n > kLargestPooled) {
    GiveWhole(block, n);
  } else {
    Give(block);
  }
}

void* ttAllocateNode(std::size_t n, std::size_t alignment) {
  if (n == 0 || n > kLargestPooled)
    return TakeWhole(n);
  return Cut(NodePool, n, alignment - 1);
}

void* ttAllocateArray(std::size_t n) {
  return TakeWhole(n);
}

void ttReleaseArray(void* block, std::size_t n) {
  GiveWhole(block, n);
}

void ttReleaseNode(void* node, std::size_t n) {
  if (n == 0 || n > kLargestPooled) {
    GiveWhole(node, n);
  } else {
    Give(node);
  }
}
