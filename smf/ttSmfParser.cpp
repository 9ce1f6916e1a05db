#include "ttSmfParser.h"

#include <cstring>  // std::memcmp, std::memcpy
#include <vector>

#include "SmfFormat.h"
#include "StretchOrder.h"
#include "ttSmfSequence.h"

using namespace smf_format;

namespace {

constexpr std::uint32_t kInitialScratchSize = 256;

// Reads the events of a track chunk from the image: the stream's walk, with
// its fields in locals (stores into event bytes may alias anything, and would
// make the compiler reload stream fields at every step of every event).
// Shared by the chunk-by-chunk and the interleaved reading, so that both
// accept and store exactly the same.
struct EventReader {
  const std::uint8_t* bytes;
  std::uint32_t size;
  std::uint32_t position;
  std::uint32_t last;

  // A variable-length quantity: seven bits a byte, most significant first,
  // bit 7 set on all but the last. Counting the bytes inside the loop stops a
  // run of continuation bytes at four, before the value can overflow.
  bool VarLen(std::uint32_t& value) {
    std::uint32_t result = 0;
    for (std::uint32_t count = 1;; ++count) {
      if (count == 5 || position >= size)
        return false;
      const std::uint8_t byte = bytes[position++];
      last = 1;
      result = (result << 7) | (byte & 0x7Fu);
      if ((byte & 0x80) == 0)
        break;
    }
    value = result;
    return true;
  }

  // As ttByteStream::Skip.
  bool Skip(std::uint32_t n) {
    if (n == 0)
      return true;
    if (position >= size)
      return false;
    const std::uint32_t left = size - position;
    const std::uint32_t count = n < left ? n : left;
    last = count;
    position += count;
    return count == n;
  }

  // The status and data bytes of the event whose delta time was just read:
  // its status byte (restored from running status where the file left it
  // out), where its data bytes start, and for a meta event its type.
  bool Event(int& runningStatus, std::uint8_t& status, std::uint32_t& dataStart,
             std::uint8_t& metaType) {
    if (position >= size)
      return false;
    status = bytes[position];
    if (status < 0x80) {
      if (runningStatus < 0)
        return false;
      status = static_cast<std::uint8_t>(runningStatus);
    } else {
      ++position;
      last = 1;
      runningStatus = status;
    }

    dataStart = position;
    metaType = 0;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
      return Skip(2);
    if (status < 0xE0)
      return Skip(1);
    if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length = 0;
      runningStatus = -1;
      return VarLen(length) && Skip(length);
    }
    if (status != 0xFF)
      return false;  // system common and real-time messages have no place in a track
    if (position >= size)
      return false;
    metaType = bytes[position++];
    last = 1;
    if (metaType >= 0x80)
      return false;
    std::uint32_t length = 0;
    if (!VarLen(length))
      return false;
    const int fixed = FixedMetaLength(metaType);
    if (fixed >= 0 && length != static_cast<std::uint32_t>(fixed))
      return false;
    return Skip(length);
  }
};

// Event bytes into an exactly sized block; channel messages, most events,
// without a library call.
void CopyEventBytes(std::uint8_t* to, std::uint8_t status, const std::uint8_t* data,
                    std::uint32_t dataLength) {
  to[0] = status;
  if (dataLength <= 2) {
    if (dataLength != 0)
      to[1] = data[0];
    if (dataLength == 2)
      to[2] = data[1];
  } else {
    std::memcpy(to + 1, data, dataLength);
  }
}

// One track chunk while the chunks are read side by side.
struct TrackCursor {
  ttSmfTrack* track;
  std::uint32_t start;     // first byte of the chunk's events
  std::uint32_t length;    // the chunk's announced length
  std::uint32_t position;  // after the delta time of the next event
  std::uint32_t time;      // the next event's time
  int runningStatus;
  bool open;
};

// About this many events are read per stretch of time, from all tracks
// together. They are stored in time order, so that nodes and bytes lie in
// memory in about the order of the merged track, and every later walk over
// it goes forward through memory instead of jumping between the tracks.
constexpr std::uint64_t kEventsPerStretch = 1u << 14;
constexpr std::uint64_t kFirstStretch = 256;  // ticks, adapted from then on
constexpr std::uint64_t kWidest = std::uint64_t{1} << 33;
// Events read and not yet stored are stored at the latest at this count.
constexpr std::size_t kMostPending = 1u << 18;

// An event read and not yet stored.
struct PendingEvent {
  std::uint32_t key;  // ticks into the stretch, never decreasing within a track
  std::uint32_t time;
  std::uint32_t track;
  std::uint32_t dataStart;
  std::uint32_t dataLength;
  std::uint8_t status;
};

// Stores the pending events, sorted stably by key: each track's events keep
// their file order, and all of them are allocated in about time order.
class PendingEvents {
 public:
  PendingEvents(const std::uint8_t* bytes, const std::vector<TrackCursor>& cursors)
      : bytes_(bytes), cursors_(cursors) {}
  virtual ~PendingEvents() = default;

  void Add(const PendingEvent& event) {
    if (events_.empty() || event.track != events_.back().track)
      ++runs_;
    events_.push_back(event);
  }
  std::size_t size() const { return events_.size(); }

  void Store(std::uint64_t width) {
    if (runs_ <= 1 || width <= 1) {
      // Already in order.
      for (const PendingEvent& event : events_)
        StoreOne(event);
    } else {
      StableOrder(
          static_cast<std::uint32_t>(events_.size()), width,
          [this](std::uint32_t i) { return events_[i].key; }, order_, counts_, first_);
      for (const std::uint32_t i : order_)
        StoreOne(events_[i]);
    }
    events_.clear();
    runs_ = 0;
  }

 private:
  void StoreOne(const PendingEvent& pending) {
    ttSmfTrack& track = *cursors_[pending.track].track;
    track.emplace_back();
    ttSmfEvent& event = track.back();
    event.time = pending.time;
    event.bytes.Resize(pending.dataLength + 1, 4);
    CopyEventBytes(event.bytes.data, pending.status, bytes_ + pending.dataStart,
                   pending.dataLength);
  }

  const std::uint8_t* bytes_;
  const std::vector<TrackCursor>& cursors_;
  std::vector<PendingEvent> events_;
  std::vector<std::uint32_t> order_;
  std::vector<std::uint32_t> counts_;
  std::vector<std::uint32_t> first_;
  std::size_t runs_ = 0;  // stretches of events of one track, in events_
};

// Reads every track's events, stretch of time after stretch of time; each
// track's events are stored in its own list in file order, exactly as the
// chunk-by-chunk reading stores them. False at the first fault, with no
// promise about what was stored. *longest receives the longest event.
bool ReadTracksSideBySide(const ttByteStream& stream, std::vector<TrackCursor>& cursors,
                          std::uint32_t* longest) {
  EventReader reader{stream.data, stream.size, 0, 0};
  for (TrackCursor& cursor : cursors) {
    reader.position = cursor.start;
    if (!reader.VarLen(cursor.time))
      return false;
    cursor.position = reader.position;
  }

  PendingEvents pending(stream.data, cursors);
  std::size_t open = cursors.size();
  std::uint64_t start = 0;
  std::uint64_t width = kFirstStretch;
  while (open > 0) {
    const std::uint64_t end = start + width;  // beyond 2^32 once the width grows
    std::uint64_t taken = 0;
    for (std::uint32_t number = 0; number < cursors.size(); ++number) {
      TrackCursor& cursor = cursors[number];
      if (!cursor.open)
        continue;
      reader.position = cursor.position;
      std::uint32_t floor = 0;  // times that wrapped past 2^32 keep their order too
      while (cursor.time < end) {
        std::uint8_t status = 0;
        std::uint32_t dataStart = 0;
        std::uint8_t metaType = 0;
        if (!reader.Event(cursor.runningStatus, status, dataStart, metaType))
          return false;
        const std::uint32_t dataLength = reader.position - dataStart;
        if (cursor.time >= start && cursor.time - start > floor)
          floor = static_cast<std::uint32_t>(cursor.time - start);
        pending.Add(PendingEvent{floor, cursor.time, number, dataStart, dataLength, status});
        if (dataLength + 1 > *longest)
          *longest = dataLength + 1;
        ++taken;
        if (pending.size() >= kMostPending)
          pending.Store(width);

        const std::uint32_t consumed = reader.position - cursor.start;
        if (status == 0xFF) {
          if (metaType == kMetaEndOfTrack) {
            if (consumed != cursor.length)
              return false;
            cursor.open = false;
            --open;
            break;
          }
          cursor.runningStatus = -1;
        }
        if (consumed >= cursor.length)
          return false;
        std::uint32_t delta = 0;
        if (!reader.VarLen(delta))
          return false;
        cursor.time += delta;  // wraps as in the chunk-by-chunk reading
      }
      cursor.position = reader.position;
    }
    pending.Store(width);

    start = end;
    width = NextStretchWidth(width, taken, kEventsPerStretch, kWidest);
  }
  return true;
}

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
      chunkCount(0),
      sideBySide(false) {}

ttSmfParser::~ttSmfParser() {
  delete[] scratch;
}

bool ttSmfParser::Parse(const std::uint8_t* data, std::uint32_t size) {
  // A merged track is later walked in time order across all tracks. Read
  // chunk after chunk, each track's events would lie in one stretch of
  // memory, and that walk would jump between a thousand places; read side by
  // side, stretch of time after stretch of time, they lie in about the order
  // of the walk. On any fault the file is read again chunk by chunk, so that
  // a failed parse leaves exactly what that reading leaves.
  sideBySide = ReadSideBySide(data, size);
  if (sideBySide)
    return true;
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

bool ttSmfParser::ReadSideBySide(const std::uint8_t* data, std::uint32_t size) {
  stream.Attach(data, size);
  sequence = &CurrentSequence;
  sequence->Clear();
  if (!ReadHeader())
    return false;
  // The chunk headers are read as ReadChunk reads them, every track chunk
  // passed over; the stream then stands after the last chunk, where the
  // chunk-by-chunk reading leaves it.
  std::vector<TrackCursor> cursors;
  bool lastIsTrack = false;
  std::uint64_t trackBytes = 0;
  for (std::uint32_t i = 0; i < chunkCount; ++i) {
    if (ReadScratch(4, false) != 4)
      return false;
    if (std::memcmp(scratch, kHeaderId, 4) == 0)
      return false;
    lastIsTrack = std::memcmp(scratch, kTrackId, 4) == 0;
    if (ReadScratch(4, false) != 4)
      return false;
    const std::uint32_t chunkLength = ReadBigEndian32(scratch);
    const std::uint32_t start = stream.position;
    if (lastIsTrack && chunkLength == 0)
      return false;
    if (!stream.Skip(chunkLength))
      return false;
    if (lastIsTrack) {
      cursors.push_back(TrackCursor{&sequence->AddTrack(), start, chunkLength, start, 0, -1, true});
      trackBytes += chunkLength;
    }
  }
  // Every event is a list node and a block of its bytes, announced before the
  // first is stored so that a large file has them in large pieces from the
  // start: about one event per three bytes of track data (a delta time and
  // two data bytes under running status, the commonest event).
  constexpr std::uint64_t kNodeBytes = sizeof(ttSmfEvent) + 2 * sizeof(void*);
  ttExpectPooledBytes(trackBytes / 3 * kNodeBytes + trackBytes);
  std::uint32_t longest = 0;
  if (!ReadTracksSideBySide(stream, cursors, &longest))
    return false;
  // A track chunk's last read is the end-of-track's length byte.
  if (lastIsTrack)
    stream.last = 1;
  // StagingEvent as the chunk-by-chunk reading leaves it: holding the last
  // event of the last track, in a block grown only for longer events.
  if (!cursors.empty()) {
    const ttSmfEvent& last = cursors.back().track->back();
    ttByteArray& staged = StagingEvent.bytes;
    if (staged.data == nullptr || longest > staged.capacity)
      staged.Resize(longest, 0);
    staged.length = last.bytes.length;
    std::memcpy(staged.data, last.bytes.data, last.bytes.length);
    StagingEvent.time = last.time;
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

bool ttSmfParser::ReadTrackEvents(std::uint32_t chunkLength) {
  ttSmfTrack& track = sequence->AddTrack();
  const std::uint32_t chunkStart = stream.position;
  if (chunkLength == 0)
    return false;

  // Every way out hands the reader's fields back, leaving the stream exactly
  // where reading through it would have.
  EventReader reader{stream.data, stream.size, stream.position, stream.last};
  auto leave = [&](bool result) {
    stream.position = reader.position;
    stream.last = reader.last;
    return result;
  };

  ttByteArray& staged = StagingEvent.bytes;
  std::uint32_t time = 0;
  int runningStatus = -1;  // none at the start of every chunk
  for (;;) {
    std::uint32_t delta = 0;
    if (!reader.VarLen(delta))
      return leave(false);
    time += delta;  // wraps modulo 2^32 by design: the writer gives the file's deltas back

    std::uint8_t status = 0;
    std::uint32_t dataStart = 0;
    std::uint8_t metaType = 0;
    if (!reader.Event(runningStatus, status, dataStart, metaType))
      return leave(false);

    // Built in StagingEvent, whose block is replaced only when it is too
    // small (Resize's mode 0 rule), then stored as an exact copy.
    const std::uint32_t dataLength = reader.position - dataStart;
    StagingEvent.time = time;
    if (staged.data != nullptr && dataLength + 1 <= staged.capacity) {
      staged.length = dataLength + 1;
    } else {
      staged.Resize(dataLength + 1, 0);
    }
    CopyEventBytes(staged.data, status, reader.bytes + dataStart, dataLength);
    track.push_back(StagingEvent);

    const std::uint32_t consumed = reader.position - chunkStart;
    if (status == 0xFF) {
      if (metaType == kMetaEndOfTrack)
        return leave(consumed == chunkLength);
      runningStatus = -1;
    }
    if (consumed >= chunkLength)
      return leave(false);
  }
}
