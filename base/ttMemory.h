#pragma once
// Where byte blocks come from. Kept behind two functions so that the block
// source can change (for instance to an arena for very large files) without
// touching the byte array's rules: every block is still exactly n bytes.

#include <cstdint>

std::uint8_t* ttAllocateBytes(std::uint32_t n);
void ttReleaseBytes(std::uint8_t* block, std::uint32_t n);
