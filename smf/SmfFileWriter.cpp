#include "SmfFileWriter.h"

#include <algorithm>  // std::min
#include <cstddef>
#include <cstring>  // std::memcpy
#include <vector>

#include "SmfFormat.h"
#include "SmfImage.h"  // MeasureTrackChunk, EmitTrackEvents
#include "ttSmfSequence.h"

using namespace smf_format;

namespace {

// Fixed fields into measured room.
class Emitter {
 public:
  explicit Emitter(std::uint8_t* at) : p_(at) {}

  void Bytes(const void* bytes, std::size_t n) {
    if (n != 0)
      std::memcpy(p_, bytes, n);
    p_ += n;
  }
  void BigEndian(std::uint32_t v, int size) {
    for (int i = size; i-- > 0;)
      *p_++ = static_cast<std::uint8_t>(v >> (8 * i));
  }
  void LittleEndian32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      *p_++ = static_cast<std::uint8_t>(v >> (8 * i));
  }
  void SmfChunk(const ttSmfChunk& chunk) {
    Bytes(chunk.id, 4);
    BigEndian(static_cast<std::uint32_t>(chunk.data.size()), 4);
    Bytes(chunk.data.data(), chunk.data.size());
  }
  void RiffHeader(const char* id, std::uint32_t size) {
    Bytes(id, 4);
    LittleEndian32(size);
  }
  void Pad(std::uint64_t size) {
    if (size % 2 != 0)
      *p_++ = 0;
  }
  void RiffChunk(const ttSmfChunk& chunk) {
    RiffHeader(chunk.id, static_cast<std::uint32_t>(chunk.data.size()));
    Bytes(chunk.data.data(), chunk.data.size());
    Pad(chunk.data.size());
  }
  std::uint8_t*& at() { return p_; }

 private:
  std::uint8_t* p_;
};

std::uint32_t Refuse(ttSmfLimit* limit, ttSmfLimit reason) {
  if (limit != nullptr)
    *limit = reason;
  return 0;
}

std::uint64_t RiffChunkSize(std::uint64_t data) {
  return 8 + data + data % 2;
}

}  // namespace

std::uint32_t BuildSmfFileImage(const ttSmfLayout& layout, ttByteArray& out, ttSmfLimit* limit) {
  if (out.data != nullptr)
    out.Resize(0, 1);
  out.length = 0;

  const std::size_t tracks = CurrentSequence.tracks.size();
  std::vector<std::uint32_t> sizes;
  sizes.reserve(tracks);
  std::uint64_t smf = 14 + layout.headerExtra.size();
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    const std::uint32_t size = MeasureTrackChunk(track, limit);
    if (size == 0)
      return 0;
    sizes.push_back(size);
    smf += size;
  }
  const std::vector<ttSmfChunk>& chunks = layout.chunks;
  for (const ttSmfChunk& chunk : chunks)
    smf += 8 + std::uint64_t{chunk.data.size()};
  std::size_t counted = 0;  // chunks in the header's count: see the header
  while (tracks > 0 && counted < chunks.size() && chunks[counted].tracksBefore < tracks)
    ++counted;
  for (std::size_t i = chunks.size(); i > counted; --i) {
    if (!IsTextId(reinterpret_cast<const std::uint8_t*>(chunks[i - 1].id))) {
      counted = i;
      break;
    }
  }
  if (tracks + counted > 0xFFFF)
    return Refuse(limit, ttSmfLimit::kTrackCount);

  const bool riff = layout.container == ttSmfContainer::kRiff;
  const std::size_t before =
      std::min<std::size_t>(layout.riffChunksBeforeData, layout.riffChunks.size());
  std::uint64_t total = smf;
  if (riff) {
    total = kRiffHeaderSize + RiffChunkSize(smf);
    for (const ttSmfChunk& chunk : layout.riffChunks)
      total += RiffChunkSize(chunk.data.size());
  }
  if (total > 0xFFFFFFFFu)
    return Refuse(limit, ttSmfLimit::kSize);

  // Measured first, so the image is allocated once at its exact size and
  // every length is known before the bytes it counts.
  out.Resize(static_cast<std::uint32_t>(total), 0);
  Emitter put(out.data);
  if (riff) {
    put.RiffHeader(kRiffId, static_cast<std::uint32_t>(total - 8));
    put.Bytes(kRmidId, 4);
    for (std::size_t i = 0; i < before; ++i)
      put.RiffChunk(layout.riffChunks[i]);
    put.RiffHeader(kRiffDataId, static_cast<std::uint32_t>(smf));
  }
  put.Bytes(kHeaderId, 4);
  put.BigEndian(static_cast<std::uint32_t>(6 + layout.headerExtra.size()), 4);
  put.BigEndian(CurrentSequence.format, 2);
  put.BigEndian(static_cast<std::uint32_t>(tracks + counted), 2);
  put.BigEndian(CurrentSequence.division, 2);
  put.Bytes(layout.headerExtra.data(), layout.headerExtra.size());
  std::size_t next = 0;
  std::size_t number = 0;
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    for (; next < chunks.size() && chunks[next].tracksBefore <= number; ++next)
      put.SmfChunk(chunks[next]);
    put.Bytes(kTrackId, 4);
    put.BigEndian(sizes[number] - 8, 4);
    put.at() = EmitTrackEvents(put.at(), track);
    ++number;
  }
  for (; next < chunks.size(); ++next)
    put.SmfChunk(chunks[next]);
  if (riff) {
    put.Pad(smf);
    for (std::size_t i = before; i < layout.riffChunks.size(); ++i)
      put.RiffChunk(layout.riffChunks[i]);
  }
  return static_cast<std::uint32_t>(total);
}
