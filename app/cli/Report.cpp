#include "Report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "BpmText.h"

namespace {

using json = nlohmann::ordered_json;

const char* ModeName(const ttCliOptions& options) {
  if (options.IsPlain())
    return "plain";
  switch (options.tempoMap) {
    case ttTempoMapMode::kRefuse:
      return "refuse";
    case ttTempoMapMode::kFlatten:
      return "flatten";
    case ttTempoMapMode::kScale:
      return "scale";
  }
  return "";
}

const std::vector<ttChunkFacts>& NoChunks() {
  static const std::vector<ttChunkFacts> none;
  return none;
}

double Bpm(std::uint32_t tempo) {
  return tempo == 0 ? 0.0 : 60000000.0 / static_cast<double>(tempo);
}

// The tempo events' figures; the BPMs of a map without one are all 120.
struct TempoFigures {
  std::size_t count = 0;
  std::uint32_t first = kUnstatedTempo;
  std::uint32_t slowest = 0;  // largest tempo: lowest BPM
  std::uint32_t fastest = 0;
};

TempoFigures Figures(const ttTempoMap& map) {
  TempoFigures f;
  f.count = map.changes.size();
  if (map.changes.empty()) {
    f.slowest = f.fastest = kUnstatedTempo;
    return f;
  }
  f.first = map.changes.front().tempo;
  f.slowest = f.fastest = f.first;
  for (const ttTempoChange& change : map.changes) {
    f.slowest = change.tempo > f.slowest ? change.tempo : f.slowest;
    f.fastest = change.tempo < f.fastest ? change.tempo : f.fastest;
  }
  return f;
}

void PrintLine(const json& object) {
  // File names need not be UTF-8: bytes that are not become U+FFFD.
  const std::string line = object.dump(-1, ' ', false, json::error_handler_t::replace);
  std::printf("%s\n", line.c_str());
}

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

const char* ContainerName(ttSmfContainer container) {
  switch (container) {
    case ttSmfContainer::kPlain:
      return "smf";
    case ttSmfContainer::kMacBinary:
      return "macbinary";
    case ttSmfContainer::kRiff:
      return "rmid";
  }
  return "";
}

json ChunksJson(const std::vector<ttChunkFacts>& chunks) {
  json list = json::array();
  for (const ttChunkFacts& chunk : chunks)
    list.push_back({{"id", chunk.id}, {"bytes", chunk.bytes}});
  return list;
}

json RemarksJson(const std::vector<ttFileRemark>& remarks) {
  json list = json::array();
  for (const ttFileRemark& remark : remarks)
    list.push_back({{"id", remark.id}, {"text", remark.text}});
  return list;
}

// The file around the events as read: container, header extra bytes,
// chunks besides the tracks (JSON).
void AddLayout(const ttSourceFacts& s, json* object) {
  (*object)["container"] = ContainerName(s.container);
  (*object)["header_extra_bytes"] = s.headerExtra;
  (*object)["chunks"] = ChunksJson(s.chunks);
  (*object)["riff_chunks"] = ChunksJson(s.riffChunks);
}

std::string ChunkList(const std::vector<ttChunkFacts>& chunks) {
  std::string text;
  for (const ttChunkFacts& chunk : chunks)
    text += (text.empty() ? "" : ", ") + chunk.id + " " + Plural(chunk.bytes, "byte");
  return text;
}

// The same as text, on one line; empty for a plain SMF with a 6-byte header
// and track chunks alone (a MacBinary header has its note). `kept`: what the
// output does with each (nullptr for --info).
std::string LayoutText(const ttSourceFacts& s, const char* kept) {
  const std::string riffKept = kept != nullptr ? " (kept)" : "";
  const std::string smfKept = kept != nullptr ? std::string(" (") + kept + ")" : "";
  std::string text;
  auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (s.container == ttSmfContainer::kRiff) {
    add("RIFF RMID" + std::string(s.riffChunks.empty() ? "" : ", other RIFF chunks ") +
        ChunkList(s.riffChunks) + riffKept);
  }
  if (s.headerExtra != 0)
    add("header extra bytes: " + std::to_string(s.headerExtra) + smfKept);
  if (!s.chunks.empty())
    add("chunks besides the tracks: " + ChunkList(s.chunks) + smfKept);
  return text;
}

void PrintLayout(const ttSourceFacts& s, const char* kept) {
  const std::string layout = LayoutText(s, kept);
  if (!layout.empty())
    std::printf("  layout: %s\n", layout.c_str());
  for (const ttFileRemark& repair : s.repairs)
    std::printf("  repaired: %s: %s\n", repair.id.c_str(), repair.text.c_str());
  for (const ttFileRemark& note : s.notes)
    std::printf("  note: %s: %s\n", note.id.c_str(), note.text.c_str());
}

}  // namespace

void PrintReport(const ttCliOptions& options, const ttFileReport& r) {
  const TempoFigures tempo = Figures(r.map);
  const ttConversionFigures& f = r.figures;
  if (options.json) {
    json object = {
        {"file", r.input},
        {"output_file", r.output.empty() ? json(nullptr) : json(r.output)},
        {"written", r.written},
        {"status", "converted"},
        {"mode", ModeName(options)},
        {"exact", options.exact},
        {"keep_tracks", options.keepTracks},
        {"keep_chunks", options.keepChunks},
        {"repair", options.repair},
        {"source",
         {{"format", r.source.format},
          {"division", r.source.division},
          {"tracks", r.source.tracks},
          {"events", r.source.events},
          {"tempo_events", tempo.count},
          {"first_bpm", Bpm(tempo.first)},
          {"lowest_bpm", Bpm(tempo.slowest)},
          {"highest_bpm", Bpm(tempo.fastest)},
          {"seconds", f.sourceSeconds}}},
        {"output",
         {{"format", r.outputFormat},
          {"division", f.outputDivision},
          {"tracks", r.outputTracks},
          {"events", r.outputEvents},
          {"bpm", Bpm(f.outputTempo)},
          {"tempo", f.outputTempo},
          {"seconds", f.outputSeconds},
          {"bytes", r.outputBytes}}},
        {"timing",
         {{"largest_error_us", f.LargestErrorMicroseconds()},
          {"largest_error_tick", f.largestErrorTick},
          {"largest_error_output_tick", f.largestErrorOutputTick},
          {"largest_error_track", f.largestErrorTrack},
          {"largest_error_event", f.largestErrorEvent},
          {"mean_error_us", f.MeanErrorMicroseconds()}}},
        {"notes", {{"zero_length_created", f.zeroLengthNotes}, {"lengthened", f.lengthenedNotes}}},
        {"repairs", RemarksJson(r.source.repairs)},
        {"file_notes", RemarksJson(r.source.notes)}};
    AddLayout(r.source, &object["source"]);
    // The output: RMID again for an RMID source; the SMF's own chunks and
    // header extra bytes only with --keep-chunks.
    const bool riff = r.source.container == ttSmfContainer::kRiff;
    json& output = object["output"];
    output["container"] = riff ? "rmid" : "smf";
    output["header_extra_bytes"] = options.keepChunks ? r.source.headerExtra : 0;
    output["chunks"] = ChunksJson(options.keepChunks ? r.source.chunks : NoChunks());
    output["riff_chunks"] = ChunksJson(riff ? r.source.riffChunks : NoChunks());
    PrintLine(object);
    return;
  }
  std::printf("%s -> %s%s\n", r.input.c_str(), r.output.empty() ? "(nowhere)" : r.output.c_str(),
              r.written ? "" : " (dry run: nothing written)");
  std::printf("  source: format %u, division %u, %s, %s; %s", r.source.format, r.source.division,
              Plural(r.source.tracks, "track").c_str(), Plural(r.source.events, "event").c_str(),
              Plural(tempo.count, "tempo event").c_str());
  if (tempo.count > 0) {
    std::printf(", first %s BPM, %s to %s BPM", FormatBpmText(Bpm(tempo.first)).c_str(),
                FormatBpmText(Bpm(tempo.slowest)).c_str(),
                FormatBpmText(Bpm(tempo.fastest)).c_str());
  }
  std::printf("; %.6f s\n", f.sourceSeconds);
  PrintLayout(r.source, options.keepChunks ? "kept" : "not written");
  std::printf("  output: format %u, division %u, %s, %s; %s BPM; %.6f s; %u bytes\n",
              r.outputFormat, f.outputDivision, Plural(r.outputTracks, "track").c_str(),
              Plural(r.outputEvents, "event").c_str(), FormatBpmText(Bpm(f.outputTempo)).c_str(),
              f.outputSeconds, r.outputBytes);
  std::printf(
      "  timing: largest error %.3f us at source tick %u (track %u, event %u, output tick %u); "
      "mean %.3f us\n",
      f.LargestErrorMicroseconds(), f.largestErrorTick, f.largestErrorTrack, f.largestErrorEvent,
      f.largestErrorOutputTick, f.MeanErrorMicroseconds());
  std::printf("  notes: %llu made zero ticks long, %llu lengthened\n",
              static_cast<unsigned long long>(f.zeroLengthNotes),
              static_cast<unsigned long long>(f.lengthenedNotes));
}

void PrintRefusal(const ttCliOptions& options, const std::string& input, const std::string& message,
                  const std::string& hint) {
  if (!options.json)
    return;
  json object{{"file", input}, {"status", "refused"}, {"message", message}};
  if (!hint.empty())
    object["hint"] = hint;
  PrintLine(object);
}

void PrintInfo(const ttCliOptions& options, const std::string& input, const ttFileInfo& info) {
  const std::uint32_t start = info.map.StartTempo();
  const bool plain = info.map.IsSingleTempo();
  const double seconds = info.map.SecondsAt(info.map.lastTick);
  if (options.json) {
    json changes = json::array();
    for (const ttTempoChange& change : info.map.changes) {
      changes.push_back({{"tick", change.tick},
                         {"tempo", change.tempo},
                         {"bpm", Bpm(change.tempo)},
                         {"track", change.track}});
    }
    json object{{"file", input},
                {"bpm", Bpm(start)},
                {"format", info.source.format},
                {"division", info.source.division},
                {"tracks", info.source.tracks},
                {"events", info.source.events},
                {"tempo_map", changes},
                {"seconds", seconds},
                {"plain_conversion", plain}};
    AddLayout(info.source, &object);
    object["repairs"] = RemarksJson(info.source.repairs);
    object["file_notes"] = RemarksJson(info.source.notes);
    PrintLine(object);
    return;
  }
  std::printf("%s: %s BPM, format %u, division %u, %s, %zu events\n", input.c_str(),
              FormatBpmText(Bpm(start)).c_str(), info.source.format, info.source.division,
              Plural(info.source.tracks, "track").c_str(), info.source.events);
  for (const ttTempoChange& change : info.map.changes) {
    std::printf("  tempo at tick %u: %s BPM (%u us, track %u)\n", change.tick,
                FormatBpmText(Bpm(change.tempo)).c_str(), change.tempo, change.track);
  }
  bool zero = false;
  for (const ttTempoChange& change : info.map.changes)
    zero = zero || change.tempo == 0;
  std::printf("  duration: %.6f s\n", seconds);
  // A division of 0 gives no time to a tick: the tempo-map modes refuse it too.
  const char* verdict = plain                       ? "takes it"
                        : zero                      ? "refuses it (a tempo of 0)"
                        : info.source.division == 0 ? "refuses it (tempo changes)"
                                                    : "refuses it (tempo changes: see --tempo-map)";
  std::printf("  plain conversion: %s\n", verdict);
  PrintLayout(info.source, nullptr);
}
