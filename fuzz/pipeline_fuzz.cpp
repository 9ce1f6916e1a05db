// What a user does, against arbitrary bytes: drop a file on the dialog, type
// a tempo and save, several times, through the recording double. A save
// refuses with the one message its input explains, or writes an image that
// reads back to the converted events, each within half a tick of its real
// time, the same for the same tempo whatever was saved in between; nothing
// is left open or temporary.

#include <algorithm>  // std::equal
#include <cstddef>
#include <cstdint>
#include <cstdio>  // std::snprintf
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BpmText.h"
#include "ControlIds.h"
#include "DialogCommands.h"
#include "FuzzSupport.h"
#include "RecordingPlatform.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"
#include "ttSmfParser.h"

namespace {

ttWindow const kWindow = reinterpret_cast<ttWindow>(0x1234);

struct LoadedEvent {
  std::uint32_t time;
  std::vector<std::uint8_t> bytes;
  bool tempo;
};
using Outputs = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

// Refusals, both ends of the range and a step beyond, tempos from a hash and
// from the last four bytes, the last bytes as raw text, the hashed one again.
std::vector<std::string> TempoTexts(const std::uint8_t* data, std::size_t size) {
  const auto* chars = reinterpret_cast<const char*>(data);
  char hashed[64];
  char tail[64];
  std::snprintf(
      hashed, sizeof hashed, "%.6f",
      3.5 + static_cast<double>(std::hash<std::string_view>{}({chars, size}) % 2000000u) / 100.0);
  std::uint32_t last = 0;
  for (std::size_t i = size >= 4 ? size - 4 : 0; i < size; ++i)
    last = (last << 8) | data[i];
  std::snprintf(tail, sizeof tail, "%.17g", 60000000.0 / (1.0 + last % 16777215u));
  std::size_t rawEnd = size >= 12 ? size - 12 : 0;
  const std::size_t rawStart = rawEnd;
  while (rawEnd < size && data[rawEnd] != 0)
    ++rawEnd;
  return {"0.5",       "1",        "3.5762786",
          "3.5762787", "60000000", "60000001",
          hashed,      tail,       std::string(chars + rawStart, rawEnd - rawStart),
          hashed};
}

// Within half a tick of the exact real time, give or take double precision.
bool KeepsRealTime(std::uint32_t converted, std::uint32_t time, std::uint32_t oldTempo,
                   std::uint32_t newTempo) {
  const std::uint64_t num = std::uint64_t{time} * oldTempo;
  const std::uint64_t at = std::uint64_t{converted} * newTempo;
  const std::uint64_t error = at > num ? at - num : num - at;
  return 2 * error <= newTempo + (num >> 30) + 2;
}

void CheckSave(RecordingPlatform& platform, const std::string& text,
               const std::vector<LoadedEvent>& loaded, bool hadTempo, Outputs& outputs) {
  platform.messages.clear();
  platform.files.erase("out.mid");
  platform.fields[IDC_TARGET_BPM] = text;
  platform.saveAnswers = {"out.mid"};
  RunSaveCommand(kWindow);
  FuzzCheck(platform.liveTemps.empty() && platform.openFiles == 0,
            "a save left a temporary file or an open file");
  FuzzCheck(SourceLoaded, "a save lost the loaded source");
  const bool written = platform.files.count("out.mid") != 0;
  FuzzCheck(written == platform.messages.empty(), "a save wrote and refused, or did neither");

  const double bpm = ParseBpmText(text.c_str());
  std::uint32_t newTempo = 0;
  const char* refusal = text.empty()                   ? TT_TEXT_NO_TEMPO
                        : !(bpm >= 1.0)                ? TT_TEXT_TEMPO_TOO_SMALL
                        : !TempoForBpm(bpm, &newTempo) ? TT_TEXT_TEMPO_OUT_OF_RANGE
                                                       : nullptr;
  if (refusal != nullptr) {
    FuzzCheck(platform.Texts() == std::vector<std::string>{refusal},
              "an invalid tempo text was not refused with its message");
    return;
  }

  // Could the rescaled times be written? Decided only away from the limits.
  bool clearlyWritable = true;
  std::uint64_t previous = 0;
  for (const LoadedEvent& e : loaded) {
    const std::uint64_t q =
        (2 * std::uint64_t{e.time} * SourceTempo + newTempo) / (2 * std::uint64_t{newTempo});
    clearlyWritable =
        clearlyWritable && q >= previous && q + 2 <= 0xFFFFFFFFu && q - previous + 2 <= 0x0FFFFFFFu;
    previous = q;
  }
  if (!written) {
    FuzzCheck(platform.Texts() == std::vector<std::string>{TT_TEXT_TIME_OVERFLOW},
              "a save failed with an unexpected message (the internal error: validation failed)");
    FuzzCheck(!clearlyWritable, "a writable conversion was refused as overflowing");
    return;
  }

  // The converted sequence against the loaded one.
  FuzzCheck(CurrentSequence.tracks.size() == 1, "the converted sequence has several tracks");
  const ttSmfTrack& track = CurrentSequence.tracks.front();
  FuzzCheck(track.size() == loaded.size() + (hadTempo ? 0 : 1), "conversion changed the count");
  auto event = track.begin();
  std::uint32_t offset = 0;
  if (!hadTempo) {
    FuzzCheck(event->time == 0 && IsTempoEvent(*event, &offset), "no tempo event added");
    ++event;
  }
  for (const LoadedEvent& e : loaded) {
    FuzzCheck(KeepsRealTime(event->time, e.time, SourceTempo, newTempo),
              "an event moved in real time");
    FuzzCheck(event->bytes.length == e.bytes.size(), "conversion changed an event's length");
    std::vector<std::uint8_t> expected = e.bytes;
    if (e.tempo && IsTempoEvent(*event, &offset)) {
      for (std::uint32_t i = 0; i < 3; ++i)
        expected[offset + i] = static_cast<std::uint8_t>(newTempo >> (16 - 8 * i));
    }
    FuzzCheck(std::equal(expected.begin(), expected.end(), event->bytes.data),
              "conversion changed an event's bytes");
    ++event;
  }

  // The written file reads back to the converted sequence.
  const std::vector<std::uint8_t>& image = platform.files["out.mid"];
  ttSmfSequence converted;
  converted.format = CurrentSequence.format;
  converted.division = CurrentSequence.division;
  converted.tracks.swap(CurrentSequence.tracks);
  CheckParsesTo(image.data(), static_cast<std::uint32_t>(image.size()), converted);
  CurrentSequence.tracks.swap(converted.tracks);
  for (const auto& earlier : outputs) {
    FuzzCheck(earlier.first != text || earlier.second == image,
              "the same tempo gave another file after other saves");
  }
  outputs.emplace_back(text, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu)
    return 0;
  // What the reader alone makes of the bytes, to check the merge against.
  std::size_t events = 0;
  std::size_t tracks = 0;
  bool inOrder = true;
  {
    ttSmfParser parser;
    if (parser.Parse(data, static_cast<std::uint32_t>(size))) {
      tracks = CurrentSequence.tracks.size();
      for (const ttSmfTrack& t : CurrentSequence.tracks) {
        events += t.size();
        inOrder = inOrder && std::is_sorted(t.begin(), t.end(), [](const auto& a, const auto& b) {
                    return a.time < b.time;
                  });
      }
    }
    CurrentSequence.Clear();
  }

  RecordingPlatform platform;
  platform.files["in.mid"].assign(data, data + size);
  RunDropCommand(kWindow, "in.mid");
  FuzzCheck(platform.openFiles == 0, "a load left its file open");
  FuzzCheck(platform.messages.size() == (SourceLoaded ? 0u : 1u),
            "a load showed no message on failure, or one on success");
  if (!SourceLoaded) {
    FuzzCheck(platform.fields[IDC_SOURCE_PATH].empty() && platform.fields[IDC_SOURCE_BPM].empty(),
              "a failed load left a source displayed");
    CurrentSequence.Clear();
    return 0;
  }

  FuzzCheck(tracks != 0, "a file the reader refuses or without tracks was loaded");
  FuzzCheck(CurrentSequence.format == 0 && CurrentSequence.tracks.size() == 1,
            "a loaded source is not one format-0 track");
  const ttSmfTrack& merged = CurrentSequence.tracks.front();
  FuzzCheck(merged.size() == events - (tracks - 1), "the merge lost or gained events");
  const ttByteArray& last = merged.back().bytes;
  FuzzCheck(last.length == 3 && last.data[0] == 0xFF && last.data[1] == 0x2F,
            "the merged track does not end with its end-of-track event");
  std::vector<LoadedEvent> loaded;
  bool hadTempo = false;
  for (const ttSmfEvent& e : merged) {
    std::uint32_t offset = 0;
    const bool tempo = IsTempoEvent(e, &offset);
    FuzzCheck(!tempo || (e.time == 0 && !hadTempo), "a loaded source has a second or late tempo");
    FuzzCheck(!inOrder || loaded.empty() || e.time >= loaded.back().time,
              "merging tracks in time order broke the order");
    hadTempo = hadTempo || tempo;
    loaded.push_back({e.time, {e.bytes.data, e.bytes.data + e.bytes.length}, tempo});
  }
  FuzzCheck(platform.fields[IDC_SOURCE_BPM] == FormatBpmText(SourceBpm),
            "the shown BPM is not the loaded one");

  Outputs outputs;
  for (const std::string& text : TempoTexts(data, size))
    CheckSave(platform, text, loaded, hadTempo, outputs);
  SourceLoaded = false;
  CurrentSequence.Clear();
  ResetConversionState();
  return 0;
}
