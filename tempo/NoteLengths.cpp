#include "NoteLengths.h"

#include <iterator>  // std::prev

ttNoteLengths::ttNoteLengths(std::uint32_t minimum) : minimum_(minimum), keys_(16 * 128) {}

ttNoteLengths::~ttNoteLengths() = default;

void ttNoteLengths::StartTrack() {
  // Keys are reset when first touched in the new track, not all 2048 now:
  // a file may hold tens of thousands of short tracks.
  ++track_;
  waits_ = decltype(waits_)();
}

ttNoteLengths::Key& ttNoteLengths::At(std::uint32_t index) {
  Key& key = keys_[index];
  if (key.track != track_) {
    key = Key();
    key.track = track_;
  }
  return key;
}

void ttNoteLengths::Move(ttSmfTrack& track, Key& key, ttSmfTrack::iterator before,
                         std::uint64_t time) {
  key.waiting = false;
  if (time <= key.off->time)
    return;
  key.off->time = static_cast<std::uint32_t>(time);
  track.splice(before, track, key.off);
  ++lengthened;
}

void ttNoteLengths::Event(ttSmfTrack& track, ttSmfTrack::iterator event, std::uint32_t sourceTime) {
  const std::uint32_t now = event->time;
  // Every event before this one lies before a due note-off's new tick, so it
  // goes right here.
  while (!waits_.empty() && waits_.top().wanted <= now) {
    const Wait wait = waits_.top();
    waits_.pop();
    Key& key = At(wait.key);
    if (key.waiting && key.generation == wait.generation)
      Move(track, key, event, wait.wanted);
  }

  // Note messages are three bytes with the status stored; shorter and longer
  // events are passed over without reading their bytes.
  const ttByteArray& bytes = event->bytes;
  if (bytes.length != 3)
    return;
  const std::uint8_t kind = bytes.data[0] & 0xF0;
  if (kind != 0x80 && kind != 0x90)
    return;
  const std::uint32_t index = (bytes.data[0] & 0x0Fu) * 128u + (bytes.data[1] & 0x7Fu);
  Key& key = At(index);
  if (kind == 0x90 && bytes.data[2] != 0) {
    if (key.waiting)
      Move(track, key, event, now);
    key.open = 1;
    key.onSource = sourceTime;
    key.onOutput = now;
    return;
  }
  if (key.open == 0)
    return;  // a note-off without a note-on, or a second one
  key.open = 0;
  const std::uint32_t sourceLength = sourceTime - key.onSource;
  const std::uint32_t length = now - key.onOutput;
  if (length == 0 && sourceLength > 0)
    ++zeroLength;
  if (length < minimum_ && length < sourceLength && !key.waiting) {
    key.waiting = true;
    key.wanted = std::uint64_t{key.onOutput} + minimum_;
    key.off = event;
    ++key.generation;
    waits_.push(Wait{key.wanted, index, key.generation});
  }
}

void ttNoteLengths::FinishTrack(ttSmfTrack& track) {
  if (track.empty())
    return;
  const auto last = std::prev(track.end());
  while (!waits_.empty()) {
    const Wait wait = waits_.top();
    waits_.pop();
    Key& key = At(wait.key);
    if (key.waiting && key.generation == wait.generation)
      Move(track, key, last, last->time);
  }
}
