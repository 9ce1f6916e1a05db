#pragma once
// What the fuzz targets share: how a finding stops the run, and comparing
// sequences event by event.

#include <algorithm>  // std::equal
#include <cstdio>
#include <cstdlib>  // std::abort
#include <cstring>  // std::memcmp
#include <list>

#include "ttSmfSequence.h"

// A finding: says what broke and aborts, which libFuzzer records as a crash
// (with the input saved) and the replay runner reports as a failure.
inline void FuzzCheck(bool condition, const char* what) {
  if (condition)
    return;
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

inline bool SameTracks(const std::list<ttSmfTrack>& a, const std::list<ttSmfTrack>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& ta, const auto& tb) {
    return std::equal(ta.begin(), ta.end(), tb.begin(), tb.end(), [](const auto& x, const auto& y) {
      return x.time == y.time && x.bytes.length == y.bytes.length &&
             (x.bytes.length == 0 || std::memcmp(x.bytes.data, y.bytes.data, x.bytes.length) == 0);
    });
  });
}

// Moves CurrentSequence's tracks into `taken`, leaving it empty.
inline void TakeSequence(ttSmfSequence& taken) {
  taken.format = CurrentSequence.format;
  taken.division = CurrentSequence.division;
  taken.tracks.swap(CurrentSequence.tracks);
  CurrentSequence.Clear();
}

inline bool EndsWithEndOfTrack(const ttSmfTrack& track) {
  const ttByteArray& last = track.back().bytes;
  return last.length == 3 && last.data[0] == 0xFF && last.data[1] == 0x2F;
}
