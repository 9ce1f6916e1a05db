#pragma once
// Notes through a conversion: counts the notes it made zero ticks long and
// lengthens those it made shorter than a minimum, moving only their
// note-offs. Fed the events of one track in list order, each with its new
// time already set and its source time beside it.
//
// A note is a note-on (9n kk vv, vv > 0) and the next note-off of the same
// channel and key (8n kk, or 9n kk 00) in the same track; a note-off ends
// the latest note-on of its key. A note is "made shorter" when its new length
// in ticks is below both the minimum and its length in source ticks. Its
// note-off then goes to the tick `minimum` after the note-on, but never past
// the next note-on of that key, which would cut the next note short (it stops
// right before it), and never past the track's last event.

#include <cstdint>
#include <queue>
#include <vector>

#include "ttSmfSequence.h"

class ttNoteLengths {
 public:
  // minimum 0: count only, move nothing.
  explicit ttNoteLengths(std::uint32_t minimum);
  virtual ~ttNoteLengths();

  // Before the first event of a track.
  void StartTrack();
  // `event` has its new time; a lengthened note-off waiting for this tick is
  // moved right before it.
  void Event(ttSmfTrack& track, ttSmfTrack::iterator event, std::uint32_t sourceTime);
  // After the last event of the track: the note-offs still waiting go right
  // before that last event (the end of track), at its tick at most.
  void FinishTrack(ttSmfTrack& track);

  std::uint64_t zeroLength = 0;  // notes of source length > 0 that came out 0 ticks long
  std::uint64_t lengthened = 0;  // note-offs moved later

 private:
  struct Key {
    std::uint32_t track = 0;  // the track the rest belongs to (stale otherwise)
    std::uint32_t open = 0;
    std::uint32_t onSource = 0;
    std::uint32_t onOutput = 0;
    bool waiting = false;
    std::uint32_t generation = 0;  // tells a queued wait from an ended one
    std::uint64_t wanted = 0;
    ttSmfTrack::iterator off;
  };
  struct Wait {
    std::uint64_t wanted;
    std::uint32_t key;
    std::uint32_t generation;
    bool operator>(const Wait& other) const { return wanted > other.wanted; }
  };

  Key& At(std::uint32_t index);
  void Move(ttSmfTrack& track, Key& key, ttSmfTrack::iterator before, std::uint64_t time);

  std::uint32_t minimum_;
  std::uint32_t track_ = 0;
  std::vector<Key> keys_;  // 16 channels x 128 keys
  std::priority_queue<Wait, std::vector<Wait>, std::greater<Wait>> waits_;
};
