// smftempo's conversions beyond one tempo, against arbitrary bytes: every
// file the reader accepts, with tracks merged or kept, flattened or scaled,
// to a tempo, division, exactness and note minimum the input chooses.
// Oracles: a conversion either refuses, or leaves every track in time order
// with its end of track last, every event but the removed tempo events, one
// tempo event added at most, and timing errors within half a tick of the
// slowest output tempo; an image it writes passes the validator.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "RecordingPlatform.h"
#include "SmfImage.h"
#include "SmfValidator.h"
#include "SourceLoading.h"
#include "TempoMapConversion.h"
#include "ttSmfParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8 || size > 0xFFFFFFFFu)
    return 0;
  // The last eight bytes choose the conversion; the rest is the file.
  const std::uint8_t* knobs = data + size - 8;
  const std::size_t fileSize = size - 8;
  ttMapRequest request;
  request.mode = knobs[0] & 1 ? ttTempoMapMode::kScale : ttTempoMapMode::kFlatten;
  bool merge = (knobs[0] & 2) == 0;
  request.exact = (knobs[0] & 4) != 0;
  request.minNote = knobs[0] >> 5;
  request.tempo = (std::uint32_t{knobs[1]} << 16 | std::uint32_t{knobs[2]} << 8 | knobs[3]);
  request.division = (std::uint32_t{knobs[4]} << 8 | knobs[5]) & 0x7FFF;

  RecordingPlatform platform;
  platform.files["in.mid"].assign(data, data + fileSize);
  CurrentSequence.Clear();
  const auto accept = [](ttWindow, void* m) {
    return AcceptSourceTracks(nullptr, *static_cast<bool*>(m));
  };
  if (!LoadSourceSmfWith(nullptr, "in.mid", accept, &merge))
    return 0;
  ttTempoMap map;
  ScanTempoMap(CurrentSequence, &map);
  std::size_t before = 0;
  for (const ttSmfTrack& track : CurrentSequence.tracks)
    before += track.size();
  ttConversionFigures figures;
  if (ConvertWithTempoMap(CurrentSequence, map, request, &figures).result != ttMapResult::kOk)
    return 0;

  ttTempoMap after;
  ScanTempoMap(CurrentSequence, &after);
  std::uint64_t slowest = figures.outputTempo;
  std::size_t events = 0;
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    std::uint32_t previous = 0;
    for (const ttSmfEvent& event : track) {
      FuzzCheck(event.time >= previous, "a track out of time order");
      previous = event.time;
    }
    FuzzCheck(EndsWithEndOfTrack(track), "the end of track not last");
    events += track.size();
  }
  for (const ttTempoChange& change : after.changes)
    slowest = change.tempo > slowest ? change.tempo : slowest;
  const std::size_t removed = request.mode == ttTempoMapMode::kFlatten && !map.changes.empty()
                                  ? map.changes.size() - (map.changes.front().tick == 0 ? 1 : 0)
                                  : 0;
  const std::size_t added = map.changes.empty() || map.changes.front().tick != 0 ? 1 : 0;
  FuzzCheck(events == before - removed + added, "events lost or made");
  FuzzCheck(figures.events == before - removed, "figures count other events");
  // Half a tick of the slowest tempo is slowest / (2 D') us: slowest * D in
  // units of 1 / (2 D D') us.
  const std::uint64_t largest = static_cast<std::uint64_t>(
      figures.largestError < 0 ? -figures.largestError : figures.largestError);
  FuzzCheck(largest <= slowest * map.division, "an event off by more than half a tick");

  ttByteArray image;
  const std::uint32_t written = BuildSmfImage(image);
  FuzzCheck(written == 0 || ValidateSmfImage(image.data, written).fault == ttSmfFault::kOk,
            "an image the validator refuses");
  return 0;
}
