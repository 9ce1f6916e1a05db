#pragma once
// What the reader and the writer share about the SMF byte format.

#include <cstdint>

namespace smf_format {

// A file that does not begin with "MThd" may carry a 128-byte MacBinary
// header whose bytes 0, 74 and 82 are zero; the header chunk then starts
// right after it.
constexpr std::uint32_t kMacBinarySize = 128;
constexpr std::uint32_t kMacBinaryZero1 = 74;
constexpr std::uint32_t kMacBinaryZero2 = 82;

// Width in ticks of the next stretch that the reader and the merge take at a
// time: as wide as should hold `target` events by the last stretch's count
// (`taken` events in `width` ticks), within a factor of four of it, at least
// one tick and at most `widest`.
inline std::uint64_t NextStretchWidth(std::uint64_t width, std::uint64_t taken,
                                      std::uint64_t target, std::uint64_t widest) {
  std::uint64_t next = taken == 0 ? width * 4 : width * target / taken;
  if (next > width * 4)
    next = width * 4;
  if (next < width / 4)
    next = width / 4;
  return next == 0 ? 1 : next < widest ? next : widest;
}

// Chunk ids as the four bytes stand in the file.
constexpr char kHeaderId[4] = {'M', 'T', 'h', 'd'};
constexpr char kTrackId[4] = {'M', 'T', 'r', 'k'};

// A RIFF MIDI file: "RIFF", the size of what follows (little-endian, as every
// RIFF size), "RMID", then chunks of id, size and data, each odd-sized one
// followed by a pad byte; the SMF is the data of the "data" chunk.
constexpr char kRiffId[4] = {'R', 'I', 'F', 'F'};
constexpr char kRmidId[4] = {'R', 'M', 'I', 'D'};
constexpr char kRiffDataId[4] = {'d', 'a', 't', 'a'};
constexpr std::uint32_t kRiffHeaderSize = 12;  // "RIFF", size, "RMID"

// Chunk ids are four characters of text. After the chunks a header counts,
// only such an id tells a chunk from other bytes.
inline bool IsTextId(const std::uint8_t* id) {
  for (int i = 0; i < 4; ++i) {
    if (id[i] < 0x20 || id[i] > 0x7E)
      return false;
  }
  return true;
}

// A variable-length quantity has at most four bytes of seven bits each.
constexpr std::uint32_t kMaxVarLen = 0x0FFFFFFF;

// Bytes needed for v in the shortest form (v <= kMaxVarLen).
inline std::uint32_t VarLenSize(std::uint32_t v) {
  return v < 0x80 ? 1u : v < 0x4000 ? 2u : v < 0x200000 ? 3u : 4u;
}

inline std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

inline std::uint32_t ReadLittleEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
         std::uint32_t{p[0]};
}

inline std::uint16_t ReadBigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Meta types whose length is fixed by the format; -1 for any length.
inline int FixedMetaLength(std::uint8_t type) {
  switch (type) {
    case 0x00:
      return 2;  // sequence number
    case 0x20:
      return 1;  // channel prefix
    case 0x2F:
      return 0;  // end of track
    case 0x51:
      return 3;  // set tempo
    case 0x54:
      return 5;  // SMPTE offset
    case 0x58:
      return 4;  // time signature
    case 0x59:
      return 2;  // key signature
    default:
      return -1;
  }
}

constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTempo = 0x51;

}  // namespace smf_format
