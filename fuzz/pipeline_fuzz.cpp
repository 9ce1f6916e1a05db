// What a user does, against arbitrary bytes: drop a file on the dialog, type
// a tempo and save, several times, through the recording double. A save
// refuses with the one message its input explains, or writes the converted
// events, each within half a tick of its real time, the same file for the
// same tempo whatever was saved in between; nothing is left open or temporary.

#include <algorithm>  // std::equal, std::is_sorted
#include <cstddef>
#include <cstdint>
#include <cstdio>  // std::snprintf
#include <functional>
#include <map>
#include <string>
#include <string_view>
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

// Refusals, both ends of the range and a step beyond, a tempo hashed from the
// input, the last bytes as raw text, the hashed one again.
std::vector<std::string> TempoTexts(const std::uint8_t* data, std::size_t size) {
  const auto* chars = reinterpret_cast<const char*>(data);
  char hashed[64];
  std::snprintf(
      hashed, sizeof hashed, "%.6f",
      3.5 + static_cast<double>(std::hash<std::string_view>{}({chars, size}) % 2000000u) / 100.0);
  const std::size_t rawStart = size >= 12 ? size - 12 : 0;
  const std::string raw(chars + rawStart, std::find(chars + rawStart, chars + size, '\0'));
  return {"0.5", "1", "3.5762786", "3.5762787", "60000000", "60000001", hashed, raw, hashed};
}

void CheckSave(RecordingPlatform& platform, const std::string& text, const ttSmfTrack& loaded,
               std::map<std::string, std::vector<std::uint8_t>>& outputs) {
  platform.messages.clear();
  platform.files.erase("out.mid");
  platform.fields[IDC_TARGET_BPM] = text;
  platform.saveAnswers = {"out.mid"};
  RunSaveCommand(kWindow);
  FuzzCheck(platform.liveTemps.empty() && platform.openFiles == 0 && SourceLoaded,
            "a save left a temporary or an open file, or lost the loaded source");
  const bool written = platform.files.count("out.mid") != 0;
  FuzzCheck(written == platform.messages.empty(), "a save wrote and refused, or did neither");

  const double bpm = ParseBpmText(text.c_str());
  std::uint32_t newTempo = 0;
  const char* refusal = text.empty()                   ? TT_TEXT_NO_TEMPO
                        : !(bpm >= 1.0)                ? TT_TEXT_TEMPO_TOO_SMALL
                        : !TempoForBpm(bpm, &newTempo) ? TT_TEXT_TEMPO_OUT_OF_RANGE
                        : written                      ? nullptr
                                                       : TT_TEXT_TIME_OVERFLOW;
  if (refusal != nullptr) {
    FuzzCheck(platform.Texts() == std::vector<std::string>{refusal},
              "a save refused with an unexpected message (the internal error: validation failed)");
    return;
  }

  // The converted sequence against the loaded one: a tempo event at the
  // front if there was none, then each event within half a tick of its real
  // time (give or take double precision), the tempo's three bytes replaced.
  const ttSmfTrack& track = CurrentSequence.tracks.front();
  std::uint32_t offset = 0;
  const bool added = std::none_of(loaded.begin(), loaded.end(),
                                  [&](const ttSmfEvent& e) { return IsTempoEvent(e, &offset); });
  FuzzCheck(CurrentSequence.tracks.size() == 1 && track.size() == loaded.size() + added &&
                (!added || (track.front().time == 0 && IsTempoEvent(track.front(), &offset))),
            "conversion changed the count, or added no tempo event");
  auto event = std::next(track.begin(), added);
  for (const ttSmfEvent& e : loaded) {
    const std::uint64_t was = std::uint64_t{e.time} * SourceTempo;
    const std::uint64_t now = std::uint64_t{event->time} * newTempo;
    FuzzCheck(2 * (now > was ? now - was : was - now) <= newTempo + (was >> 30) + 2,
              "an event moved in real time");
    ttByteArray expected = e.bytes;
    if (IsTempoEvent(e, &offset)) {
      for (std::uint32_t i = 0; i < 3; ++i)
        expected.data[offset + i] = static_cast<std::uint8_t>(newTempo >> (16 - 8 * i));
    }
    FuzzCheck(event->bytes.length == expected.length &&
                  std::equal(expected.data, expected.data + expected.length, event->bytes.data),
              "conversion changed an event's bytes");
    ++event;
  }
  const auto& image = platform.files["out.mid"];
  FuzzCheck(outputs.emplace(text, image).first->second == image,
            "the same tempo gave another file after other saves");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu)
    return 0;
  // What the reader alone makes of the bytes, to check the merge against.
  std::size_t events = 0, tracks = 0;
  bool inOrder = true;
  if (ttSmfParser().Parse(data, static_cast<std::uint32_t>(size))) {
    tracks = CurrentSequence.tracks.size();
    for (const ttSmfTrack& t : CurrentSequence.tracks) {
      events += t.size();
      inOrder = inOrder && std::is_sorted(t.begin(), t.end(), [](const auto& a, const auto& b) {
                  return a.time < b.time;
                });
    }
  }
  CurrentSequence.Clear();

  RecordingPlatform platform;
  platform.files["in.mid"].assign(data, data + size);
  RunDropCommand(kWindow, "in.mid");
  FuzzCheck(platform.openFiles == 0 && platform.messages.size() == (SourceLoaded ? 0u : 1u),
            "a load left its file open, or showed no message on failure or one on success");
  if (SourceLoaded) {
    FuzzCheck(tracks != 0, "a file the reader refuses or without tracks was loaded");
    FuzzCheck(CurrentSequence.format == 0 && CurrentSequence.tracks.size() == 1,
              "a loaded source is not one format-0 track");
    const ttSmfTrack loaded = CurrentSequence.tracks.front();
    FuzzCheck(loaded.size() == events - (tracks - 1) && EndsWithEndOfTrack(loaded),
              "the merge lost or gained events, or does not end with its end of track");
    FuzzCheck(
        !inOrder || std::is_sorted(loaded.begin(), loaded.end(),
                                   [](const auto& a, const auto& b) { return a.time < b.time; }),
        "merging tracks in time order broke the order");
    std::uint32_t offset = 0;
    std::size_t tempos = 0;
    for (const ttSmfEvent& e : loaded)
      tempos += IsTempoEvent(e, &offset) ? (e.time == 0 ? 1u : 2u) : 0u;
    FuzzCheck(tempos <= 1, "a loaded source has a second or late tempo");
    std::map<std::string, std::vector<std::uint8_t>> outputs;
    for (const std::string& text : TempoTexts(data, size))
      CheckSave(platform, text, loaded, outputs);
  }
  SourceLoaded = false;
  CurrentSequence.Clear();
  ResetConversionState();
  return 0;
}
