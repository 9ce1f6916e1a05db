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

// A reading of the file's bytes into CurrentSequence in place of the strict
// reader's: false after its own message box, owned by `window`.
using ttParseStep = bool (*)(ttWindow window, const std::uint8_t* data, std::uint32_t size,
                             void* context);

// LoadSourceSmf with another acceptance step after the parse: `accept` gets
// the window and `context`, and shows its own message when it refuses. With
// `parse`, that reading (given `context` too) takes the strict reader's place.
bool LoadSourceSmfWith(ttWindow window, const char* path, bool (*accept)(ttWindow, void*),
                       void* context, ttParseStep parse = nullptr);

// The checks of AcceptParsedSource that concern no tempo: format 0 or 1,
// ticks per quarter note, at least one track, tick times in order. With
// `merge` the tracks are merged into the first and format 1 becomes 0;
// without, they are left as they are. False after one message box.
bool AcceptSourceTracks(ttWindow window, bool merge);

// The part of loading after a successful parse of CurrentSequence: refuses
// what cannot be converted, merges the tracks and sets SourceTempo and
// SourceBpm. False after exactly one message box owned by `window`.
bool AcceptParsedSource(ttWindow window);

// Merges every track of the sequence (one at least) into its first, as
// merging them one
// after the other in file order would: by time, at equal times the earlier
// track's events first and each track's in its own order; of the end-of-track
// events only the latest stays, last (the later track's on a tie). False,
// with nothing moved, when a track's times are not in order (they wrapped
// past 2^32 in the file): such tracks have no order to merge by.
bool MergeAllTracks(ttSmfSequence& sequence);

// A set-tempo meta event with a 3-byte payload, whatever the number of bytes
// its length was written in. *tempoOffset receives the index of the first of
// the three tempo bytes.
bool IsTempoEvent(const ttSmfEvent& event, std::uint32_t* tempoOffset);
