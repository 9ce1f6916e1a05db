#include "Pipeline.h"

#include <unistd.h>  // isatty

#include <cstdio>
#include <vector>

#include "BpmText.h"
#include "Messages.h"
#include "SaveFile.h"
#include "SourceLoading.h"
#include "Texts.h"

namespace {

// Progress lines are worth it only for files that take a noticeable time.
constexpr std::uint64_t kProgressThreshold = 16u << 20;

class Progress {
 public:
  Progress(const std::string& path, bool shown) : path_(path), shown_(shown) {}
  ~Progress() {
    if (shown_)
      std::fprintf(stderr, "\r\033[K");
  }
  void Stage(const char* what) {
    if (shown_)
      std::fprintf(stderr, "\r\033[Ksmftempo: %s: %s", path_.c_str(), what);
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

// What the acceptance step after the parse needs and records.
struct Reading {
  bool plain;       // the dialog's acceptance
  bool keepTracks;  // no merge of a format 1 file
  bool scan;        // the tempo map is wanted after a plain acceptance
  ttSourceFacts* facts;
  ttTempoMap* map;
};

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
  if (reading.plain) {
    if (!AcceptParsedSource(window))
      return false;
    if (reading.scan)
      ScanTempoMap(CurrentSequence, reading.map);
    return true;
  }
  // A format 0 file with several track chunks is merged whatever the options:
  // its chunks are not tracks of their own.
  if (!AcceptSourceTracks(window, !reading.keepTracks || CurrentSequence.format == 0))
    return false;
  ScanTempoMap(CurrentSequence, reading.map);
  return true;
}

std::string BpmOrNone(std::uint32_t tempo) {
  return tempo == 0 ? std::string(TT_TEXT_NONE) : ExactBpmText(tempo);
}

// Tells why the tempo-map conversion refused; true on kOk.
bool TellOutcome(const std::string& input, const ttMapOutcome& outcome) {
  char text[512];
  switch (outcome.result) {
    case ttMapResult::kOk:
      return true;
    case ttMapResult::kTempoMap:
    case ttMapResult::kUnsupported:
      Tell(input, TT_TEXT_UNSUPPORTED_SMF);
      return false;
    case ttMapResult::kScaledTempo:
      std::snprintf(text, sizeof text, TT_TEXT_SCALED_TEMPO, outcome.tick,
                    static_cast<unsigned long long>(outcome.tempo));
      Tell(input, text);
      return false;
    case ttMapResult::kNotExact:
      std::snprintf(text, sizeof text, TT_TEXT_NOT_EXACT, BpmOrNone(outcome.slower).c_str(),
                    BpmOrNone(outcome.faster).c_str());
      Tell(input, text);
      return false;
    case ttMapResult::kExactFlatten:
      Tell(input, TT_TEXT_EXACT_FLATTEN);
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

}  // namespace

bool ConvertFile(const ttCliOptions& options, const std::string& input, const std::string& output,
                 ttFileReport* report) {
  report->input = input;
  report->output = output;
  Progress progress(input, LargeFileOnTerminal(input));

  // Reading.
  progress.Stage("読み込み中...");
  CurrentSequence.Clear();
  Reading reading{options.IsPlain(), options.keepTracks, options.Reporting(), &report->source,
                  &report->map};
  if (!LoadSourceSmfWith(About(input), input.c_str(), Accept, &reading))
    return false;

  progress.Stage("変換中...");
  if (reading.plain ? !ConvertPlain(options, input, report)
                    : !ConvertMapped(options, input, report)) {
    return false;
  }

  // Writing.
  ttByteArray image;
  std::uint32_t size = 0;
  if (!BuildOutputImage(About(input), image, size))
    return false;
  report->outputFormat = CurrentSequence.format;
  report->outputTracks = CurrentSequence.tracks.size();
  report->outputEvents = CountEvents(CurrentSequence);
  report->outputBytes = size;
  if (options.dryRun)
    return true;
  progress.Stage("書き込み中...");
  if (!WriteFileReplacing(About(output), output.c_str(), image.data, size))
    return false;
  report->written = true;
  return true;
}

bool InspectFile(const std::string& input, ttFileInfo* info) {
  CurrentSequence.Clear();
  Reading reading{false, true, false, &info->source, &info->map};
  return LoadSourceSmfWith(About(input), input.c_str(), Accept, &reading);
}
