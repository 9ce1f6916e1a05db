#pragma once
// The order of a stretch's events, shared by the reader, which lays a file's
// events out in time order, and the merge: by key (ticks into the stretch),
// equal keys in the order the events were taken.

#include <cstdint>
#include <vector>

namespace smf_format {

// One stable counting pass: `to` receives from(0) .. from(n - 1) ordered by
// digit(from(j)), each digit below `values`.
template <typename From, typename Digit>
void CountingPass(std::uint32_t n, std::uint32_t values, From from, Digit digit,
                  std::vector<std::uint32_t>& counts, std::uint32_t* to) {
  counts.assign(std::size_t{values} + 1, 0);
  for (std::uint32_t j = 0; j < n; ++j)
    ++counts[digit(from(j)) + 1];
  for (std::uint32_t v = 1; v <= values; ++v)
    counts[v] += counts[v - 1];
  for (std::uint32_t j = 0; j < n; ++j) {
    const std::uint32_t i = from(j);
    to[counts[digit(i)]++] = i;
  }
}

// Fills `order` with 0 .. n - 1 sorted stably by key(i), every key below
// `width`. One counting pass where the keys take at most 2^16 values; two
// beyond, on the low and then the high half of the keys' bits. Linear in n
// whatever the width: a sparse stretch, which a file at a few events per
// beat gives all the time, costs no more per event than a dense one.
// `counts` and `first` are working room, kept across stretches.
template <typename Key>
void StableOrder(std::uint32_t n, std::uint64_t width, Key key, std::vector<std::uint32_t>& order,
                 std::vector<std::uint32_t>& counts, std::vector<std::uint32_t>& first) {
  constexpr std::uint64_t kMostCounted = std::uint64_t{1} << 16;
  const auto same = [](std::uint32_t i) { return i; };
  order.resize(n);
  if (width <= kMostCounted) {
    CountingPass(n, static_cast<std::uint32_t>(width), same, key, counts, order.data());
    return;
  }
  unsigned bits = 17;
  while (bits < 32 && ((width - 1) >> bits) != 0)
    ++bits;
  const unsigned low = bits / 2;
  const std::uint32_t mask = (std::uint32_t{1} << low) - 1;
  first.resize(n);
  CountingPass(
      n, mask + 1, same, [&key, mask](std::uint32_t i) { return key(i) & mask; }, counts,
      first.data());
  CountingPass(
      n, std::uint32_t{1} << (bits - low), [&first](std::uint32_t j) { return first[j]; },
      [&key, low](std::uint32_t i) { return key(i) >> low; }, counts, order.data());
}

}  // namespace smf_format
