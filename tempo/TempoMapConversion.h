#pragma once
// Tempo changes on sequences whose tempo may change along the way, in exact
// integer arithmetic: every event goes to the output tick whose real time is
// nearest its real time in the source (halves up), computed from its
// absolute tick through the whole tempo map, so nothing drifts.
//
// Real time is counted in microseconds times the division: T(t) is the sum,
// over the map's stretches up to tick t, of ticks x tempo. An event at source
// tick t (division D) goes to output tick t' (division D', tempo N):
//   flatten: t' = floor((2 T(t) D' + D N) / (2 D N))
//   scale:   the same within each stretch of the new map, from the tick
//            where that stretch's tempo event landed.
// Works on merged sequences (one track) and on sequences whose tracks are
// kept apart: an event lands on the same tick either way.

#include <cstdint>
#include <vector>

#include "TempoMap.h"
#include "Uint128.h"
#include "ttSmfSequence.h"

enum class ttTempoMapMode {
  // Only what the plain conversion takes: at most one tempo event, at tick 0.
  kRefuse,
  // One tempo event, at tick 0, with the new tempo; every other one removed.
  kFlatten,
  // The map keeps its shape: the tempo at tick 0 becomes the new one and
  // every later tempo is scaled by the same ratio (whole microseconds,
  // nearest, halves up).
  kScale,
};

struct ttMapRequest {
  ttTempoMapMode mode = ttTempoMapMode::kRefuse;
  // The new tempo at tick 0 in microseconds per quarter note; 0 keeps the
  // source's (500000 when no tempo event lies at tick 0).
  std::uint32_t tempo = 0;
  // Output ticks per quarter note (1..32767); 0 keeps the source's.
  std::uint32_t division = 0;
  // Keep every tick and change the division instead (`division` ignored).
  bool exact = false;
  // Lengthen the notes that the conversion makes shorter than this many
  // ticks (see ttNoteLengths); 0 leaves every note as it comes.
  std::uint32_t minNote = 0;
};

enum class ttMapResult {
  kOk,
  kTempoMap,      // kRefuse, and the source changes tempo or starts it after tick 0
  kUnsupported,   // a tempo event holds 0, or the division is 0
  kScaledTempo,   // a scaled tempo is outside 1..16777215 (see tick, tempo)
  kNotExact,      // exact: no whole division (see slower, faster)
  kExactFlatten,  // exact: a map of several tempos cannot be flattened without moving ticks
  kTimeOverflow,  // an output tick beyond 2^32 - 1
};

struct ttMapOutcome {
  ttMapResult result = ttMapResult::kOk;
  std::uint32_t tick = 0;   // kScaledTempo: the tempo event's tick
  std::uint64_t tempo = 0;  // kScaledTempo: its scaled tempo
  // kNotExact: the nearest exact tempos, slower and faster (0: none).
  std::uint32_t slower = 0;
  std::uint32_t faster = 0;
};

// What a conversion did, for a report. Timing errors are output time minus
// source time in units of 1 / errorScale microseconds, exact.
struct ttConversionFigures {
  std::uint32_t outputTempo = 0;
  std::uint32_t outputDivision = 0;
  std::uint64_t errorScale = 1;
  std::uint64_t events = 0;  // events placed (removed tempo events and added ones not counted)
  std::int64_t largestError = 0;
  std::uint32_t largestErrorTick = 0;        // its source tick
  std::uint32_t largestErrorOutputTick = 0;  // where it went
  std::uint32_t largestErrorTrack = 0;
  std::uint32_t largestErrorEvent = 0;  // index in its track as loaded
  ttUint128 errorSum{0, 0};             // of the absolute errors
  double sourceSeconds = 0;
  double outputSeconds = 0;
  std::uint64_t zeroLengthNotes = 0;
  std::uint64_t lengthenedNotes = 0;

  void Add(std::int64_t error, std::uint32_t tick, std::uint32_t outputTick, std::uint32_t track,
           std::uint32_t event);
  double LargestErrorMicroseconds() const;  // absolute
  double MeanErrorMicroseconds() const;     // of the absolute errors
};

// Converts `sequence`, whose tempo map `map` is (ScanTempoMap), in place:
// tempo events rewritten, removed or added, every tick time moved, the
// division set. With `figures`, fills them in (one walk either way).
// Anything but kOk may leave the sequence partly converted: it must then be
// loaded again, never written.
ttMapOutcome ConvertWithTempoMap(ttSmfSequence& sequence, const ttTempoMap& map,
                                 const ttMapRequest& request, ttConversionFigures* figures);

// Figures for a merged track that ConvertTempo converted from `sourceTimes`
// (the times of its events before, in order; the tempo event it may have
// added at the front has none). One walk.
void MeasurePlainConversion(ttSmfTrack& track, const std::vector<std::uint32_t>& sourceTimes,
                            std::uint32_t sourceTempo, std::uint32_t newTempo,
                            std::uint32_t division, ttConversionFigures* figures);
