#pragma once
// Unsigned 128-bit numbers for exact timing: a tick (32 bits) times a tempo
// (24 bits) times a division (15 bits) and a factor 2 for rounding needs 72
// bits. The same code runs on every build, 32-bit Windows included, where
// the compiler has no 128-bit type.

#include <cstdint>

struct ttUint128 {
  std::uint64_t high;
  std::uint64_t low;
};

inline bool operator<(const ttUint128& a, const ttUint128& b) {
  return a.high < b.high || (a.high == b.high && a.low < b.low);
}

// a * b, exactly.
inline ttUint128 MultiplyWide(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aLow = a & 0xFFFFFFFFu;
  const std::uint64_t aHigh = a >> 32;
  const std::uint64_t bLow = b & 0xFFFFFFFFu;
  const std::uint64_t bHigh = b >> 32;
  const std::uint64_t lowLow = aLow * bLow;
  const std::uint64_t highLow = aHigh * bLow;
  const std::uint64_t lowHigh = aLow * bHigh;
  const std::uint64_t highHigh = aHigh * bHigh;
  // The middle column: each partial product's low half plus the carry out of
  // the lowest column; at most 3 * (2^32 - 1), so it cannot overflow.
  const std::uint64_t middle = (lowLow >> 32) + (highLow & 0xFFFFFFFFu) + (lowHigh & 0xFFFFFFFFu);
  return ttUint128{highHigh + (highLow >> 32) + (lowHigh >> 32) + (middle >> 32),
                   (middle << 32) | (lowLow & 0xFFFFFFFFu)};
}

// a + b, modulo 2^128.
inline ttUint128 AddWide(const ttUint128& a, const ttUint128& b) {
  const std::uint64_t low = a.low + b.low;
  return ttUint128{a.high + b.high + (low < a.low ? 1u : 0u), low};
}

// a - b, modulo 2^128.
inline ttUint128 SubtractWide(const ttUint128& a, const ttUint128& b) {
  return ttUint128{a.high - b.high - (a.low < b.low ? 1u : 0u), a.low - b.low};
}

// x / d and x % d for d > 0. False, with nothing stored, when the quotient
// does not fit in 64 bits. Bit by bit: only times far beyond the 64-bit
// fast paths of the callers come here.
inline bool DivideWide(const ttUint128& x, std::uint64_t d, std::uint64_t* quotient,
                       std::uint64_t* remainder) {
  if (x.high >= d)
    return false;
  std::uint64_t rest = x.high;  // always below d
  std::uint64_t q = 0;
  for (int bit = 63; bit >= 0; --bit) {
    const bool carry = (rest >> 63) != 0;  // rest * 2 would not fit in 64 bits
    rest = (rest << 1) | ((x.low >> bit) & 1u);
    q <<= 1;
    if (carry || rest >= d) {
      rest -= d;
      q |= 1u;
    }
  }
  *quotient = q;
  *remainder = rest;
  return true;
}
