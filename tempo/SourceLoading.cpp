#include "SourceLoading.h"

#include <iterator>  // std::next
#include <memory>    // std::unique_ptr
#include <vector>

#include "TempoConversion.h"
#include "Texts.h"
#include "ttSmfParser.h"

std::uint32_t SourceTempo = 0;
double SourceBpm = -1.0;

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // 120 BPM, what a file without tempo plays at

enum class Verdict { kAccepted, kInvalid, kUnsupported };

bool EndsBefore(const ttSmfTrack& a, const ttSmfTrack& b) {
  return a.back().time < b.back().time;
}

// Every track the reader produced in a successful parse is in time order
// unless its delta times wrapped past 2^32; the balanced merge relies on order.
bool InTimeOrder(const ttSmfTrack& track) {
  std::uint32_t previous = 0;
  for (const ttSmfEvent& event : track) {
    if (event.time < previous)
      return false;
    previous = event.time;
  }
  return true;
}

// Refuses what cannot be converted exactly; merges the tracks; finds the tempo.
Verdict Normalise(ttSmfSequence& sequence) {
  if (sequence.format > 1)
    return Verdict::kUnsupported;
  if ((sequence.division & 0x8000) != 0)
    return Verdict::kUnsupported;  // SMPTE time code
  // Announced chunks that were all of other kinds leave nothing to convert.
  if (sequence.tracks.empty())
    return Verdict::kInvalid;

  // A format-0 file with several track chunks is merged too: its later tracks
  // would otherwise keep their old ticks under the new tempo.
  if (sequence.tracks.size() > 1)
    MergeAllTracks(sequence);
  if (sequence.format == 1)
    sequence.SetFormat(0);

  SourceTempo = kDefaultTempo;
  int tempoEvents = 0;
  for (const ttSmfEvent& event : sequence.tracks.front()) {
    std::uint32_t offset = 0;
    if (!IsTempoEvent(event, &offset))
      continue;
    ++tempoEvents;
    if (event.time != 0 || tempoEvents > 1)
      return Verdict::kUnsupported;
    const std::uint8_t* t = event.bytes.data + offset;
    SourceTempo = (std::uint32_t{t[0]} << 16) | (std::uint32_t{t[1]} << 8) | std::uint32_t{t[2]};
    // A tempo of 0 would give an infinite BPM and move every event to tick 0.
    if (SourceTempo == 0)
      return Verdict::kUnsupported;
  }
  return Verdict::kAccepted;
}

}  // namespace

bool IsTempoEvent(const ttSmfEvent& event, std::uint32_t* tempoOffset) {
  const ttByteArray& b = event.bytes;
  if (b.length < 3 || b.data[0] != 0xFF || b.data[1] != 0x51)
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

void MergeTracks(ttSmfTrack& destination, ttSmfTrack& other) {
  // Keep one end-of-track event, the later one; at equal times the other
  // track's, which then follows every destination event at that tick.
  if (other.back().time < destination.back().time) {
    other.pop_back();
  } else {
    destination.pop_back();
  }
  // The standard list's merge, spelled out because a track whose times wrapped
  // past 2^32 is not sorted, and the library promises nothing for such input.
  // Nodes are relinked, never copied; an event of `other` goes first only when
  // strictly earlier, so events on one tick stay in track order.
  auto cursor = destination.begin();
  auto next = other.begin();
  while (cursor != destination.end() && next != other.end()) {
    if (*next < *cursor) {
      auto moving = next++;
      destination.splice(cursor, other, moving);
    } else {
      ++cursor;
    }
  }
  destination.splice(destination.end(), other);
}

void MergeAllTracks(ttSmfSequence& sequence) {
  std::list<ttSmfTrack>& tracks = sequence.tracks;
  bool ordered = true;
  for (const ttSmfTrack& track : tracks)
    ordered = ordered && InTimeOrder(track);

  if (!ordered) {
    // Wrapped times: only the one-after-the-other merge defines the result.
    ttSmfTrack& first = tracks.front();
    while (tracks.size() > 1) {
      MergeTracks(first, *std::next(tracks.begin()));
      tracks.erase(std::next(tracks.begin()));
    }
    return;
  }

  // Sorted tracks: merging neighbours pairwise, rounds over the list, gives the
  // same order as merging them one after another into the first (a stable merge
  // is associative), in N log k node visits instead of N k / 2. What differs is
  // which end-of-track survives a pair, so the end-of-track events are taken
  // out first and the winner, the latest with the last track on ties, goes back
  // at the end.
  std::vector<ttSmfTrack*> order;
  order.reserve(tracks.size());
  for (ttSmfTrack& track : tracks)
    order.push_back(&track);
  ttSmfTrack endOfTrack;
  for (ttSmfTrack* track : order) {
    if (endOfTrack.empty() || !EndsBefore(*track, endOfTrack)) {
      endOfTrack.clear();
      endOfTrack.splice(endOfTrack.begin(), *track, std::prev(track->end()));
    } else {
      track->pop_back();
    }
  }
  for (std::size_t step = 1; step < order.size(); step *= 2) {
    for (std::size_t i = 0; i + step < order.size(); i += 2 * step) {
      order[i]->merge(*order[i + step]);
    }
  }
  ttSmfTrack& first = tracks.front();
  first.splice(first.end(), endOfTrack);
  tracks.erase(std::next(tracks.begin()), tracks.end());
}

bool LoadSourceSmf(ttWindow window, const char* path) {
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
  std::uint64_t size = 0;
  error = Platform->fileSize(file, &size);
  if (error != 0) {
    Platform->closeFile(file);
    ShowSystemError(window, error);
    return false;
  }
  if (size > 0xFFFFFFFFu) {
    // The model counts bytes in 32 bits; a truncated read would parse as
    // something else, so the file is refused whole.
    ShowErrorMessage(window, TT_TEXT_FILE_TOO_LARGE);
    Platform->closeFile(file);
    return false;
  }

  const auto wanted = static_cast<std::uint32_t>(size);
  std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[wanted == 0 ? 1 : wanted]);
  std::uint32_t got = 0;
  error = Platform->readFile(file, image.get(), wanted, &got);
  if (error != 0) {
    image.reset();
    Platform->closeFile(file);
    ShowSystemError(window, error);
    return false;
  }

  {
    ttSmfParser parser;
    if (!parser.Parse(image.get(), got)) {
      ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
    } else {
      switch (Normalise(CurrentSequence)) {
        case Verdict::kAccepted:
          SourceBpm = 60000000.0 / static_cast<double>(SourceTempo);
          result = true;
          break;
        case Verdict::kInvalid:
          ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
          break;
        case Verdict::kUnsupported:
          ShowErrorMessage(window, TT_TEXT_UNSUPPORTED_SMF);
          break;
      }
    }
  }
  image.reset();
  Platform->closeFile(file);
  return result;
}
