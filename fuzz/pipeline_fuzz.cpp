// What a user does, against arbitrary bytes: drop a file on the dialog (every
// check and the merge), type a tempo and save, several times, through the
// recording double of the platform. Oracles: a save either refuses with the
// one message its input explains, or writes an image that the validator
// accepts, that reads back to the converted events, whose events all keep
// their position in real time, and that is the same for the same tempo
// whatever was saved in between. No failure leaves a temporary file, and no
// load or save leaves a file open.

#include <algorithm>  // std::equal
#include <cstddef>
#include <cstdint>
#include <cstdio>  // std::snprintf
#include <string>
#include <vector>

#include "BpmText.h"
#include "ControlIds.h"
#include "DialogCommands.h"
#include "FuzzSupport.h"
#include "RecordingPlatform.h"
#include "SmfValidator.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"
#include "ttSmfParser.h"

namespace {

ttWindow const kWindow = reinterpret_cast<ttWindow>(0x1234);
const char kSource[] = "in.mid";
const char kTarget[] = "out.mid";

struct LoadedEvent {
  std::uint32_t time;
  std::vector<std::uint8_t> bytes;
  bool tempo;
};

std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < size; ++i)
    h = (h ^ data[i]) * 16777619u;
  return h;
}

// Tempo texts: refusals and both ends of the range (tempo 16777215 at
// 3.5762787, 1 at 60000000; one step beyond each is refused), then tempos the input
// chooses (a hash of it, its last four bytes read as a tempo, and its last
// bytes as raw text), then the first chosen one again.
std::vector<std::string> TempoTexts(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> texts = {"0.5", "1", "3.5762786", "3.5762787", "60000000", "60000001"};
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", 3.5 + (Fnv1a(data, size) % 2000000u) / 100.0);
  texts.emplace_back(text);
  const std::string hashed = text;
  std::uint32_t tail = 0;
  for (std::size_t i = size >= 4 ? size - 4 : 0; i < size; ++i)
    tail = (tail << 8) | data[i];
  std::snprintf(text, sizeof text, "%.17g", 60000000.0 / (1.0 + tail % 16777215u));
  texts.emplace_back(text);
  // The field's text ends at a zero byte.
  std::size_t rawEnd = size >= 12 ? size - 12 : 0;
  const std::size_t rawStart = rawEnd;
  while (rawEnd < size && data[rawEnd] != 0)
    ++rawEnd;
  texts.emplace_back(reinterpret_cast<const char*>(data + rawStart), rawEnd - rawStart);
  texts.push_back(hashed);
  return texts;
}

// time * oldTempo / newTempo rounded half up, exactly.
std::uint64_t ExactScaled(std::uint32_t time, std::uint32_t oldTempo, std::uint32_t newTempo) {
  const std::uint64_t num = std::uint64_t{time} * oldTempo;
  return (2 * num + newTempo) / (2 * std::uint64_t{newTempo});
}

// Within half a tick of the exact position in real time, give or take what
// double precision loses on very large products.
bool KeepsRealTime(std::uint32_t converted, std::uint32_t time, std::uint32_t oldTempo,
                   std::uint32_t newTempo) {
  const std::uint64_t num = std::uint64_t{time} * oldTempo;
  const std::uint64_t at = std::uint64_t{converted} * newTempo;
  const std::uint64_t error = at > num ? at - num : num - at;
  return 2 * error <= newTempo + (num >> 30) + 2;
}

void CheckSave(RecordingPlatform& platform, const std::string& text,
               const std::vector<LoadedEvent>& loaded, bool loadedInOrder, bool hadTempo,
               std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& outputs) {
  platform.messages.clear();
  platform.files.erase(kTarget);
  platform.fields[IDC_TARGET_BPM] = text;
  platform.saveAnswers = {kTarget};
  RunSaveCommand(kWindow);
  FuzzCheck(platform.liveTemps.empty() && platform.openFiles == 0,
            "a save left a temporary file or an open file");
  FuzzCheck(SourceLoaded, "a save lost the loaded source");

  const double bpm = ParseBpmText(text.c_str());
  std::uint32_t newTempo = 0;
  const char* refusal = nullptr;
  if (text.empty()) {
    refusal = TT_TEXT_NO_TEMPO;
  } else if (!(bpm >= 1.0)) {
    refusal = TT_TEXT_TEMPO_TOO_SMALL;
  } else if (!TempoForBpm(bpm, &newTempo)) {
    refusal = TT_TEXT_TEMPO_OUT_OF_RANGE;
  }
  if (refusal != nullptr) {
    FuzzCheck(platform.messages.size() == 1 && platform.messages[0].text == refusal,
              "an invalid tempo text was not refused with its message");
    FuzzCheck(platform.files.count(kTarget) == 0, "a refused save wrote a file");
    return;
  }

  // Could the rescaled times be written at all? Only decided here for tracks
  // in time order and away from the limits, where double precision cannot
  // tip the result either way.
  bool clearlyWritable = loadedInOrder;
  std::uint64_t previous = 0;
  for (const LoadedEvent& e : loaded) {
    const std::uint64_t q = ExactScaled(e.time, SourceTempo, newTempo);
    if (q + 2 > 0xFFFFFFFFu || q - previous + 2 > 0x0FFFFFFFu)
      clearlyWritable = false;
    previous = q;
  }

  if (!platform.messages.empty()) {
    FuzzCheck(platform.messages.size() == 1, "a save showed more than one message");
    const std::string& shown = platform.messages[0].text;
    FuzzCheck(shown != TT_TEXT_INTERNAL_ERROR, "the output image failed validation");
    FuzzCheck(shown == TT_TEXT_TIME_OVERFLOW, "a save failed with an unexpected message");
    FuzzCheck(!clearlyWritable, "a writable conversion was refused as overflowing");
    FuzzCheck(platform.files.count(kTarget) == 0, "a refused save wrote a file");
    return;
  }

  FuzzCheck(platform.files.count(kTarget) == 1, "a save without a message wrote nothing");
  const std::vector<std::uint8_t>& image = platform.files[kTarget];
  FuzzCheck(image.size() <= 0xFFFFFFFFu, "an image of 4 GiB or more");

  // The converted sequence against the loaded one.
  FuzzCheck(CurrentSequence.tracks.size() == 1, "the converted sequence has several tracks");
  const ttSmfTrack& track = CurrentSequence.tracks.front();
  FuzzCheck(track.size() == loaded.size() + (hadTempo ? 0 : 1), "conversion changed the count");
  auto event = track.begin();
  if (!hadTempo) {
    std::uint32_t offset = 0;
    FuzzCheck(event->time == 0 && IsTempoEvent(*event, &offset), "no tempo event added");
    ++event;
  }
  for (const LoadedEvent& e : loaded) {
    FuzzCheck(KeepsRealTime(event->time, e.time, SourceTempo, newTempo),
              "an event moved in real time");
    FuzzCheck(event->bytes.length == e.bytes.size(), "conversion changed an event's length");
    std::vector<std::uint8_t> expected = e.bytes;
    std::uint32_t offset = 0;
    if (e.tempo && IsTempoEvent(*event, &offset)) {
      expected[offset] = static_cast<std::uint8_t>(newTempo >> 16);
      expected[offset + 1] = static_cast<std::uint8_t>(newTempo >> 8);
      expected[offset + 2] = static_cast<std::uint8_t>(newTempo);
    }
    FuzzCheck(std::equal(expected.begin(), expected.end(), event->bytes.data),
              "conversion changed an event's bytes");
    ++event;
  }

  // The written file reads back to the converted sequence.
  ttSmfSequence converted;
  converted.format = CurrentSequence.format;
  converted.division = CurrentSequence.division;
  converted.tracks.swap(CurrentSequence.tracks);
  CheckParsesTo(image.data(), static_cast<std::uint32_t>(image.size()), converted);
  CurrentSequence.tracks.swap(converted.tracks);
  CurrentSequence.format = converted.format;
  CurrentSequence.division = converted.division;

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
  RecordingPlatform platform;

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
        std::uint32_t previous = 0;
        for (const ttSmfEvent& e : t) {
          inOrder = inOrder && e.time >= previous;
          previous = e.time;
        }
      }
    }
    CurrentSequence.Clear();
  }

  platform.files[kSource].assign(data, data + size);
  RunDropCommand(kWindow, kSource);
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
  bool loadedInOrder = true;
  std::uint32_t previous = 0;
  for (const ttSmfEvent& e : merged) {
    std::uint32_t offset = 0;
    const bool tempo = IsTempoEvent(e, &offset);
    FuzzCheck(!tempo || (e.time == 0 && !hadTempo), "a loaded source has a second or late tempo");
    hadTempo = hadTempo || tempo;
    loadedInOrder = loadedInOrder && e.time >= previous;
    previous = e.time;
    loaded.push_back(
        {e.time, std::vector<std::uint8_t>(e.bytes.data, e.bytes.data + e.bytes.length), tempo});
  }
  FuzzCheck(!inOrder || loadedInOrder, "merging tracks in time order broke the order");
  FuzzCheck(platform.fields[IDC_SOURCE_BPM] == FormatBpmText(SourceBpm),
            "the shown BPM is not the loaded one");

  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> outputs;
  for (const std::string& text : TempoTexts(data, size))
    CheckSave(platform, text, loaded, loadedInOrder, hadTempo, outputs);

  SourceLoaded = false;
  CurrentSequence.Clear();
  ResetConversionState();
  return 0;
}
