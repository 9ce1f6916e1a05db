#include "SmfValidator.h"

#include <cstring>  // std::memcmp

#include "SmfFormat.h"
#include "ttSmfParser.h"  // ClassifyDivision

using namespace smf_format;

namespace {

// A cursor that never reads at or past `end`. Inside a track chunk `end` is
// the chunk's end: the reader lets an event run on into the next bytes, but
// such a chunk then fails in every case (only an end-of-track event ending
// exactly at the chunk's last byte succeeds), so bounding by the chunk gives
// the same verdicts without looking outside it.
struct Walk {
  const std::uint8_t* data;
  std::uint32_t position;
  std::uint32_t end;

  bool Has(std::uint32_t n) const { return end - position >= n; }
  std::uint8_t Peek() const { return data[position]; }
  std::uint8_t Take() { return data[position++]; }
};

ttSmfCheck Fault(ttSmfFault fault, std::uint32_t offset) {
  return ttSmfCheck{fault, offset};
}

// Same limits as the reader's: at most four bytes, so the value stays at or
// below 0x0FFFFFFF and a run of continuation bytes stops at the fifth.
ttSmfCheck VarLen(Walk& w, std::uint32_t* value) {
  std::uint32_t result = 0;
  for (std::uint32_t count = 1;; ++count) {
    if (count == 5)
      return Fault(ttSmfFault::kLongVarLen, w.position);
    if (!w.Has(1))
      return Fault(ttSmfFault::kTruncated, w.position);
    const std::uint8_t byte = w.Take();
    result = (result << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0)
      break;
  }
  *value = result;
  return Fault(ttSmfFault::kOk, 0);
}

// Fails with kTruncated at the image's end, kBadEndOfTrack at the chunk's.
ttSmfCheck Short(const Walk& w, std::uint32_t imageSize) {
  return Fault(w.end == imageSize ? ttSmfFault::kTruncated : ttSmfFault::kBadEndOfTrack, w.end);
}

ttSmfCheck TrackEvents(const std::uint8_t* data, std::uint32_t start, std::uint32_t length,
                       std::uint32_t imageSize) {
  const bool fits = imageSize - start >= length;
  Walk w{data, start, fits ? start + length : imageSize};
  if (length == 0)
    return Fault(ttSmfFault::kEmptyTrack, start);
  int runningStatus = -1;
  for (;;) {
    std::uint32_t delta = 0;
    ttSmfCheck check = VarLen(w, &delta);
    if (check.fault == ttSmfFault::kTruncated)
      return Short(w, imageSize);
    if (check.fault != ttSmfFault::kOk)
      return check;
    if (!w.Has(1))
      return Short(w, imageSize);

    const std::uint32_t eventStart = w.position;
    std::uint8_t status = w.Peek();
    if (status < 0x80) {
      if (runningStatus < 0)
        return Fault(ttSmfFault::kNoRunningStatus, eventStart);
      status = static_cast<std::uint8_t>(runningStatus);
    } else {
      w.Take();
      runningStatus = status;
    }

    bool endOfTrack = false;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) {
      if (!w.Has(2))
        return Short(w, imageSize);
      w.position += 2;
    } else if (status < 0xE0) {
      if (!w.Has(1))
        return Short(w, imageSize);
      w.position += 1;
    } else if (status == 0xF0 || status == 0xF7) {
      std::uint32_t n = 0;
      check = VarLen(w, &n);
      if (check.fault == ttSmfFault::kTruncated)
        return Short(w, imageSize);
      if (check.fault != ttSmfFault::kOk)
        return check;
      if (!w.Has(n))
        return Short(w, imageSize);
      w.position += n;
      runningStatus = -1;
    } else if (status == 0xFF) {
      if (!w.Has(1))
        return Short(w, imageSize);
      const std::uint8_t type = w.Take();
      if (type >= 0x80)
        return Fault(ttSmfFault::kBadMetaType, w.position - 1);
      std::uint32_t n = 0;
      check = VarLen(w, &n);
      if (check.fault == ttSmfFault::kTruncated)
        return Short(w, imageSize);
      if (check.fault != ttSmfFault::kOk)
        return check;
      const int fixed = FixedMetaLength(type);
      if (fixed >= 0 && n != static_cast<std::uint32_t>(fixed)) {
        return Fault(ttSmfFault::kBadMetaLength, eventStart);
      }
      if (!w.Has(n))
        return Short(w, imageSize);
      w.position += n;
      endOfTrack = type == kMetaEndOfTrack;
      runningStatus = -1;
    } else {
      return Fault(ttSmfFault::kBadStatus, eventStart);
    }

    const bool atChunkEnd = w.position - start == length;
    if (endOfTrack) {
      if (atChunkEnd)
        return Fault(ttSmfFault::kOk, 0);
      return Fault(ttSmfFault::kBadEndOfTrack, eventStart);
    }
    if (atChunkEnd) {
      // Only possible inside the image: a chunk that ends without FF 2F 00.
      return Fault(ttSmfFault::kBadEndOfTrack, w.position);
    }
  }
}

}  // namespace

ttSmfCheck ValidateSmfImage(const std::uint8_t* data, std::uint32_t size) {
  Walk w{data, 0, size};
  if (!w.Has(4))
    return Fault(ttSmfFault::kTruncated, size);
  if (std::memcmp(data, kHeaderId, 4) != 0) {
    if (data[0] != 0x00)
      return Fault(ttSmfFault::kBadHeader, 0);
    if (!w.Has(kMacBinarySize))
      return Fault(ttSmfFault::kTruncated, size);
    if (data[kMacBinaryZero1] != 0x00)
      return Fault(ttSmfFault::kBadHeader, kMacBinaryZero1);
    if (data[kMacBinaryZero2] != 0x00)
      return Fault(ttSmfFault::kBadHeader, kMacBinaryZero2);
    w.position = kMacBinarySize;
    if (!w.Has(4))
      return Fault(ttSmfFault::kTruncated, size);
    if (std::memcmp(data + w.position, kHeaderId, 4) != 0) {
      return Fault(ttSmfFault::kBadHeader, w.position);
    }
  }
  w.position += 4;

  if (!w.Has(4))
    return Fault(ttSmfFault::kTruncated, size);
  const std::uint32_t headerLength = ReadBigEndian32(data + w.position);
  if (headerLength < 6)
    return Fault(ttSmfFault::kBadHeader, w.position);
  w.position += 4;
  if (!w.Has(2))
    return Fault(ttSmfFault::kTruncated, size);
  if (ReadBigEndian16(data + w.position) > 2)
    return Fault(ttSmfFault::kBadFormat, w.position);
  w.position += 2;
  if (!w.Has(2))
    return Fault(ttSmfFault::kTruncated, size);
  const std::uint16_t chunkCount = ReadBigEndian16(data + w.position);
  w.position += 2;
  if (!w.Has(2))
    return Fault(ttSmfFault::kTruncated, size);
  if (ClassifyDivision(ReadBigEndian16(data + w.position)) == 5) {
    return Fault(ttSmfFault::kBadDivision, w.position);
  }
  w.position += 2;
  if (!w.Has(headerLength - 6))
    return Fault(ttSmfFault::kTruncated, size);
  w.position += headerLength - 6;

  for (std::uint32_t i = 0; i < chunkCount; ++i) {
    if (!w.Has(8))
      return Fault(ttSmfFault::kTruncated, size);
    const std::uint8_t* id = data + w.position;
    if (std::memcmp(id, kHeaderId, 4) == 0)
      return Fault(ttSmfFault::kHeaderInChunks, w.position);
    const std::uint32_t length = ReadBigEndian32(id + 4);
    w.position += 8;
    if (std::memcmp(id, kTrackId, 4) != 0) {
      if (!w.Has(length))
        return Fault(ttSmfFault::kTruncated, size);
      w.position += length;
      continue;
    }
    const ttSmfCheck check = TrackEvents(data, w.position, length, size);
    if (check.fault != ttSmfFault::kOk)
      return check;
    w.position += length;
  }
  return Fault(ttSmfFault::kOk, 0);
}

ttSmfCheck ValidateSmfFileImage(const std::uint8_t* data, std::uint32_t size) {
  if (size < kRiffHeaderSize || std::memcmp(data, kRiffId, 4) != 0)
    return ValidateSmfImage(data, size);
  if (ReadLittleEndian32(data + 4) != size - 8 || std::memcmp(data + 8, kRmidId, 4) != 0)
    return Fault(ttSmfFault::kBadHeader, 4);
  ttSmfCheck smf = Fault(ttSmfFault::kBadHeader, kRiffHeaderSize);  // until a "data" chunk
  bool found = false;
  for (std::uint32_t pos = kRiffHeaderSize; pos < size;) {
    if (size - pos < 8)
      return Fault(ttSmfFault::kTruncated, size);
    const std::uint32_t length = ReadLittleEndian32(data + pos + 4);
    const std::uint32_t start = pos + 8;
    if (std::uint64_t{length} + length % 2 > size - start)
      return Fault(ttSmfFault::kTruncated, size);
    if (!found && std::memcmp(data + pos, kRiffDataId, 4) == 0) {
      found = true;
      smf = Fault(ttSmfFault::kBadHeader, start);
      if (length >= 4 && std::memcmp(data + start, kHeaderId, 4) == 0) {
        smf = ValidateSmfImage(data + start, length);
        if (smf.fault != ttSmfFault::kOk)
          smf.offset += start;
      }
    }
    pos = start + length + length % 2;
  }
  return smf;
}

const char* SmfFaultName(ttSmfFault fault) {
  switch (fault) {
    case ttSmfFault::kOk:
      return "ok";
    case ttSmfFault::kTruncated:
      return "truncated";
    case ttSmfFault::kBadHeader:
      return "bad header";
    case ttSmfFault::kBadFormat:
      return "bad format";
    case ttSmfFault::kBadDivision:
      return "bad division";
    case ttSmfFault::kHeaderInChunks:
      return "header chunk among the chunks";
    case ttSmfFault::kEmptyTrack:
      return "empty track chunk";
    case ttSmfFault::kLongVarLen:
      return "variable-length quantity of five bytes";
    case ttSmfFault::kNoRunningStatus:
      return "data byte without running status";
    case ttSmfFault::kBadStatus:
      return "status byte not allowed in a track";
    case ttSmfFault::kBadMetaType:
      return "meta type 0x80 or above";
    case ttSmfFault::kBadMetaLength:
      return "fixed-length meta event with another length";
    case ttSmfFault::kBadEndOfTrack:
      return "track chunk not ending with end-of-track";
  }
  return "?";
}
