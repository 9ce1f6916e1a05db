#include "ttSmfParser.h"

#include <cstring>  // std::memcmp, std::memcpy

#include "SmfFormat.h"
#include "ttSmfSequence.h"

using namespace smf_format;

namespace {

// A file that does not begin with "MThd" may carry a 128-byte MacBinary
// header; the header chunk then starts right after it.
constexpr std::uint32_t kMacBinarySize = 128;
constexpr std::uint32_t kMacBinaryZero1 = 74;
constexpr std::uint32_t kMacBinaryZero2 = 82;

constexpr std::uint32_t kInitialScratchSize = 256;

}  // namespace

int ClassifyDivision(std::uint16_t division) {
  const auto high = static_cast<std::uint8_t>(division >> 8);
  if ((high & 0x80) == 0)
    return 0;
  switch (static_cast<std::int8_t>(high)) {
    case -24:
      return 1;
    case -25:
      return 2;
    case -29:
      return 3;
    case -30:
      return 4;
    default:
      return 5;
  }
}

ttSmfParser::ttSmfParser()
    : sequence(nullptr),
      scratch(new std::uint8_t[kInitialScratchSize]),
      scratchSize(kInitialScratchSize),
      chunkCount(0) {}

ttSmfParser::~ttSmfParser() {
  delete[] scratch;
}

bool ttSmfParser::Parse(const std::uint8_t* data, std::uint32_t size) {
  stream.Attach(data, size);
  sequence = &CurrentSequence;
  sequence->Clear();
  if (!ReadHeader())
    return false;
  for (std::uint32_t i = 0; i < chunkCount; ++i) {
    if (!ReadChunk())
      return false;
  }
  return true;
}

std::uint32_t ttSmfParser::ReadScratch(std::uint32_t n, bool force) {
  if (force || scratchSize < n) {
    delete[] scratch;
    scratch = nullptr;
    scratchSize = n + kInitialScratchSize;
    scratch = new std::uint8_t[scratchSize];
  }
  return stream.Read(scratch, n);
}

bool ttSmfParser::ReadHeader() {
  if (ReadScratch(4, false) != 4)
    return false;
  if (std::memcmp(scratch, kHeaderId, 4) != 0) {
    if (scratch[0] != 0x00)
      return false;
    if (ReadScratch(kMacBinarySize - 4, false) != kMacBinarySize - 4)
      return false;
    // The scratch block now holds file offsets 4 .. 127.
    if (scratch[kMacBinaryZero1 - 4] != 0x00 || scratch[kMacBinaryZero2 - 4] != 0x00)
      return false;
    if (ReadScratch(4, false) != 4)
      return false;
    if (std::memcmp(scratch, kHeaderId, 4) != 0)
      return false;
  }
  if (ReadScratch(4, false) != 4)
    return false;
  const std::uint32_t headerLength = ReadBigEndian32(scratch);
  if (headerLength < 6)
    return false;

  if (ReadScratch(2, false) != 2)
    return false;
  if (!sequence->SetFormat(ReadBigEndian16(scratch)))
    return false;

  if (ReadScratch(2, false) != 2)
    return false;
  chunkCount = ReadBigEndian16(scratch);

  if (ReadScratch(2, false) != 2)
    return false;
  const std::uint16_t division = ReadBigEndian16(scratch);
  if (ClassifyDivision(division) == 5)
    return false;
  sequence->division = division;

  return stream.Skip(headerLength - 6);
}

bool ttSmfParser::ReadVarLen(std::uint32_t& value) {
  // Bytes are taken straight from the image; counting them inside the loop
  // stops a run of continuation bytes at four, before the value can overflow.
  std::uint32_t result = 0;
  for (std::uint32_t count = 1;; ++count) {
    if (count == 5)
      return false;
    if (stream.position >= stream.size)
      return false;
    const std::uint8_t byte = stream.data[stream.position++];
    stream.last = 1;
    result = (result << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0)
      break;
  }
  value = result;
  return true;
}

bool ttSmfParser::ReadChunk() {
  if (ReadScratch(4, false) != 4)
    return false;
  if (std::memcmp(scratch, kHeaderId, 4) == 0)
    return false;
  const bool isTrack = std::memcmp(scratch, kTrackId, 4) == 0;
  if (ReadScratch(4, false) != 4)
    return false;
  const std::uint32_t chunkLength = ReadBigEndian32(scratch);
  if (!isTrack)
    return stream.Skip(chunkLength);
  return ReadTrackEvents(chunkLength);
}

void ttSmfParser::StageEvent(std::uint32_t time, std::uint8_t status, std::uint32_t dataStart) {
  const std::uint32_t dataLength = stream.position - dataStart;
  StagingEvent.time = time;
  StagingEvent.bytes.Resize(dataLength + 1, 0);
  if (dataLength != 0)
    std::memcpy(StagingEvent.bytes.data + 1, stream.data + dataStart, dataLength);
  StagingEvent.bytes.data[0] = status;
  sequence->tracks.back().push_back(StagingEvent);
}

bool ttSmfParser::ReadTrackEvents(std::uint32_t chunkLength) {
  sequence->AddTrack();
  const std::uint32_t chunkStart = stream.position;
  if (chunkLength == 0)
    return false;

  std::uint32_t time = 0;
  int runningStatus = -1;  // none at the start of every chunk
  for (;;) {
    std::uint32_t delta = 0;
    if (!ReadVarLen(delta))
      return false;
    if (stream.position >= stream.size)
      return false;
    time += delta;  // wraps modulo 2^32 by design: the writer gives the file's deltas back

    std::uint8_t status = stream.data[stream.position];
    if (status < 0x80) {
      if (runningStatus < 0)
        return false;
      status = static_cast<std::uint8_t>(runningStatus);
    } else {
      ++stream.position;
      stream.last = 1;
      runningStatus = status;
    }

    const std::uint32_t dataStart = stream.position;
    std::uint8_t metaType = 0;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) {
      if (!stream.Skip(2))
        return false;
    } else if (status < 0xE0) {
      if (!stream.Skip(1))
        return false;
    } else if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length = 0;
      if (!ReadVarLen(length) || !stream.Skip(length))
        return false;
      runningStatus = -1;
    } else if (status == 0xFF) {
      if (stream.position >= stream.size)
        return false;
      metaType = stream.data[stream.position++];
      stream.last = 1;
      if (metaType >= 0x80)
        return false;
      std::uint32_t length = 0;
      if (!ReadVarLen(length))
        return false;
      const int fixed = FixedMetaLength(metaType);
      if (fixed >= 0 && length != static_cast<std::uint32_t>(fixed))
        return false;
      if (!stream.Skip(length))
        return false;
    } else {
      return false;  // system common and real-time messages have no place in a track
    }

    StageEvent(time, status, dataStart);

    const std::uint32_t consumed = stream.position - chunkStart;
    if (status == 0xFF) {
      if (metaType == kMetaEndOfTrack)
        return consumed == chunkLength;
      runningStatus = -1;
    }
    if (consumed >= chunkLength)
      return false;
  }
}
