#pragma once
// Tempo changes that move no tick: the output keeps every tick time and
// gets a division D' with D' / new tempo = D / old tempo exactly. With a
// tempo map that is scaled along, every scaled tempo must be whole too.

#include <cstdint>
#include <vector>

// The division that keeps every tick when the tempo `startTempo` becomes
// `tempo`: true when D' = division * tempo / startTempo is whole and within
// 1..32767, and every tempo of `scaled` times tempo / startTempo is whole and
// within 1..16777215.
bool ExactDivision(std::uint32_t division, std::uint32_t startTempo,
                   const std::vector<std::uint32_t>& scaled, std::uint32_t tempo,
                   std::uint32_t* exactDivision);

// The nearest tempos on either side of `tempo` for which ExactDivision holds:
// *slower the smallest above it, *faster the largest below it; 0 where there
// is none. None of the division, the tempos and the tempos of `scaled` may
// be 0.
void NearestExactTempos(std::uint32_t division, std::uint32_t startTempo,
                        const std::vector<std::uint32_t>& scaled, std::uint32_t tempo,
                        std::uint32_t* slower, std::uint32_t* faster);
