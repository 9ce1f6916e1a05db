#include "TempoConversion.h"

#include <cmath>  // std::isfinite
#include <vector>

#include "SourceLoading.h"
#include "ttSmfSequence.h"

namespace {

constexpr std::uint32_t kMaxTempo = 0xFFFFFF;  // what the tempo event's three bytes hold

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
  if (!std::isfinite(bpm) || bpm <= 0.0)
    return false;
  const double quotient = 60000000.0 / bpm;
  if (!(quotient >= 1.0) || quotient >= static_cast<double>(kMaxTempo) + 1.0)
    return false;
  *tempo = static_cast<std::uint32_t>(quotient);  // truncated, not rounded
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
    if (!hasTempo) {
      static const std::uint8_t kTempoData[] = {0x51, 0x03, 0x07, 0xA1, 0x20};
      track.push_front(ttSmfEvent{0, ttByteArray()});
      track.front().bytes.Store(kTempoData, sizeof kTempoData, 1);
      track.front().bytes.data[0] = 0xFF;
    }
    LoadedTimes.reserve(track.size());
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
