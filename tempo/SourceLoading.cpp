#include "SourceLoading.h"

#include <iterator>  // std::next
#include <vector>

#include "SmfFormat.h"
#include "StretchOrder.h"
#include "TempoConversion.h"
#include "Texts.h"
#include "ttSmfParser.h"

std::uint32_t SourceTempo = 0;
double SourceBpm = -1.0;

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // 120 BPM, what a file without tempo plays at

// The merge takes about this many events per stretch of time: few enough for
// their nodes to stay in the cache while they are sorted and moved.
constexpr std::uint64_t kEventsPerStretch = 1u << 12;
constexpr std::uint64_t kFirstStretch = 256;  // ticks, adapted from then on
constexpr std::uint64_t kWidest = std::uint64_t{1} << 33;
// A stretch holding more is taken again, narrower.
constexpr std::size_t kMostPerStretch = 1u << 20;

enum class Verdict { kAccepted, kInvalid, kUnsupported };

// Closes the source file on every way out of a load, a std::bad_alloc from
// the image, the parser or the merge included: on Windows an open handle
// keeps the file locked, and saving over it would fail.
class ClosesFile {
 public:
  explicit ClosesFile(ttFile file) : file_(file) {}
  ~ClosesFile() { Platform->closeFile(file_); }
  ClosesFile(const ClosesFile&) = delete;
  ClosesFile& operator=(const ClosesFile&) = delete;

 private:
  ttFile file_;
};

bool EndsBefore(const ttSmfTrack& a, const ttSmfTrack& b) {
  return a.back().time < b.back().time;
}

// How many tempo events the merged track holds, and its first one.
struct TempoEvents {
  int count = 0;
  const ttSmfEvent* first = nullptr;
};

// The tempo events of a track, the first one in list order first.
void ScanInListOrder(const ttSmfTrack& track, TempoEvents* tempo) {
  std::uint32_t offset = 0;
  for (const ttSmfEvent& event : track) {
    if (!IsTempoEvent(event, &offset))
      continue;
    ++tempo->count;
    if (tempo->first == nullptr)
      tempo->first = &event;
  }
}

// A track being merged: where its next event is, how many are left before its
// end-of-track, the time of the last one taken.
struct Cursor {
  ttSmfTrack* track;
  ttSmfTrack::iterator next;
  std::size_t left;
  std::uint32_t previous;
};

// The events merged so far, in merged order, and the track each came from.
// Unless kept, they all go back where they were, whichever way the merge is
// left: a track found out of order, or no memory.
class MovedEvents {
 public:
  MovedEvents(const std::vector<Cursor>& cursors, std::size_t events) : cursors_(cursors) {
    from_.reserve(events);  // moving never allocates, so never fails half way
  }
  ~MovedEvents() {
    if (kept_)
      return;
    // Each track's moved events were its first ones, in its order: taken
    // from the back, each goes to the front of its track.
    for (auto from = from_.rbegin(); from != from_.rend(); ++from) {
      ttSmfTrack& track = *cursors_[*from].track;
      track.splice(track.begin(), events_, std::prev(events_.end()));
    }
  }
  MovedEvents(const MovedEvents&) = delete;
  MovedEvents& operator=(const MovedEvents&) = delete;

  void Move(std::uint32_t number, ttSmfTrack::iterator event) {
    events_.splice(events_.end(), *cursors_[number].track, event);
    from_.push_back(number);
  }
  // The events stay merged; returns them.
  ttSmfTrack& Keep() {
    kept_ = true;
    return events_;
  }

 private:
  const std::vector<Cursor>& cursors_;
  ttSmfTrack events_;
  std::vector<std::uint32_t, ttArrayAllocator<std::uint32_t>> from_;  // track numbers
  bool kept_ = false;
};

// Merges tracks that are each in time order into the first, as merging them
// one after the other would: by time, then track, then position in the
// track, and of the end-of-track events only the one that survives the
// sequential merge, the latest with the last track on ties, at the end.
// False, with nothing changed, when a track is not in time order (its delta
// times wrapped past 2^32).
//
// Stretch of time by stretch of time, a stretch's events are taken track
// after track, each track's in list order, sorted stably by time (by
// counting) and moved to the end of the merged list at once, while their
// nodes are still in the cache. The reader laid the nodes out in about this
// order, so walks and moves go forward through memory. About N steps
// instead of the N k / 2 node visits of the sequential merge, and no
// comparisons of unpredictable outcome.
bool MergeOrderedTracks(std::list<ttSmfTrack>& tracks) {
  std::vector<Cursor> cursors;
  cursors.reserve(tracks.size());
  std::size_t events = 0;
  for (ttSmfTrack& track : tracks) {
    const std::size_t left = track.empty() ? 0 : track.size() - 1;
    cursors.push_back(Cursor{&track, track.begin(), left, 0});
    events += left;
  }
  MovedEvents moved(cursors, events);

  struct Taken {
    std::uint32_t time;
    std::uint32_t track;
    ttSmfTrack::iterator event;
  };
  std::vector<Taken> stretch;
  std::vector<std::uint32_t> order;
  std::vector<std::uint32_t> counts;
  std::vector<std::uint32_t> first;
  std::vector<Cursor> saved;
  std::uint64_t start = 0;
  std::uint64_t width = kFirstStretch;
  for (;;) {
    const std::uint64_t end = start + width;
    saved = cursors;
    stretch.clear();
    bool full = false;
    bool open = false;
    for (std::uint32_t number = 0; number < cursors.size(); ++number) {
      Cursor& cursor = cursors[number];
      while (cursor.left > 0 && cursor.next->time < end) {
        const std::uint32_t time = cursor.next->time;
        if (time < cursor.previous)
          return false;
        cursor.previous = time;
        stretch.push_back(Taken{time, number, cursor.next});
        ++cursor.next;
        --cursor.left;
      }
      open = open || cursor.left > 0;
      if (stretch.size() > kMostPerStretch && width > 1) {
        full = true;
        break;
      }
    }
    if (full) {
      // Far more events than expected on a short span: again, narrower. A
      // single tick is never too full, as it needs no sorting.
      cursors = saved;
      width = width / 16 > 0 ? width / 16 : 1;
      continue;
    }

    if (stretch.empty()) {
      if (!open)
        break;
      // A gap: the next stretch starts at the earliest event still to come.
      std::uint64_t earliest = ~std::uint64_t{0};
      for (const Cursor& cursor : cursors) {
        if (cursor.left > 0 && cursor.next->time < earliest)
          earliest = cursor.next->time;
      }
      start = earliest;
      continue;
    }

    if (width == 1) {
      for (const Taken& taken : stretch)
        moved.Move(taken.track, taken.event);
    } else {
      smf_format::StableOrder(
          static_cast<std::uint32_t>(stretch.size()), width,
          [&stretch, start](std::uint32_t i) {
            return static_cast<std::uint32_t>(stretch[i].time - start);
          },
          order, counts, first);
      for (const std::uint32_t i : order)
        moved.Move(stretch[i].track, stretch[i].event);
    }
    if (!open)
      break;

    start = end;
    width = smf_format::NextStretchWidth(width, stretch.size(), kEventsPerStretch, kWidest);
  }

  // Each track's end-of-track event, where every cursor now stands, must be
  // in order too.
  for (const Cursor& cursor : cursors) {
    if (cursor.next != cursor.track->end() && cursor.next->time < cursor.previous)
      return false;
  }

  // Every track now holds its end-of-track event alone, if any. The one
  // that stays is taken out (the first track's always is, at first); the
  // others go with their tracks.
  ttSmfTrack& merged = moved.Keep();
  ttSmfTrack endOfTrack;
  for (ttSmfTrack& track : tracks) {
    if (!track.empty() && (endOfTrack.empty() || !EndsBefore(track, endOfTrack))) {
      endOfTrack.clear();
      endOfTrack.splice(endOfTrack.begin(), track);
    }
  }
  ttSmfTrack& firstTrack = tracks.front();
  firstTrack.splice(firstTrack.end(), merged);
  firstTrack.splice(firstTrack.end(), endOfTrack);
  tracks.erase(std::next(tracks.begin()), tracks.end());
  return true;
}

// Refuses what no conversion can take; with `merge`, merges the tracks,
// without, only checks that each is in time order.
Verdict CheckTracks(ttSmfSequence& sequence, bool merge) {
  if (sequence.format > 1)
    return Verdict::kUnsupported;
  if ((sequence.division & 0x8000) != 0)
    return Verdict::kUnsupported;  // SMPTE time code
  // Announced chunks that were all of other kinds leave nothing to convert.
  if (sequence.tracks.empty())
    return Verdict::kInvalid;

  // Tick times that wrapped past 2^32 are known only modulo 2^32: rescaled,
  // they would run backwards where they wrapped, which no SMF can hold, so
  // such a file could never be saved. It is refused without the sequential
  // merge, the only order defined for such tracks, which costs time quadratic
  // in their number. The merge of ordered tracks finds a wrap as it goes, and
  // puts back what it had moved; a walk over each track in turn beforehand
  // would cost about as much again, as the reader lays the tracks' events out
  // interleaved in time order.
  //
  // A format-0 file with several track chunks is merged too: its later tracks
  // would otherwise keep their old ticks under the new tempo.
  if (merge && sequence.tracks.size() > 1) {
    if (!MergeOrderedTracks(sequence.tracks))
      return Verdict::kUnsupported;
  } else {
    for (const ttSmfTrack& track : sequence.tracks) {
      std::uint32_t previous = 0;
      for (const ttSmfEvent& event : track) {
        if (event.time < previous)
          return Verdict::kUnsupported;
        previous = event.time;
      }
    }
  }
  if (merge && sequence.format == 1)
    sequence.SetFormat(0);
  return Verdict::kAccepted;
}

// Refuses what cannot be converted exactly; merges the tracks; finds the tempo.
Verdict Normalise(ttSmfSequence& sequence) {
  const Verdict verdict = CheckTracks(sequence, true);
  if (verdict != Verdict::kAccepted)
    return verdict;
  // After the merge the track lies in memory in about list order (the reader
  // and the merge see to that), so this walk goes forward through memory.
  TempoEvents tempo;
  ScanInListOrder(sequence.tracks.front(), &tempo);

  // As if the merged track were read front to back: the first tempo event
  // must be at tick 0 and hold a tempo; any second one refuses the file.
  SourceTempo = kDefaultTempo;
  if (tempo.first == nullptr)
    return Verdict::kAccepted;
  std::uint32_t offset = 0;
  IsTempoEvent(*tempo.first, &offset);
  if (tempo.first->time != 0)
    return Verdict::kUnsupported;
  const std::uint8_t* t = tempo.first->bytes.data + offset;
  SourceTempo = (std::uint32_t{t[0]} << 16) | (std::uint32_t{t[1]} << 8) | std::uint32_t{t[2]};
  if (tempo.count > 1)
    return Verdict::kUnsupported;
  // A tempo of 0 would give an infinite BPM and move every event to tick 0.
  if (SourceTempo == 0)
    return Verdict::kUnsupported;
  return Verdict::kAccepted;
}

}  // namespace

bool IsTempoEvent(const ttSmfEvent& event, std::uint32_t* tempoOffset) {
  const ttByteArray& b = event.bytes;
  // FF 51, at least one length byte and three tempo bytes: shorter events,
  // every channel message among them, are told apart without reading their
  // bytes, which lie elsewhere in memory.
  if (b.length < 6 || b.data[0] != 0xFF || b.data[1] != 0x51)
    return false;
  // The length may be written in more bytes than it needs (81 80 03 ...); it
  // is still a set-tempo event, and its tempo follows the length.
  std::uint32_t i = 2;
  std::uint32_t length = 0;
  while (i < b.length) {
    const std::uint8_t byte = b.data[i++];
    length = (length << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0)
      break;
  }
  if (length != 3 || b.length != i + 3)
    return false;
  *tempoOffset = i;
  return true;
}

bool MergeAllTracks(ttSmfSequence& sequence) {
  return MergeOrderedTracks(sequence.tracks);
}

namespace {

bool Tell(ttWindow window, Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
      return true;
    case Verdict::kInvalid:
      ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
      return false;
    case Verdict::kUnsupported:
      ShowErrorMessage(window, TT_TEXT_UNSUPPORTED_SMF);
      return false;
  }
  return false;
}

}  // namespace

bool AcceptParsedSource(ttWindow window) {
  const Verdict verdict = Normalise(CurrentSequence);
  if (verdict == Verdict::kAccepted)
    SourceBpm = 60000000.0 / static_cast<double>(SourceTempo);
  return Tell(window, verdict);
}

bool AcceptSourceTracks(ttWindow window, bool merge) {
  return Tell(window, CheckTracks(CurrentSequence, merge));
}

bool LoadSourceSmf(ttWindow window, const char* path) {
  return LoadSourceSmfWith(
      window, path, [](ttWindow owner, void*) { return AcceptParsedSource(owner); }, nullptr);
}

bool LoadSourceSmfWith(ttWindow window, const char* path, bool (*accept)(ttWindow, void*),
                       void* context, ttParseStep parse) {
  SourceBpm = -1.0;
  ResetConversionState();
  std::uint32_t error = 0;
  bool result = false;

  ttFile file = 0;
  error = Platform->openRead(path, &file);
  if (error != 0) {
    ShowSystemError(window, error);
    return false;
  }
  const ClosesFile closer(file);
  std::uint64_t size = 0;
  error = Platform->fileSize(file, &size);
  if (error != 0) {
    ShowSystemError(window, error);
    return false;
  }
  if (size > 0xFFFFFFFFu) {
    // The model counts bytes in 32 bits; a truncated read would parse as
    // something else, so the file is refused whole.
    ShowErrorMessage(window, TT_TEXT_FILE_TOO_LARGE);
    return false;
  }

  const auto wanted = static_cast<std::uint32_t>(size);
  // A byte block like every other: ttAllocateBytes decides where it comes from.
  ttByteArray image;
  image.Resize(wanted, 4);
  std::uint32_t got = 0;
  error = Platform->readFile(file, image.data, wanted, &got);
  if (error != 0) {
    image.Resize(0, 1);
    ShowSystemError(window, error);
    return false;
  }

  if (parse != nullptr) {
    result = parse(window, image.data, got, context) && accept(window, context);
  } else {
    ttSmfParser parser;
    if (!parser.Parse(image.data, got)) {
      ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
    } else {
      result = accept(window, context);
    }
  }
  image.Resize(0, 1);
  return result;
}
