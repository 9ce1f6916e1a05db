#include "ExactTempo.h"

#include <algorithm>  // std::min

#include "TempoMap.h"  // kTempoEventMax

namespace {

constexpr std::uint64_t kMaxDivision = 0x7FFF;  // bit 15 would make it SMPTE time code

std::uint64_t Gcd(std::uint64_t a, std::uint64_t b) {
  while (b != 0) {
    const std::uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

}  // namespace

bool ExactDivision(std::uint32_t division, std::uint32_t startTempo,
                   const std::vector<std::uint32_t>& scaled, std::uint32_t tempo,
                   std::uint32_t* exactDivision) {
  const std::uint64_t product = std::uint64_t{division} * tempo;
  if (startTempo == 0 || product % startTempo != 0)
    return false;
  const std::uint64_t result = product / startTempo;
  if (result < 1 || result > kMaxDivision)
    return false;
  for (const std::uint32_t s : scaled) {
    const std::uint64_t t = std::uint64_t{s} * tempo;
    if (t % startTempo != 0 || t / startTempo < 1 || t / startTempo > kTempoEventMax)
      return false;
  }
  *exactDivision = static_cast<std::uint32_t>(result);
  return true;
}

void NearestExactTempos(std::uint32_t division, std::uint32_t startTempo,
                        const std::vector<std::uint32_t>& scaled, std::uint32_t tempo,
                        std::uint32_t* slower, std::uint32_t* faster) {
  *slower = 0;
  *faster = 0;
  // The exact tempos are the multiples k m of the least m that makes the
  // division and every scaled tempo whole; each bound on them is a bound on k.
  std::uint64_t m = startTempo / Gcd(startTempo, division);
  for (const std::uint32_t s : scaled) {
    const std::uint64_t f = startTempo / Gcd(startTempo, s);
    m = m / Gcd(m, f) * f;
    if (m > kTempoEventMax)
      return;
  }
  std::uint64_t most = kTempoEventMax / m;
  most = std::min(most, kMaxDivision * startTempo / (std::uint64_t{division} * m));
  for (const std::uint32_t s : scaled)
    most = std::min(most, std::uint64_t{kTempoEventMax} * startTempo / (std::uint64_t{s} * m));
  const std::uint64_t above = tempo / m + 1;
  if (above <= most)
    *slower = static_cast<std::uint32_t>(above * m);
  const std::uint64_t below = std::min((tempo - 1) / m, most);
  if (below >= 1)
    *faster = static_cast<std::uint32_t>(below * m);
}
