#include "SmfImage.h"

#include <cstring>  // std::memcpy

#include "SmfFormat.h"

using namespace smf_format;

namespace {

constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkPrefixSize = 8;  // id and length field

// Appends bytes to the image. Every write first raises the length to the end
// of what it writes; the block was reserved at the measured total, so the
// reallocation branch of Resize is never taken while emitting.
class ImageWriter {
 public:
  explicit ImageWriter(ttByteArray& out) : out_(out), position_(0) {}

  void Bytes(const void* bytes, std::uint32_t n) {
    Grow(n);
    std::memcpy(out_.data + position_, bytes, n);
    position_ += n;
  }
  void U8(std::uint8_t v) {
    Grow(1);
    out_.data[position_++] = v;
  }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v >> 8));
    U8(static_cast<std::uint8_t>(v));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v >> 16));
    U16(static_cast<std::uint16_t>(v));
  }
  // Makes room for n bytes and returns where they go.
  std::uint8_t* Take(std::uint32_t n) {
    Grow(n);
    std::uint8_t* at = out_.data + position_;
    position_ += n;
    return at;
  }
  // Seven-bit groups, most significant first; bit 7 set on all but the last.
  void VarLen(std::uint32_t v) {
    const std::uint32_t size = VarLenSize(v);
    for (std::uint32_t i = size; i-- > 1;)
      U8(static_cast<std::uint8_t>(0x80 | ((v >> (7 * i)) & 0x7F)));
    U8(static_cast<std::uint8_t>(v & 0x7F));
  }

 private:
  void Grow(std::uint32_t n) {
    const std::uint32_t end = position_ + n;
    if (out_.data == nullptr) {
      out_.Resize(end, 4);
    } else if (end > out_.capacity) {
      out_.Resize(end, 5);
    } else {
      out_.length = end;
    }
  }

  ttByteArray& out_;
  std::uint32_t position_;
};

// As ImageWriter::VarLen, into measured room (v <= kMaxVarLen).
inline std::uint8_t* PutVarLen(std::uint8_t* p, std::uint32_t v) {
  if (v >= 0x200000)
    *p++ = static_cast<std::uint8_t>(0x80 | (v >> 21));
  if (v >= 0x4000)
    *p++ = static_cast<std::uint8_t>(0x80 | ((v >> 14) & 0x7F));
  if (v >= 0x80)
    *p++ = static_cast<std::uint8_t>(0x80 | ((v >> 7) & 0x7F));
  *p++ = static_cast<std::uint8_t>(v & 0x7F);
  return p;
}

// Event bytes into measured room; channel messages, most events, are copied
// by hand instead of by a library call.
inline std::uint8_t* PutBytes(std::uint8_t* p, const std::uint8_t* bytes, std::uint32_t n) {
  switch (n) {
    case 3:
      p[2] = bytes[2];
      [[fallthrough]];
    case 2:
      p[1] = bytes[1];
      [[fallthrough]];
    case 1:
      p[0] = bytes[0];
      [[fallthrough]];
    case 0:
      break;
    default:
      std::memcpy(p, bytes, n);
  }
  return p + n;
}

// A refusal: 0, and the limit for a caller that asks which.
std::uint32_t Refuse(ttSmfLimit* limit, ttSmfLimit reason) {
  if (limit != nullptr)
    *limit = reason;
  return 0;
}

}  // namespace

std::uint8_t* EmitTrackEvents(std::uint8_t* to, const ttSmfTrack& track) {
  std::uint32_t previous = 0;
  for (const ttSmfEvent& event : track) {
    to = PutVarLen(to, event.time - previous);
    to = PutBytes(to, event.bytes.data, event.bytes.length);
    previous = event.time;
  }
  return to;
}

std::uint32_t MeasureTrackChunk(const ttSmfTrack& track, ttSmfLimit* limit) {
  // Summed in 64 bits so that a chunk of 4 GiB or more is seen, not wrapped.
  std::uint64_t size = kChunkPrefixSize;
  std::uint32_t previous = 0;
  for (const ttSmfEvent& event : track) {
    const std::uint32_t delta = event.time - previous;
    // A delta above the four-byte limit cannot be written; a time below its
    // predecessor's shows up here as a delta near 2^32.
    if (delta > kMaxVarLen)
      return Refuse(limit, ttSmfLimit::kDeltaTime);
    size += VarLenSize(delta) + std::uint64_t{event.bytes.length};
    previous = event.time;
  }
  if (size > 0xFFFFFFFFu)
    return Refuse(limit, ttSmfLimit::kSize);
  return static_cast<std::uint32_t>(size);
}

std::uint32_t MeasureSmfImage(std::vector<std::uint32_t>* sizes, ttSmfLimit* limit) {
  if (sizes != nullptr)
    sizes->clear();
  std::uint64_t total = kHeaderChunkSize;
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    const std::uint32_t size = MeasureTrackChunk(track, limit);
    if (size == 0)
      return 0;
    total += size;
    if (sizes != nullptr)
      sizes->push_back(size);
  }
  if (total > 0xFFFFFFFFu)
    return Refuse(limit, ttSmfLimit::kSize);
  if (CurrentSequence.tracks.size() > 0xFFFF)
    return Refuse(limit, ttSmfLimit::kTrackCount);
  return static_cast<std::uint32_t>(total);
}

std::uint32_t BuildSmfImage(ttByteArray& out, ttSmfLimit* limit) {
  std::vector<std::uint32_t> sizes;
  const std::uint32_t total = MeasureSmfImage(&sizes, limit);

  if (out.data != nullptr) {
    out.Resize(0, 1);
  } else {
    out.length = 0;
  }
  if (total == 0)
    return 0;
  // Measured first, so the image is allocated once at its exact size and every
  // chunk length is known before the chunk's first byte: nothing is patched.
  out.Resize(total, 0);

  ImageWriter writer(out);
  writer.Bytes(kHeaderId, 4);
  writer.U32(6);
  writer.U16(CurrentSequence.format);
  writer.U16(static_cast<std::uint16_t>(CurrentSequence.tracks.size()));
  writer.U16(CurrentSequence.division);

  auto size = sizes.begin();
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    const std::uint32_t body = *size++ - kChunkPrefixSize;
    writer.Bytes(kTrackId, 4);
    writer.U32(body);
    // The body was measured to the byte: its events go straight into the
    // block, without a length check per byte.
    EmitTrackEvents(writer.Take(body), track);
  }
  return total;
}
