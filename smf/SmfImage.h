#pragma once
// The writer: CurrentSequence to the bytes of an SMF file. Two passes: measure
// every chunk, allocate the image once at its exact size, emit front to back.

#include <cstdint>
#include <vector>

#include "ttByteArray.h"
#include "ttSmfSequence.h"

// The limit of the format that made the writer refuse a sequence.
enum class ttSmfLimit {
  // A delta time above 0x0FFFFFFF: a time jump too far, or a time smaller
  // than its predecessor's.
  kDeltaTime,
  kSize,        // a chunk or the whole image of 4 GiB or more
  kTrackCount,  // more than 65535 tracks
};

// Size of one track chunk including its 8-byte id and length field. Returns 0
// when the track cannot be written as an SMF chunk (a delta time or the
// chunk's size); *limit, when given, then receives which.
std::uint32_t MeasureTrackChunk(const ttSmfTrack& track, ttSmfLimit* limit = nullptr);

// Writes the track's events as a track chunk's data (each delta time, then
// the event's bytes) at `to`, which has room for MeasureTrackChunk(track) - 8
// bytes (the track must be writable); returns the end of what it wrote.
std::uint8_t* EmitTrackEvents(std::uint8_t* to, const ttSmfTrack& track);

// Size of the whole image of CurrentSequence; with a list, the chunk sizes in
// track order are put into it. Returns 0 when any track cannot be written, the
// tracks are too many or the image would reach 4 GiB; *limit, when given,
// then receives which.
std::uint32_t MeasureSmfImage(std::vector<std::uint32_t>* sizes, ttSmfLimit* limit = nullptr);

// Replaces the array's contents with the image of CurrentSequence and returns
// its size in bytes (equal to out.length). Returns 0 and leaves `out` empty
// when the sequence cannot be written, with the limit in *limit as
// MeasureSmfImage gives it; an SMF image is never empty, so 0 always means
// refusal.
std::uint32_t BuildSmfImage(ttByteArray& out, ttSmfLimit* limit = nullptr);
