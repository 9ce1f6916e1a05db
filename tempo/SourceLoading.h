#pragma once
// Loads a file into CurrentSequence and accepts it only when it can be
// converted exactly: format 0 or 1, ticks per quarter note, at most one tempo
// event and that one at tick 0. The tracks are merged into one.

#include <cstdint>

#include "Platform.h"
#include "ttSmfSequence.h"

// Tempo of the loaded source in microseconds per quarter note (500000 when the
// file has no tempo event). 0 at start.
extern std::uint32_t SourceTempo;
// 60000000.0 / SourceTempo; -1.0 at start and from the start of every load
// until a load succeeds.
extern double SourceBpm;

// True when the file was read, parsed, accepted and normalised. False after
// exactly one message box, owned by `window`, that says why.
bool LoadSourceSmf(ttWindow window, const char* path);

// LoadSourceSmf with another acceptance step after the parse: `accept` gets
// the window and `context`, and shows its own message when it refuses.
bool LoadSourceSmfWith(ttWindow window, const char* path, bool (*accept)(ttWindow, void*),
                       void* context);

// The checks of AcceptParsedSource that concern no tempo: format 0 or 1,
// ticks per quarter note, at least one track, tick times in order. With
// `merge` the tracks are merged into the first and format 1 becomes 0;
// without, they are left as they are. False after one message box.
bool AcceptSourceTracks(ttWindow window, bool merge);

// The part of loading after a successful parse of CurrentSequence: refuses
// what cannot be converted, merges the tracks and sets SourceTempo and
// SourceBpm. False after exactly one message box owned by `window`.
bool AcceptParsedSource(ttWindow window);

// Moves every event of `other` into `destination` by time (stable: at equal
// times destination's events come first), after dropping the earlier of the
// two end-of-track events (destination's when both end at the same tick).
// `other` is left empty.
void MergeTracks(ttSmfTrack& destination, ttSmfTrack& other);

// Merges every track of the sequence into its first, in file order, with the
// result MergeTracks gives when applied to the tracks one after the other.
void MergeAllTracks(ttSmfSequence& sequence);

// A set-tempo meta event with a 3-byte payload, whatever the number of bytes
// its length was written in. *tempoOffset receives the index of the first of
// the three tempo bytes.
bool IsTempoEvent(const ttSmfEvent& event, std::uint32_t* tempoOffset);
