#include "Pipeline.h"

#include <unistd.h>  // isatty

#include <algorithm>  // std::any_of, std::find
#include <cstdio>
#include <vector>

#include "BpmText.h"
#include "Locale.h"
#include "Messages.h"
#include "SaveFile.h"
#include "SmfFileReader.h"
#include "SmfFileWriter.h"
#include "SmfValidator.h"
#include "SourceLoading.h"
#include "Streams.h"
#include "Texts.h"

namespace {

// Progress lines are worth it only for files that take a noticeable time.
constexpr std::uint64_t kProgressThreshold = 16u << 20;

class Progress {
 public:
  Progress(const std::string& path, bool shown) : path_(path), shown_(shown) {}
  ~Progress() { ClearProgress(); }
  void Stage(const char* what) {
    if (shown_)
      ShowProgress(path_, what);
  }

 private:
  const std::string& path_;
  bool shown_;
};

bool LargeFileOnTerminal(const std::string& path) {
  if (!::isatty(2))
    return false;
  ttFile file = 0;
  if (Platform->openRead(path.c_str(), &file) != 0)
    return false;
  std::uint64_t size = 0;
  const bool large = Platform->fileSize(file, &size) == 0 && size >= kProgressThreshold;
  Platform->closeFile(file);
  return large;
}

// What the reading and the acceptance step after it need and record.
struct Reading {
  const std::string& input;
  bool repair;      // --repair
  bool plain;       // the dialog's acceptance
  bool keepTracks;  // no merge of a format 1 file
  bool scan;        // the tempo map is wanted after a plain acceptance
  ttSourceFacts* facts;
  ttTempoMap* map;
  ttSmfLayout* layout;  // of the file read, for writing it back
};

std::string ChunkId(const char (&id)[4]) {
  std::string text;
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      text += hex;
    }
  }
  return text;
}

std::vector<ttChunkFacts> ChunkFacts(const std::vector<ttSmfChunk>& chunks) {
  std::vector<ttChunkFacts> facts;
  facts.reserve(chunks.size());
  for (const ttSmfChunk& chunk : chunks)
    facts.push_back(ttChunkFacts{ChunkId(chunk.id), chunk.data.size()});
  return facts;
}

// Each id once, in the order of first appearance: "XFIH, XFKM".
template <typename List, typename Id>
std::string DistinctIds(const List& list, Id id) {
  std::vector<std::string> seen;
  std::string text;
  for (const auto& item : list) {
    const std::string name = id(item);
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      continue;
    text += (seen.empty() ? "" : ", ") + name;
    seen.push_back(name);
  }
  return text;
}

const char* TempoMapHint() {
  return Tr(
      "An SMF with a tempo map (several tempo events, or a tempo event after tick 0) can be "
      "converted with --tempo-map flatten or --tempo-map scale.");
}

void HintRepair(const std::string& input, const std::string& ids) {
  char text[1024];
  std::snprintf(text, sizeof text, Tr("With --repair, it may be read after these repairs: %s"),
                ids.c_str());
  Hint(input, text);
}

// Keeps for the report what the file held besides its events, and tells on
// stderr what the reading repaired or has to say about the file.
void TellRead(const Reading& reading) {
  const ttSmfLayout& layout = *reading.layout;
  ttSourceFacts& facts = *reading.facts;
  facts.container = layout.container;
  facts.headerExtra = layout.headerExtra.size();
  facts.chunks = ChunkFacts(layout.chunks);
  facts.riffChunks = ChunkFacts(layout.riffChunks);
  for (const ttSmfNote& note : layout.repairs) {
    facts.repairs.push_back(ttFileRemark{SmfNoteId(note.kind), DescribeSmfNote(note)});
    Remark(reading.input, "repaired: " + facts.repairs.back().text);
  }
  for (const ttSmfNote& note : layout.notes) {
    facts.notes.push_back(ttFileRemark{SmfNoteId(note.kind), DescribeSmfNote(note)});
    Remark(reading.input, "note: " + facts.notes.back().text);
  }
}

// The command line's reading: the strict reader's events and verdict, RIFF
// RMID files, the layout and, with --repair, the repairs.
bool Read(ttWindow window, const std::uint8_t* data, std::uint32_t size, void* context) {
  const Reading& reading = *static_cast<Reading*>(context);
  switch (ReadSmfFile(data, size, reading.repair, *reading.layout).status) {
    case ttSmfReadStatus::kRead:
      TellRead(reading);
      return true;
    case ttSmfReadStatus::kRepairable:
      ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
      HintRepair(reading.input, DistinctIds(reading.layout->repairs, [](const ttSmfNote& note) {
                   return std::string(SmfNoteId(note.kind));
                 }));
      return false;
    case ttSmfReadStatus::kRefused:
      ShowErrorMessage(window, TT_TEXT_INVALID_SMF);
      return false;
    case ttSmfReadStatus::kTooLarge:
      ShowErrorMessage(window,
                       Tr("The repaired SMF would be 4 GiB or more, so it cannot be read."));
      return false;
  }
  return false;
}

// After the plain acceptance refused a file: true when its tempo map alone
// stood in the way (more than one tempo event, or one after tick 0), so that
// --tempo-map flatten or scale converts it; the same test as the tempo-map
// conversion's refusal of a map (ttMapResult::kTempoMap).
bool RefusedForTempoMapOnly(const ttSmfSequence& sequence) {
  if (sequence.format > 1 || (sequence.division & 0x8000) != 0 || sequence.division == 0)
    return false;
  for (const ttSmfTrack& track : sequence.tracks) {
    std::uint32_t previous = 0;
    for (const ttSmfEvent& event : track) {
      if (event.time < previous)
        return false;  // times past 2^32: no conversion takes them
      previous = event.time;
    }
  }
  ttTempoMap map;
  ScanTempoMap(sequence, &map);
  for (const ttTempoChange& change : map.changes) {
    if (change.tempo == 0)
      return false;
  }
  return !map.IsSingleTempo();
}

// What may get a refused file through, after the message that refused it.
void HintAfterRefusal(const Reading& reading) {
  const std::vector<ttSmfNote>& notes = reading.layout->notes;
  const bool unread = std::any_of(notes.begin(), notes.end(), [](const ttSmfNote& note) {
    return note.kind == ttSmfNoteKind::kTrackChunksIgnored;
  });
  if (CurrentSequence.tracks.empty() && unread && !reading.repair)
    HintRepair(reading.input, SmfNoteId(ttSmfNoteKind::kTrackCount));
  else if (reading.plain && RefusedForTempoMapOnly(CurrentSequence))
    Hint(reading.input, TempoMapHint());
}

std::size_t CountEvents(const ttSmfSequence& sequence) {
  std::size_t events = 0;
  for (const ttSmfTrack& track : sequence.tracks)
    events += track.size();
  return events;
}

bool Accept(ttWindow window, void* context) {
  const Reading& reading = *static_cast<Reading*>(context);
  ttSourceFacts& facts = *reading.facts;
  facts.format = CurrentSequence.format;
  facts.division = CurrentSequence.division;
  facts.tracks = CurrentSequence.tracks.size();
  facts.events = CountEvents(CurrentSequence);
  // A format 0 file with several track chunks is merged whatever the options:
  // its chunks are not tracks of their own.
  const bool accepted = reading.plain ? AcceptParsedSource(window)
                                      : AcceptSourceTracks(window, !reading.keepTracks ||
                                                                       CurrentSequence.format == 0);
  if (!accepted) {
    HintAfterRefusal(reading);
    return false;
  }
  if (!reading.plain || reading.scan)
    ScanTempoMap(CurrentSequence, reading.map);
  return true;
}

std::string BpmOrNone(std::uint32_t tempo) {
  return tempo == 0 ? std::string(Tr("none")) : ExactBpmText(tempo);
}

// Tells why the tempo-map conversion refused; true on kOk.
bool TellOutcome(const std::string& input, const ttMapOutcome& outcome) {
  char text[512];
  switch (outcome.result) {
    case ttMapResult::kOk:
      return true;
    case ttMapResult::kTempoMap:
      Tell(input, TT_TEXT_UNSUPPORTED_SMF);
      Hint(input, TempoMapHint());
      return false;
    case ttMapResult::kUnsupported:
      Tell(input, TT_TEXT_UNSUPPORTED_SMF);
      return false;
    case ttMapResult::kScaledTempo:
      std::snprintf(text, sizeof text,
                    Tr("Scaling the tempo map makes the tempo at tick %u %llu us, outside the "
                       "range of a tempo event (1 to 16777215)."),
                    outcome.tick, static_cast<unsigned long long>(outcome.tempo));
      Tell(input, text);
      return false;
    case ttMapResult::kNotExact:
      std::snprintf(text, sizeof text,
                    Tr("No division (a whole number from 1 to 32767) gives this tempo without "
                       "moving a tick. The nearest BPMs that convert exactly: slower %s, "
                       "faster %s"),
                    BpmOrNone(outcome.slower).c_str(), BpmOrNone(outcome.faster).c_str());
      Tell(input, text);
      return false;
    case ttMapResult::kExactFlatten:
      Tell(input, Tr("A file whose tempo changes cannot be given one tempo without moving a tick "
                     "(--exact and --tempo-map flatten)."));
      return false;
    case ttMapResult::kTimeOverflow:
      Tell(input, TT_TEXT_TIME_OVERFLOW);
      return false;
  }
  return false;
}

// The dialog's conversion. For a report, the source times are kept aside
// first: the conversion overwrites them.
bool ConvertPlain(const ttCliOptions& options, const std::string& input, ttFileReport* report) {
  std::vector<std::uint32_t> sourceTimes;
  ttSmfTrack& track = CurrentSequence.tracks.front();
  if (options.Reporting()) {
    sourceTimes.reserve(track.size());
    for (const ttSmfEvent& event : track)
      sourceTimes.push_back(event.time);
  }
  if (!ConvertLoadedSource(About(input), options.bpm))
    return false;
  if (options.Reporting()) {
    MeasurePlainConversion(track, sourceTimes, SourceTempo, options.tempo, CurrentSequence.division,
                           &report->figures);
  }
  return true;
}

bool ConvertMapped(const ttCliOptions& options, const std::string& input, ttFileReport* report) {
  ttMapRequest request;
  request.mode = options.tempoMap;
  request.tempo = options.tempo;
  request.division = options.division;
  request.exact = options.exact;
  request.minNote = options.minNote;
  const ttMapOutcome outcome = ConvertWithTempoMap(
      CurrentSequence, report->map, request, options.Reporting() ? &report->figures : nullptr);
  return TellOutcome(input, outcome);
}

// Without --keep-chunks the output is the dialog's: a 6-byte header and the
// track chunks alone. What that leaves out is told, so nothing goes silently.
void DropChunks(const std::string& input, ttSmfLayout& layout, ttSourceFacts* facts) {
  const std::size_t chunks = layout.chunks.size();
  const std::size_t extra = layout.headerExtra.size();
  if (chunks != 0) {
    const std::string ids =
        DistinctIds(layout.chunks, [](const ttSmfChunk& chunk) { return ChunkId(chunk.id); });
    facts->notes.push_back(ttFileRemark{
        "chunks-not-written",
        chunks == 1
            ? "1 chunk that is not a track (" + ids + ") is not written; --keep-chunks keeps it"
            : std::to_string(chunks) + " chunks that are not tracks (" + ids +
                  ") are not written; --keep-chunks keeps them"});
    Remark(input, "note: " + facts->notes.back().text);
  }
  if (extra != 0) {
    facts->notes.push_back(ttFileRemark{"header-extra-not-written",
                                        "the header chunk's extra bytes (" + std::to_string(extra) +
                                            ") are not written; --keep-chunks keeps them"});
    Remark(input, "note: " + facts->notes.back().text);
  }
  layout.chunks.clear();
  layout.headerExtra.clear();
}

// The image of CurrentSequence with the layout, refused as BuildOutputImage
// refuses the dialog's, in the same order and words; a header count past
// 65,535, which kept chunks can reach, has words of its own.
bool BuildFileImage(const std::string& input, const ttSmfLayout& layout, ttByteArray& image,
                    std::uint32_t& size) {
  ttSmfLimit limit = ttSmfLimit::kDeltaTime;
  size = BuildSmfFileImage(layout, image, &limit);
  if (size == 0) {
    Tell(input, limit == ttSmfLimit::kTrackCount
                    ? Tr("The converted SMF would have more than 65535 tracks and chunks "
                         "together, more than its header can count, so it cannot be saved.")
                    : SmfLimitText(limit));
    return false;
  }
  // Nothing our own reader would refuse may reach the disk: a fault of ours.
  if (size != image.length || ValidateSmfFileImage(image.data, size).fault != ttSmfFault::kOk) {
    image.Resize(0, 1);
    size = 0;
    Tell(input, TT_TEXT_INTERNAL_ERROR);
    return false;
  }
  return true;
}

}  // namespace

bool ConvertFile(const ttCliOptions& options, const std::string& input, const std::string& output,
                 ttFileReport* report) {
  report->input = input;
  report->output = output;
  Progress progress(input, LargeFileOnTerminal(input));

  // Reading.
  progress.Stage(Tr("reading..."));
  CurrentSequence.Clear();
  ttSmfLayout layout;
  Reading reading{input,
                  options.repair,
                  options.IsPlain(),
                  options.keepTracks,
                  options.Reporting(),
                  &report->source,
                  &report->map,
                  &layout};
  if (!LoadSourceSmfWith(About(input), input.c_str(), Accept, &reading, Read))
    return false;

  progress.Stage(Tr("converting..."));
  if (reading.plain ? !ConvertPlain(options, input, report)
                    : !ConvertMapped(options, input, report)) {
    return false;
  }

  // Writing.
  if (!options.keepChunks)
    DropChunks(input, layout, &report->source);
  ttByteArray image;
  std::uint32_t size = 0;
  if (!BuildFileImage(input, layout, image, size))
    return false;
  report->outputFormat = CurrentSequence.format;
  report->outputTracks = CurrentSequence.tracks.size();
  report->outputEvents = CountEvents(CurrentSequence);
  report->outputBytes = size;
  if (options.dryRun)
    return true;
  progress.Stage(Tr("writing..."));
  if (IsStandardStream(output)
          ? !WriteStandardOutput(About(output), image.data, size)
          : !WriteFileReplacing(About(output), output.c_str(), image.data, size)) {
    return false;
  }
  report->written = true;
  return true;
}

bool InspectFile(const ttCliOptions& options, const std::string& input, ttFileInfo* info) {
  CurrentSequence.Clear();
  ttSmfLayout layout;
  Reading reading{input, options.repair, false, true, false, &info->source, &info->map, &layout};
  return LoadSourceSmfWith(About(input), input.c_str(), Accept, &reading, Read);
}
