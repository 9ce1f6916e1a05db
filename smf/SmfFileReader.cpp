#include "SmfFileReader.h"

#include <cstring>  // std::memcmp, std::memcpy
#include <vector>

#include "SmfFormat.h"
#include "SmfRepair.h"
#include "ttByteArray.h"
#include "ttSmfParser.h"
#include "ttSmfSequence.h"

using namespace smf_format;

namespace {

ttSmfCheck Fault(ttSmfFault fault, std::uint32_t offset) {
  return ttSmfCheck{fault, offset};
}
constexpr ttSmfCheck kNoFault{ttSmfFault::kOk, 0};

struct Span {
  std::uint32_t offset;     // of the chunk's id, in the file
  std::uint32_t length;     // as announced
  std::uint32_t available;  // data bytes in the file
  bool track;
  bool announced;  // among the chunks the header announces
};

// What the container and the chunk headers say, before any event is read.
struct Scan {
  ttSmfContainer container = ttSmfContainer::kPlain;
  std::uint32_t smfStart = 0;  // "MThd"
  std::uint32_t smfEnd = 0;    // end of the bytes that may hold the SMF
  std::uint16_t format = 0;
  std::uint16_t count = 0;
  std::uint16_t division = 0;
  std::uint32_t headerEnd = 0;  // after the header chunk's extra bytes
  std::vector<Span> chunks;     // after the header chunk, in file order
  std::vector<Span> riffChunks;
  std::uint32_t riffChunksBeforeData = 0;
  std::vector<ttSmfNote> pastEnd;  // chunks that run past the end of the file
  bool cut = false;  // one of them is the RIFF chunk, a RIFF chunk or an announced chunk
  std::vector<ttSmfNote> trailing;  // bytes in no chunk, as kTrailingBytes
  std::uint32_t announcedPresent = 0;
  std::uint32_t laterTracks = 0;  // track chunks after the announced chunks
  std::uint32_t firstLaterTrack = 0;
};

ttSmfNote PastEnd(const std::uint8_t* id, std::uint32_t offset, std::uint32_t length,
                  std::uint32_t available) {
  ttSmfNote note{ttSmfNoteKind::kChunkPastEnd, offset, -1, available, length, {}};
  std::memcpy(note.chunkId, id, 4);
  return note;
}

void Trailing(Scan& s, std::uint32_t from, std::uint32_t to) {
  if (from < to)
    s.trailing.push_back(ttSmfNote{ttSmfNoteKind::kTrailingBytes, from, -1, to - from, 0, {}});
}

// The RIFF chunk's subchunks; the first "data" chunk holds the SMF. A pad byte
// missing after the last chunk loses nothing and is not asked for, also where
// the RIFF size counts it.
ttSmfCheck ScanRiff(const std::uint8_t* d, std::uint32_t size, Scan& s) {
  s.container = ttSmfContainer::kRiff;
  const std::uint32_t riffSize = ReadLittleEndian32(d + 4);
  if (riffSize < 4)
    return Fault(ttSmfFault::kBadHeader, 4);
  const bool over = riffSize > size - 8;
  const std::uint32_t end = over ? size : 8 + riffSize;
  bool padMissing = false;
  bool data = false;
  std::uint32_t pos = kRiffHeaderSize;
  while (end - pos >= 8) {
    const std::uint8_t* id = d + pos;
    const std::uint32_t length = ReadLittleEndian32(id + 4);
    const std::uint32_t room = end - pos - 8;
    const std::uint32_t available = length < room ? length : room;
    if (length > room) {
      s.pastEnd.push_back(PastEnd(id, pos, length, room));
      s.cut = true;
    }
    if (!data && std::memcmp(id, kRiffDataId, 4) == 0) {
      data = true;
      s.smfStart = pos + 8;
      s.smfEnd = pos + 8 + available;
      s.riffChunksBeforeData = static_cast<std::uint32_t>(s.riffChunks.size());
    } else {
      s.riffChunks.push_back(Span{pos, length, available, false, true});
    }
    pos += 8 + available;
    padMissing = (available & 1) != 0 && available == length && pos == end;
    if ((available & 1) != 0 && pos < end)
      ++pos;  // the pad byte
  }
  if (over && !(padMissing && riffSize - (size - 8) == 1)) {
    s.pastEnd.insert(s.pastEnd.begin(), PastEnd(d, 0, riffSize, size - 8));
    s.cut = true;
  }
  if (!data)
    return Fault(ttSmfFault::kBadHeader, kRiffHeaderSize);
  Trailing(s, pos, end);
  Trailing(s, end, size);
  if (s.smfEnd - s.smfStart < 4 || std::memcmp(d + s.smfStart, kHeaderId, 4) != 0)
    return Fault(ttSmfFault::kBadHeader, s.smfStart);
  return kNoFault;
}

// Where the SMF starts, as the strict reader finds it, or in a RIFF file.
ttSmfCheck ScanContainer(const std::uint8_t* d, std::uint32_t size, Scan& s) {
  if (size >= kRiffHeaderSize && std::memcmp(d, kRiffId, 4) == 0 &&
      std::memcmp(d + 8, kRmidId, 4) == 0)
    return ScanRiff(d, size, s);
  s.smfEnd = size;
  if (size < 4)
    return Fault(ttSmfFault::kTruncated, size);
  if (std::memcmp(d, kHeaderId, 4) == 0)
    return kNoFault;
  if (d[0] != 0x00)
    return Fault(ttSmfFault::kBadHeader, 0);
  if (size < kMacBinarySize + 4)
    return Fault(ttSmfFault::kTruncated, size);
  if (d[kMacBinaryZero1] != 0x00 || d[kMacBinaryZero2] != 0x00 ||
      std::memcmp(d + kMacBinarySize, kHeaderId, 4) != 0)
    return Fault(ttSmfFault::kBadHeader, 0);
  s.container = ttSmfContainer::kMacBinary;
  s.smfStart = kMacBinarySize;
  return kNoFault;
}

// The header chunk, with the strict reader's checks; "MThd" is already there.
ttSmfCheck ScanHeader(const std::uint8_t* d, Scan& s) {
  const std::uint32_t at = s.smfStart;
  const std::uint32_t room = s.smfEnd - at;
  if (room < 14)
    return Fault(ttSmfFault::kTruncated, s.smfEnd);
  const std::uint32_t length = ReadBigEndian32(d + at + 4);
  if (length < 6)
    return Fault(ttSmfFault::kBadHeader, at + 4);
  s.format = ReadBigEndian16(d + at + 8);
  if (s.format > 2)
    return Fault(ttSmfFault::kBadFormat, at + 8);
  s.count = ReadBigEndian16(d + at + 10);
  s.division = ReadBigEndian16(d + at + 12);
  if (ClassifyDivision(s.division) == 5)
    return Fault(ttSmfFault::kBadDivision, at + 12);
  if (length - 6 > room - 14)
    return Fault(ttSmfFault::kTruncated, s.smfEnd);
  s.headerEnd = at + 8 + length;
  return kNoFault;
}

// Chunk headers from the header chunk to the end of the SMF's bytes. The
// announced chunks are taken as the strict reader takes them, whatever their
// ids; after them a chunk needs an id of text, and one that runs past the end
// of the file is a chunk only if it is a track chunk.
ttSmfCheck ScanChunks(const std::uint8_t* d, Scan& s) {
  std::uint32_t pos = s.headerEnd;
  for (std::uint32_t i = 0; s.smfEnd - pos >= 8; ++i) {
    const std::uint8_t* id = d + pos;
    const bool announced = i < s.count;
    if (std::memcmp(id, kHeaderId, 4) == 0) {
      if (announced)
        return Fault(ttSmfFault::kHeaderInChunks, pos);
      break;
    }
    const bool track = std::memcmp(id, kTrackId, 4) == 0;
    if (!announced && !IsTextId(id))
      break;
    const std::uint32_t length = ReadBigEndian32(id + 4);
    const std::uint32_t room = s.smfEnd - pos - 8;
    if (length > room) {
      if (!track && !(announced && IsTextId(id)))
        break;
      s.pastEnd.push_back(PastEnd(id, pos, length, room));
      s.cut |= announced;
    }
    const std::uint32_t available = length < room ? length : room;
    s.chunks.push_back(Span{pos, length, available, track, announced});
    if (announced)
      ++s.announcedPresent;
    if (track && !announced && s.laterTracks++ == 0)
      s.firstLaterTrack = pos;
    pos += 8 + available;
  }
  Trailing(s, pos, s.smfEnd);
  return kNoFault;
}

std::vector<std::uint8_t> Bytes(const std::uint8_t* d, std::uint32_t from, std::uint32_t n) {
  return std::vector<std::uint8_t>(d + from, d + from + n);
}

// Everything but the events into the layout. allTracks: every track chunk was
// read, not only the announced ones.
void KeepLayout(const std::uint8_t* d, const Scan& s, bool allTracks, ttSmfLayout& layout) {
  layout.container = s.container;
  layout.headerExtra = Bytes(d, s.smfStart + 14, s.headerEnd - s.smfStart - 14);
  std::uint32_t tracks = 0;
  for (const Span& c : s.chunks) {
    if (!c.track) {
      layout.chunks.push_back(ttSmfChunk{{}, Bytes(d, c.offset + 8, c.available), tracks});
      std::memcpy(layout.chunks.back().id, d + c.offset, 4);
    } else if (allTracks || c.announced) {
      ++tracks;
    }
  }
  for (const Span& c : s.riffChunks) {
    layout.riffChunks.push_back(ttSmfChunk{{}, Bytes(d, c.offset + 8, c.available), 0});
    std::memcpy(layout.riffChunks.back().id, d + c.offset, 4);
  }
  layout.riffChunksBeforeData = s.riffChunksBeforeData;
  if (s.container == ttSmfContainer::kMacBinary)
    layout.notes.push_back(ttSmfNote{ttSmfNoteKind::kMacBinary, 0, -1, kMacBinarySize, 0, {}});
}

// Reads the file as the strict reader does, the layout with it; false when
// the strict reader refuses it.
bool ReadAsItStands(const std::uint8_t* d, std::uint32_t size, const Scan& s, bool repair,
                    ttSmfLayout& layout) {
  ttSmfParser parser;
  // The strict reader finds a MacBinary header itself.
  const bool read = s.container == ttSmfContainer::kRiff
                        ? parser.Parse(d + s.smfStart, s.smfEnd - s.smfStart)
                        : parser.Parse(d, size);
  if (!read)
    return false;
  KeepLayout(d, s, false, layout);
  for (ttSmfNote note : s.trailing) {
    if (!repair)
      note.kind = ttSmfNoteKind::kTrailingBytesIgnored;
    (repair ? layout.repairs : layout.notes).push_back(note);
  }
  if (s.laterTracks > 0) {
    layout.notes.push_back(ttSmfNote{
        ttSmfNoteKind::kTrackChunksIgnored, s.firstLaterTrack, -1, s.laterTracks, s.count, {}});
  }
  return true;
}

// The strict reader's reason for refusing the SMF.
ttSmfCheck StrictFault(const std::uint8_t* d, std::uint32_t size, const Scan& s) {
  const bool riff = s.container == ttSmfContainer::kRiff;
  ttSmfCheck fault =
      ValidateSmfImage(d + (riff ? s.smfStart : 0), riff ? s.smfEnd - s.smfStart : size);
  fault.offset += riff ? s.smfStart : 0;
  return fault;
}

}  // namespace

ttSmfReadResult ReadSmfFile(const std::uint8_t* data, std::uint32_t size, bool repair,
                            ttSmfLayout& layout) {
  layout = ttSmfLayout();
  CurrentSequence.Clear();
  Scan scan;
  ttSmfCheck fault = ScanContainer(data, size, scan);
  if (fault.fault == ttSmfFault::kOk)
    fault = ScanHeader(data, scan);
  if (fault.fault == ttSmfFault::kOk)
    fault = ScanChunks(data, scan);
  if (fault.fault != ttSmfFault::kOk)
    return ttSmfReadResult{ttSmfReadStatus::kRefused, fault};

  // Most files: the strict reader reads them as they stand, and a clean file
  // costs nothing beyond its chunk headers. Chunks cut short or missing make
  // it refuse; track chunks after the announced ones it leaves unread, which
  // a reading with repairs reads.
  const bool whole = !scan.cut && scan.announcedPresent == scan.count;
  const bool later = repair && scan.laterTracks > 0;
  if (whole && !later && ReadAsItStands(data, size, scan, repair, layout))
    return ttSmfReadResult{ttSmfReadStatus::kRead, kNoFault};

  // The track chunks present decide whether repairs read the file.
  std::vector<ttSmfNote> repairs = scan.pastEnd;
  std::vector<ttSmfTrackSpan> spans;
  for (const Span& c : scan.chunks) {
    if (c.track)
      spans.push_back(ttSmfTrackSpan{c.offset + 8, c.available, c.available < c.length});
  }
  if (scan.announcedPresent != scan.count || scan.laterTracks > 0) {
    repairs.push_back(ttSmfNote{ttSmfNoteKind::kTrackCount,
                                scan.smfStart + 10,
                                -1,
                                static_cast<std::uint32_t>(spans.size()),
                                scan.count,
                                {}});
  }
  ttSmfRepair plan;
  fault = spans.size() > 0xFFFF ? Fault(ttSmfFault::kBadHeader, scan.smfStart + 10)
                                : plan.Plan(data, spans, repairs);
  if (fault.fault != ttSmfFault::kOk) {
    // Repairs never read less than the strict reader: when a track chunk it
    // leaves unread is beyond repair, the file is read as it stands.
    if (whole && later && ReadAsItStands(data, size, scan, repair, layout))
      return ttSmfReadResult{ttSmfReadStatus::kRead, kNoFault};
    return ttSmfReadResult{ttSmfReadStatus::kRefused, fault};
  }
  // Nothing to mend, yet the strict reader refused: it has the last word.
  if (repairs.empty())
    return ttSmfReadResult{ttSmfReadStatus::kRefused, StrictFault(data, size, scan)};
  repairs.insert(repairs.end(), scan.trailing.begin(), scan.trailing.end());
  if (!repair) {
    layout.repairs = repairs;
    return ttSmfReadResult{ttSmfReadStatus::kRepairable, kNoFault};
  }

  ttByteArray clean;
  if (!plan.Build(data, scan.format, scan.division, clean))
    return ttSmfReadResult{ttSmfReadStatus::kTooLarge, kNoFault};
  // The walk and the strict reader agree on every event; a refusal here is a
  // fault of ours (which fuzzing looks for), told with an offset in the
  // repaired image.
  ttSmfParser parser;
  if (!parser.Parse(clean.data, clean.length))
    return ttSmfReadResult{ttSmfReadStatus::kRefused, ValidateSmfImage(clean.data, clean.length)};
  clean.Resize(0, 1);
  KeepLayout(data, scan, true, layout);
  layout.repairs = repairs;
  return ttSmfReadResult{ttSmfReadStatus::kRead, kNoFault};
}
