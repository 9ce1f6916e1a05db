#pragma once
// The tempo map of a sequence: its tempo events in the order a merge of its
// tracks would hold them, whether or not the tracks are merged. Before the
// first tempo event the sequence plays at 500000 us per quarter note.

#include <cstdint>
#include <vector>

#include "ttSmfSequence.h"

constexpr std::uint32_t kUnstatedTempo = 500000;    // 120 BPM, until a tempo event says otherwise
constexpr std::uint32_t kTempoEventMax = 0xFFFFFF;  // what a tempo event's three bytes hold

struct ttTempoChange {
  std::uint32_t tick;
  std::uint32_t tempo;     // microseconds per quarter note, as written (0 possible)
  std::uint32_t track;     // index of its track in the sequence
  std::uint32_t position;  // index of the event in its track
};

// True when the change comes before the event at (tick, track, position) of
// the merged order: by tick, then track, then position in the track.
inline bool ComesBefore(const ttTempoChange& change, std::uint32_t tick, std::uint32_t track,
                        std::uint32_t position) {
  if (change.tick != tick)
    return change.tick < tick;
  if (change.track != track)
    return change.track < track;
  return change.position < position;
}

struct ttTempoMap {
  std::vector<ttTempoChange> changes;  // in merged order
  std::uint32_t division = 0;          // ticks per quarter note
  std::uint32_t lastTick = 0;          // of the latest event of any track

  // The tempo in effect at tick 0: the first tempo event's when it lies at
  // tick 0, else 500000.
  std::uint32_t StartTempo() const;
  // True when the plain conversion takes the map: at most one tempo event,
  // at tick 0, and not 0.
  bool IsSingleTempo() const;
  // Real time of a tick in microseconds times the division, exactly (below
  // 2^56). Ticks where several changes lie count the last one.
  std::uint64_t TimeAt(std::uint32_t tick) const;
  double SecondsAt(std::uint32_t tick) const;
};

// Collects the tempo events of every track of the sequence (ticks per
// quarter note). Walks every event once; reads the bytes of none but those
// of six bytes or more.
void ScanTempoMap(const ttSmfSequence& sequence, ttTempoMap* map);
