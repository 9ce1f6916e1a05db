#include "TempoMap.h"

#include <algorithm>  // std::sort

#include "SourceLoading.h"  // IsTempoEvent

std::uint32_t ttTempoMap::StartTempo() const {
  return !changes.empty() && changes.front().tick == 0 ? changes.front().tempo : kUnstatedTempo;
}

bool ttTempoMap::IsSingleTempo() const {
  return changes.empty() ||
         (changes.size() == 1 && changes.front().tick == 0 && changes.front().tempo != 0);
}

std::uint64_t ttTempoMap::TimeAt(std::uint32_t tick) const {
  std::uint64_t time = 0;
  std::uint32_t from = 0;
  std::uint32_t tempo = kUnstatedTempo;
  for (const ttTempoChange& change : changes) {
    if (change.tick > tick)
      break;
    time += std::uint64_t{change.tick - from} * tempo;
    from = change.tick;
    tempo = change.tempo;
  }
  return time + std::uint64_t{tick - from} * tempo;
}

double ttTempoMap::SecondsAt(std::uint32_t tick) const {
  return division == 0 ? 0.0
                       : static_cast<double>(TimeAt(tick)) / static_cast<double>(division) / 1e6;
}

void ScanTempoMap(const ttSmfSequence& sequence, ttTempoMap* map) {
  map->changes.clear();
  map->division = sequence.division;
  map->lastTick = 0;
  std::uint32_t track = 0;
  for (const ttSmfTrack& events : sequence.tracks) {
    std::uint32_t position = 0;
    std::uint32_t offset = 0;
    for (const ttSmfEvent& event : events) {
      if (IsTempoEvent(event, &offset)) {
        const std::uint8_t* t = event.bytes.data + offset;
        const std::uint32_t tempo =
            (std::uint32_t{t[0]} << 16) | (std::uint32_t{t[1]} << 8) | std::uint32_t{t[2]};
        map->changes.push_back(ttTempoChange{event.time, tempo, track, position});
      }
      ++position;
    }
    if (!events.empty() && events.back().time > map->lastTick)
      map->lastTick = events.back().time;
    ++track;
  }
  // Each track's changes are in order already; only several tracks need
  // sorting into the merged order. The keys are all different.
  if (sequence.tracks.size() > 1) {
    std::sort(map->changes.begin(), map->changes.end(),
              [](const ttTempoChange& a, const ttTempoChange& b) {
                return ComesBefore(a, b.tick, b.track, b.position);
              });
  }
}
