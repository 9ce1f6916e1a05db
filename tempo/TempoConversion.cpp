#include "TempoConversion.h"

#include <vector>

#include "SourceLoading.h"
#include "ttSmfSequence.h"

namespace {

// The BPMs accepted, as the refusal's message states them. Every BPM in the
// range gives a tempo of 1 to 16777215 us, what the event's three bytes hold:
// 60000000 / 3.5762787 = 16777215.4. The few BPMs below it that would still
// fit (down to just above 60000000 / 2^24 = 3.57627868652...) are refused too,
// so that the message and the check agree on a number a user can type.
constexpr double kSlowestBpm = 3.5762787;
constexpr double kFastestBpm = 60000000.0;

// The tick times of the first track as loaded, in list order, kept from the
// first conversion on: every later conversion starts from them, so a second
// save gives exactly the first one's output. Four bytes an event, instead of a
// second copy of the whole sequence, in huge pages where there are any.
std::vector<std::uint32_t, ttArrayAllocator<std::uint32_t>> LoadedTimes;
bool Converted = false;

void WriteTempo(ttSmfEvent& event, std::uint32_t offset, std::uint32_t tempo) {
  std::uint8_t* t = event.bytes.data + offset;
  t[0] = static_cast<std::uint8_t>(tempo >> 16);
  t[1] = static_cast<std::uint8_t>(tempo >> 8);
  t[2] = static_cast<std::uint8_t>(tempo);
}

}  // namespace

bool TempoForBpm(double bpm, std::uint32_t* tempo) {
  if (!(bpm >= kSlowestBpm && bpm <= kFastestBpm))  // not a number fails too
    return false;
  *tempo = static_cast<std::uint32_t>(60000000.0 / bpm);  // truncated, not rounded
  return true;
}

void ResetConversionState() {
  LoadedTimes.clear();
  LoadedTimes.shrink_to_fit();
  Converted = false;
}

ttConvertResult ConvertTempo(double bpm) {
  std::uint32_t newTempo = 0;
  if (!TempoForBpm(bpm, &newTempo))
    return ttConvertResult::kTempoOutOfRange;
  ttSmfTrack& track = CurrentSequence.tracks.front();

  bool remember = false;
  if (!Converted) {
    // A source without a tempo event plays at 120 BPM; the output needs the new
    // tempo stated, or it would play the rescaled ticks at the wrong speed.
    bool hasTempo = false;
    std::uint32_t offset = 0;
    for (const ttSmfEvent& event : track) {
      if (IsTempoEvent(event, &offset)) {
        hasTempo = true;
        break;
      }
    }
    // All or nothing: whatever may run out of memory is done before the track
    // changes. A half-built event left in it would be written as a bare delta
    // time, and the next conversion would add a second tempo event.
    ttSmfTrack added;
    if (!hasTempo) {
      // The tempo bytes are written with the new tempo below.
      static const std::uint8_t kTempoEvent[] = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
      added.emplace_back();
      added.back().bytes.Store(kTempoEvent, sizeof kTempoEvent, 0);
    }
    LoadedTimes.reserve(track.size() + added.size());
    track.splice(track.begin(), added);
    Converted = true;
    remember = true;
  }

  // One walk: on the first conversion it also takes the loaded times down,
  // right before it replaces them.
  const double oldTempo = static_cast<double>(SourceTempo);
  const double scaledTempo = static_cast<double>(newTempo);
  bool overflow = false;
  int tempoEvents = 0;
  std::size_t index = 0;
  // Events come in runs on one tick (chords, controllers at a bar line); a tick
  // is rescaled once per run.
  std::uint32_t lastTime = 0;
  std::uint32_t lastScaled = 0;
  bool lastOverflow = false;
  for (ttSmfEvent& event : track) {
    if (remember)
      LoadedTimes.push_back(event.time);
    const std::uint32_t time = LoadedTimes[index++];
    std::uint32_t offset = 0;
    if (IsTempoEvent(event, &offset) && ++tempoEvents == 1 && time == 0) {
      WriteTempo(event, offset, newTempo);
    }
    if (index == 1 || time != lastTime) {
      // Multiply before dividing, then add 0.5 and truncate: nearest tick, halves up.
      const double scaled = static_cast<double>(time) * oldTempo / scaledTempo + 0.5;
      lastTime = time;
      lastOverflow = scaled >= 4294967296.0;
      lastScaled = lastOverflow ? 0xFFFFFFFFu : static_cast<std::uint32_t>(scaled);
    }
    overflow = overflow || lastOverflow;
    event.time = lastScaled;
  }
  return overflow ? ttConvertResult::kTimeOverflow : ttConvertResult::kOk;
}
