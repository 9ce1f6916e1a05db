#pragma once
// In-memory form of one Standard MIDI File: header values and tracks of events
// with absolute tick times. The model stores, appends and clears; it knows
// nothing of files, tempo or the user interface.

#include <cstdint>
#include <list>

#include "ttByteArray.h"
#include "ttMemory.h"

struct ttSmfEvent {
  // Absolute tick time from the start of the track (never a delta here).
  std::uint32_t time;
  // The event as laid out in a track chunk, without its delta time; the status
  // byte is always present, also where the file used running status.
  ttByteArray bytes;
};

// Nodes come from the pool behind ttAllocateNode (see ttMemory.h).
using ttSmfTrack = std::list<ttSmfEvent, ttPoolAllocator<ttSmfEvent>>;

class ttSmfSequence {
 public:
  ttSmfSequence();
  virtual ~ttSmfSequence();

  // Format 0, division 0, every track removed (from the end) with its events.
  void Clear();
  // Stores 0, 1 or 2 and returns true; refuses anything above 2.
  bool SetFormat(std::uint16_t value);
  // Appends a copy of EmptyTrack and returns it.
  ttSmfTrack& AddTrack();

  std::uint16_t format;
  // The header's division word in host order, uninterpreted.
  std::uint16_t division;
  std::list<ttSmfTrack> tracks;
};

// Appends (time, status, data[0..length)) at the end of the track. The event is
// built in StagingEvent and an exact copy is stored.
void AppendSmfEvent(ttSmfTrack& track, std::uint32_t time, std::uint8_t status,
                    const std::uint8_t* data, std::uint32_t length);

// Application-wide objects, constructed in this order and destroyed in reverse.
extern ttSmfSequence CurrentSequence;
extern const ttSmfTrack EmptyTrack;
extern ttSmfEvent StagingEvent;
