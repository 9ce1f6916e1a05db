#pragma once
// What the fuzz targets share: how a finding stops the run, and comparing
// sequences event by event.

#include <cstdio>
#include <cstdlib>  // std::abort
#include <cstring>  // std::memcmp
#include <list>

#include "ttSmfSequence.h"

// A finding: says what broke and aborts, which libFuzzer records as a crash
// (with the input saved) and the replay runner reports as a failure.
[[noreturn]] inline void FuzzFail(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

inline void FuzzCheck(bool condition, const char* what) {
  if (!condition)
    FuzzFail(what);
}

inline bool SameEvent(const ttSmfEvent& a, const ttSmfEvent& b) {
  return a.time == b.time && a.bytes.length == b.bytes.length &&
         (a.bytes.length == 0 || std::memcmp(a.bytes.data, b.bytes.data, a.bytes.length) == 0);
}

inline bool SameTracks(const std::list<ttSmfTrack>& a, const std::list<ttSmfTrack>& b) {
  if (a.size() != b.size())
    return false;
  for (auto ta = a.begin(), tb = b.begin(); ta != a.end(); ++ta, ++tb) {
    if (ta->size() != tb->size())
      return false;
    for (auto ea = ta->begin(), eb = tb->begin(); ea != ta->end(); ++ea, ++eb) {
      if (!SameEvent(*ea, *eb))
        return false;
    }
  }
  return true;
}

// Parses `image` into CurrentSequence and checks that it gives exactly the
// tracks, format and division held in `expected`; CurrentSequence is left
// holding the parsed image.
void CheckParsesTo(const std::uint8_t* image, std::uint32_t size, const ttSmfSequence& expected);
