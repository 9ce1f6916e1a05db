#include "ttSmfSequence.h"

// Defined together, in this order, so that they are constructed in this order
// and destroyed in reverse: AddTrack copies EmptyTrack, and every append builds
// its event in StagingEvent.
ttSmfSequence CurrentSequence;
const ttSmfTrack EmptyTrack;
ttSmfEvent StagingEvent{0, ttByteArray()};

ttSmfSequence::ttSmfSequence() : format(0), division(0) {}

ttSmfSequence::~ttSmfSequence() = default;

void ttSmfSequence::Clear() {
  format = 0;
  division = 0;
  while (!tracks.empty())
    tracks.pop_back();
}

bool ttSmfSequence::SetFormat(std::uint16_t value) {
  if (value > 2)
    return false;
  format = value;
  return true;
}

ttSmfTrack& ttSmfSequence::AddTrack() {
  tracks.push_back(EmptyTrack);
  return tracks.back();
}

void AppendSmfEvent(ttSmfTrack& track, std::uint32_t time, std::uint8_t status,
                    const std::uint8_t* data, std::uint32_t length) {
  StagingEvent.time = time;
  StagingEvent.bytes.Store(data, length, 1);
  StagingEvent.bytes.data[0] = status;
  track.push_back(StagingEvent);
}
