#pragma once
// Everything a file held besides its events, as ReadSmfFile found it and
// BuildSmfFileImage writes it back: the container around the SMF, the header
// chunk's extra bytes, the chunks that are not track chunks, and what the
// reading repaired or has to tell about the file.

#include <cstdint>
#include <string>
#include <vector>

enum class ttSmfContainer {
  kPlain,      // the file is the SMF
  kMacBinary,  // behind a 128-byte MacBinary header; written back as a plain SMF
  kRiff,       // the data of the "data" chunk of a RIFF "RMID" file
};

// A chunk kept byte for byte: its id and its data, without id and length.
struct ttSmfChunk {
  char id[4];
  std::vector<std::uint8_t> data;
  // In `chunks`: how many of the track chunks that were read stood before it.
  // Unused in `riffChunks`.
  std::uint32_t tracksBefore;
};

// What a note is about. The first group are repairs, made only when asked;
// the second are facts worth telling that change nothing.
enum class ttSmfNoteKind {
  // A data byte after a meta or system-exclusive event, which cancel running
  // status: the channel status before that event continues.
  kRunningStatusAfterMeta,
  kRunningStatusAfterSysex,
  // A track chunk that ends without an end-of-track event: one is added at
  // the tick of its last event (`value`).
  kEndOfTrackAdded,
  // A chunk (`chunkId`) announcing `value` bytes of which only `count` are in
  // the file: read to the end of the file.
  kChunkPastEnd,
  // The event cut off by the end of the file: its `count` bytes dropped.
  kIncompleteEventDropped,
  // `count` bytes after the end-of-track event inside its chunk: dropped.
  kBytesAfterEndOfTrack,
  // The header announces `value` chunks and the file holds others: all
  // `count` track chunks present are read.
  kTrackCount,
  // `count` bytes after the last chunk: dropped.
  kTrailingBytes,

  // `count` bytes after the last chunk, which the reading passes over.
  kTrailingBytesIgnored,
  // `count` track chunks after the `value` chunks the header announces: not
  // read, as the dialogs do not read them; a reading with repairs reads them
  // (unless one is beyond repair).
  kTrackChunksIgnored,
  // The SMF stood behind a MacBinary header, which is not written back: its
  // data-fork length and checksum would no longer match.
  kMacBinary,
};

struct ttSmfNote {
  ttSmfNoteKind kind;
  std::uint32_t offset;  // in the file: the (first) place concerned
  std::int32_t track;    // track chunk number from 0, in file order; -1 for none
  std::uint32_t count;   // occurrences, bytes or chunks, as the kind says
  std::uint32_t value;   // as the kind says
  char chunkId[4];       // kChunkPastEnd only
};

struct ttSmfLayout {
  ttSmfContainer container = ttSmfContainer::kPlain;
  // The header chunk's bytes after the division, when its length is over 6.
  std::vector<std::uint8_t> headerExtra;
  // Chunks that are not track chunks, in file order.
  std::vector<ttSmfChunk> chunks;
  // kRiff: the RIFF chunks other than the "data" chunk that holds the SMF, in
  // file order; the first riffChunksBeforeData of them stood before it.
  std::vector<ttSmfChunk> riffChunks;
  std::uint32_t riffChunksBeforeData = 0;
  // Repairs made (or, when the file was refused as repairable, those that a
  // reading with repairs would make), then notes; at most one note of a kind
  // per track or place, counting its occurrences.
  std::vector<ttSmfNote> repairs;
  std::vector<ttSmfNote> notes;
};

// A stable short name of the kind ("running-status-after-meta"), for scripts.
const char* SmfNoteId(ttSmfNoteKind kind);

// One English sentence with the track and the byte offset concerned.
std::string DescribeSmfNote(const ttSmfNote& note);
