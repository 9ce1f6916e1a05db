#pragma once
// Relabels the loaded sequence with a new tempo while every event keeps its
// position in real time.

#include <cstdint>

enum class ttConvertResult {
  kOk,
  // The BPM is outside 3.5762787 to 60000000 (or not a number).
  kTempoOutOfRange,
  // A rescaled tick time does not fit in 32 bits.
  kTimeOverflow,
};

// The tempo in microseconds per quarter note for a BPM from 3.5762787 to
// 60000000, truncated toward zero: 16777215 to 1, what a tempo event holds.
// False for any other BPM.
bool TempoForBpm(double bpm, std::uint32_t* tempo);

// Writes the new tempo into the tempo event of the first track of
// CurrentSequence (adding one at tick 0 when the source had none) and sets
// every event's time to trunc(time * SourceTempo / newTempo + 0.5).
//
// Every call starts from the times of the loaded source, not from those of an
// earlier conversion, so converting again gives the same result as the first
// time. Nothing is changed when the BPM is out of range, nor when memory runs
// out (std::bad_alloc). After kTimeOverflow the sequence must not be written;
// a later call still starts afresh.
ttConvertResult ConvertTempo(double bpm);

// Forgets what earlier conversions remembered of the loaded source; loading
// calls it before a new source replaces the sequence.
void ResetConversionState();
