#include "TempoMapConversion.h"

#include "ExactTempo.h"
#include "NoteLengths.h"
#include "SourceLoading.h"  // IsTempoEvent

namespace {

constexpr std::uint64_t kLastTick = 0xFFFFFFFFu;

// One stretch of the map, from a tempo event (or tick 0) to the next. With
// T the source time and T' the output time (microseconds times D and D') at
// the stretch's start, an event `ticks` after its start goes to
//   outTick + floor(y / unit),  y = base + ticks * step,
// where base = 2 (T D' - T' D) + D N, step = 2 S D', unit = 2 D N: all of the
// real-time comparison multiplied out by 2 D D'. The remainder y mod unit
// gives the event's error, so the report costs no division of its own.
struct Segment {
  std::uint32_t tick;
  std::uint32_t outTick;
  std::uint32_t tempo;     // source tempo S
  std::uint32_t outTempo;  // output tempo N
  std::int64_t base;       // within +-2^42
  std::uint64_t step;
  std::uint64_t unit;
  // Up to this many ticks from the start, y fits in 63 bits: a plain 64-bit
  // division, the only one per event. Beyond it (a gap of millions of ticks
  // at a slow tempo and a fine division) the 128-bit path.
  std::uint64_t fastTicks;
};

Segment MakeSegment(std::uint32_t tick, std::uint64_t outTick, std::uint32_t tempo,
                    std::uint32_t outTempo, std::int64_t error, std::uint32_t division,
                    std::uint32_t outDivision) {
  Segment s{};
  s.tick = tick;
  s.outTick = static_cast<std::uint32_t>(outTick);
  s.tempo = tempo;
  s.outTempo = outTempo;
  s.step = 2 * std::uint64_t{tempo} * outDivision;
  s.unit = 2 * std::uint64_t{division} * outTempo;
  // The start's own error e = 2 (T' D - T D') carries into every later event.
  s.base = static_cast<std::int64_t>(s.unit / 2) - error;
  s.fastTicks = (std::uint64_t{1} << 62) / s.step;
  return s;
}

// The output tick of `tick` within the segment, never before its start (a
// tempo event that landed late, or with a much slower tempo before it, puts
// the start after some source times of its stretch), and its error. False
// when the tick does not fit in 32 bits.
bool Place(const Segment& s, std::uint32_t tick, std::uint64_t* out, std::int64_t* error) {
  const std::uint64_t ticks = tick - s.tick;
  std::uint64_t q = 0;
  std::int64_t rest = 0;
  if (ticks <= s.fastTicks) {
    const std::int64_t y = s.base + static_cast<std::int64_t>(ticks * s.step);
    if (y >= 0) {
      q = static_cast<std::uint64_t>(y) / s.unit;
      rest = static_cast<std::int64_t>(static_cast<std::uint64_t>(y) - q * s.unit);
    } else {
      rest = y;
    }
  } else {
    // Here ticks * step > 2^62 > -base: y is positive.
    ttUint128 y = MultiplyWide(ticks, s.step);
    y = s.base >= 0 ? AddWide(y, ttUint128{0, static_cast<std::uint64_t>(s.base)})
                    : SubtractWide(y, ttUint128{0, static_cast<std::uint64_t>(-s.base)});
    std::uint64_t r = 0;
    if (!DivideWide(y, s.unit, &q, &r))
      return false;
    rest = static_cast<std::int64_t>(r);
  }
  if (q > kLastTick - s.outTick)
    return false;
  *out = s.outTick + q;
  *error = static_cast<std::int64_t>(s.unit / 2) - rest;
  return true;
}

void WriteTempo(ttSmfEvent& event, std::uint32_t tempo) {
  std::uint32_t offset = 0;
  IsTempoEvent(event, &offset);
  std::uint8_t* t = event.bytes.data + offset;
  t[0] = static_cast<std::uint8_t>(tempo >> 16);
  t[1] = static_cast<std::uint8_t>(tempo >> 8);
  t[2] = static_cast<std::uint8_t>(tempo);
}

// All or nothing: the event is complete before it joins the track.
void AddTempoAtFront(ttSmfTrack& track, std::uint32_t tempo) {
  const std::uint8_t bytes[] = {0xFF,
                                0x51,
                                0x03,
                                static_cast<std::uint8_t>(tempo >> 16),
                                static_cast<std::uint8_t>(tempo >> 8),
                                static_cast<std::uint8_t>(tempo)};
  ttSmfTrack one;
  one.push_back(ttSmfEvent{0, ttByteArray()});
  one.back().bytes.Store(bytes, sizeof bytes, 0);
  track.splice(track.begin(), one);
}

ttMapOutcome Refused(ttMapResult result) {
  ttMapOutcome outcome;
  outcome.result = result;
  return outcome;
}

}  // namespace

void ttConversionFigures::Add(std::int64_t error, std::uint32_t tick, std::uint32_t outputTick,
                              std::uint32_t track, std::uint32_t event) {
  const std::uint64_t size =
      error < 0 ? static_cast<std::uint64_t>(-error) : static_cast<std::uint64_t>(error);
  errorSum = AddWide(errorSum, ttUint128{0, size});
  const std::uint64_t largest = largestError < 0 ? static_cast<std::uint64_t>(-largestError)
                                                 : static_cast<std::uint64_t>(largestError);
  if (size > largest || events == 0) {
    largestError = error;
    largestErrorTick = tick;
    largestErrorOutputTick = outputTick;
    largestErrorTrack = track;
    largestErrorEvent = event;
  }
  ++events;
}

double ttConversionFigures::LargestErrorMicroseconds() const {
  const double size =
      largestError < 0 ? -static_cast<double>(largestError) : static_cast<double>(largestError);
  return size / static_cast<double>(errorScale);
}

double ttConversionFigures::MeanErrorMicroseconds() const {
  if (events == 0)
    return 0.0;
  const double sum = static_cast<double>(errorSum.high) * 18446744073709551616.0 +
                     static_cast<double>(errorSum.low);
  return sum / static_cast<double>(events) / static_cast<double>(errorScale);
}

ttMapOutcome ConvertWithTempoMap(ttSmfSequence& sequence, const ttTempoMap& map,
                                 const ttMapRequest& request, ttConversionFigures* figures) {
  const std::vector<ttTempoChange>& changes = map.changes;
  const std::size_t n = changes.size();
  if (map.division == 0)
    return Refused(ttMapResult::kUnsupported);
  for (const ttTempoChange& change : changes) {
    if (change.tempo == 0)
      return Refused(ttMapResult::kUnsupported);
  }
  if (request.mode == ttTempoMapMode::kRefuse && !map.IsSingleTempo())
    return Refused(ttMapResult::kTempoMap);
  const bool flatten = request.mode == ttTempoMapMode::kFlatten;
  const std::uint32_t startTempo = map.StartTempo();
  const std::uint32_t tempo = request.tempo != 0 ? request.tempo : startTempo;

  // The output tempo after each tempo event.
  std::vector<std::uint32_t> outTempos(n, tempo);
  if (!flatten) {
    for (std::size_t j = 0; j < n; ++j) {
      const std::uint64_t scaled = (2 * std::uint64_t{changes[j].tempo} * tempo + startTempo) /
                                   (2 * std::uint64_t{startTempo});
      if (scaled < 1 || scaled > kTempoEventMax) {
        ttMapOutcome outcome = Refused(ttMapResult::kScaledTempo);
        outcome.tick = changes[j].tick;
        outcome.tempo = scaled;
        return outcome;
      }
      outTempos[j] = static_cast<std::uint32_t>(scaled);
    }
  }

  std::uint32_t division = request.division != 0 ? request.division : map.division;
  if (request.exact) {
    std::vector<std::uint32_t> scaled;
    for (const ttTempoChange& change : changes) {
      if (!flatten) {
        scaled.push_back(change.tempo);
      } else if (change.tempo != startTempo) {
        return Refused(ttMapResult::kExactFlatten);
      }
    }
    if (!ExactDivision(map.division, startTempo, scaled, tempo, &division)) {
      ttMapOutcome outcome = Refused(ttMapResult::kNotExact);
      NearestExactTempos(map.division, startTempo, scaled, tempo, &outcome.slower, &outcome.faster);
      return outcome;
    }
  }

  // The new map, stretch by stretch: each tempo event lands within the
  // stretch before it, whose start is already known, so the map is complete
  // before the first event moves.
  //
  // Tempo events that land on one output tick are read in the output's order
  // there, which for kept tracks is by track: the one last in that order
  // sets the tempo that follows, whatever their order in the source.
  std::vector<Segment> segments;
  segments.reserve(n + 1);
  segments.push_back(MakeSegment(0, 0, kUnstatedTempo, tempo, 0, map.division, division));
  std::size_t last = 0;  // of the tempo events on the latest output tick, the one read last
  for (std::size_t j = 0; j < n; ++j) {
    const Segment& before = segments.back();
    std::uint64_t out = 0;
    std::int64_t error = 0;
    if (!Place(before, changes[j].tick, &out, &error))
      return Refused(ttMapResult::kTimeOverflow);
    const ttTempoChange& c = changes[last];
    if (out != before.outTick || c.track < changes[j].track ||
        (c.track == changes[j].track && c.position < changes[j].position)) {
      last = j;
    }
    segments.push_back(MakeSegment(changes[j].tick, out, changes[j].tempo, outTempos[last], error,
                                   map.division, division));
  }

  ttNoteLengths notes(request.minNote);
  const bool noting = figures != nullptr || request.minNote > 0;
  std::uint32_t endTick = 0;
  std::int64_t endError = 0;
  std::uint32_t trackIndex = 0;
  for (ttSmfTrack& track : sequence.tracks) {
    if (noting)
      notes.StartTrack();
    std::size_t j = 0;  // tempo events before the current event
    std::uint32_t position = 0;
    // Events come in runs on one tick (chords, controllers at a bar line):
    // a tick is placed once per run.
    std::uint32_t lastTick = 0;
    std::size_t lastSegment = n + 1;  // none yet
    std::uint64_t out = 0;
    std::int64_t error = 0;
    for (auto event = track.begin(); event != track.end(); ++position) {
      const std::uint32_t tick = event->time;
      while (j < n && ComesBefore(changes[j], tick, trackIndex, position))
        ++j;
      if (tick != lastTick || j != lastSegment) {
        if (!Place(segments[j], tick, &out, &error))
          return Refused(ttMapResult::kTimeOverflow);
        lastTick = tick;
        lastSegment = j;
      }
      if (j < n && changes[j].track == trackIndex && changes[j].position == position) {
        if (flatten && (j != 0 || tick != 0)) {
          event = track.erase(event);
          continue;
        }
        WriteTempo(*event, outTempos[j]);
      }
      event->time = static_cast<std::uint32_t>(out);
      if (figures != nullptr)
        figures->Add(error, tick, event->time, trackIndex, position);
      if (noting)
        notes.Event(track, event, tick);
      ++event;
    }
    if (noting)
      notes.FinishTrack(track);
    if (lastTick >= endTick) {
      endTick = lastTick;
      endError = error;
    }
    ++trackIndex;
  }

  if (n == 0 || changes.front().tick != 0)
    AddTempoAtFront(sequence.tracks.front(), tempo);
  sequence.division = static_cast<std::uint16_t>(division);

  if (figures != nullptr) {
    figures->outputTempo = tempo;
    figures->outputDivision = division;
    figures->errorScale = 2 * std::uint64_t{map.division} * division;
    figures->sourceSeconds = map.SecondsAt(endTick);
    figures->outputSeconds = figures->sourceSeconds + static_cast<double>(endError) /
                                                          static_cast<double>(figures->errorScale) /
                                                          1e6;
    figures->zeroLengthNotes = notes.zeroLength;
    figures->lengthenedNotes = notes.lengthened;
  }
  return ttMapOutcome{};
}

void MeasurePlainConversion(ttSmfTrack& track, const std::vector<std::uint32_t>& sourceTimes,
                            std::uint32_t sourceTempo, std::uint32_t newTempo,
                            std::uint32_t division, ttConversionFigures* figures) {
  figures->outputTempo = newTempo;
  figures->outputDivision = division;
  figures->errorScale = 2 * std::uint64_t{division} * division;
  ttNoteLengths notes(0);
  notes.StartTrack();
  auto event = track.begin();
  if (track.size() > sourceTimes.size())
    ++event;  // the tempo event added at the front
  std::uint32_t position = 0;
  for (; event != track.end() && position < sourceTimes.size(); ++event, ++position) {
    const std::uint32_t tick = sourceTimes[position];
    // Both products are below 2^56; their difference is within a tick's time.
    const std::int64_t error = 2 * std::int64_t{division} *
                               (static_cast<std::int64_t>(std::uint64_t{event->time} * newTempo) -
                                static_cast<std::int64_t>(std::uint64_t{tick} * sourceTempo));
    figures->Add(error, tick, event->time, 0, position);
    notes.Event(track, event, tick);
  }
  if (!sourceTimes.empty() && !track.empty()) {
    const double scale = 1e6 * static_cast<double>(division);
    figures->sourceSeconds =
        static_cast<double>(std::uint64_t{sourceTimes.back()} * sourceTempo) / scale;
    figures->outputSeconds =
        static_cast<double>(std::uint64_t{track.back().time} * newTempo) / scale;
  }
  figures->zeroLengthNotes = notes.zeroLength;
}
