#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>  // std::any_of
#include <cstdio>

#include "BpmText.h"
#include "Messages.h"
#include "Streams.h"
#include "TempoConversion.h"  // TempoForBpm
#include "Texts.h"

#ifndef TT_VERSION
#define TT_VERSION "0"
#endif

namespace {

constexpr int kGoOn = -1;
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: smftempo --bpm BPM [OPTIONS] -o OUT IN\n"
    "       smftempo --bpm BPM [OPTIONS] --out-dir DIR [-r] IN...\n"
    "       smftempo --info [--json] [--repair] IN...\n"
    "       smftempo --help | --version\n"
    "\n"
    "Changes the tempo of Standard MIDI Files without moving any event in real time:\n"
    "the tempo event gets the new BPM and every tick time is multiplied by\n"
    "old tempo / new tempo. Format 1 files are merged into one track (format 0).\n"
    "\n"
    "  --bpm BPM         the new tempo in beats per minute (3.5762787 to 60000000)\n"
    "  -o OUT            output file for a single input; - writes standard output\n"
    "  --out-dir DIR     convert every input into DIR, under its own name; a folder\n"
    "                    given as an input: its .mid, .midi, .kar and .rmi files\n"
    "  -r, --recursive   with --out-dir, folders with their subfolders, the tree\n"
    "                    mirrored under DIR\n"
    "  --force           replace existing output files (never one this run wrote)\n"
    "  -q, --quiet       print only errors: no notes, progress or summary\n"
    "  --info            print each file's BPM, format, division, tracks, events,\n"
    "                    tempo map and duration, and whether the plain conversion\n"
    "                    takes it\n"
    "\n"
    "Beyond one tempo, in exact integer arithmetic (without these options the output\n"
    "is the dialog's, byte for byte):\n"
    "  --tempo-map MODE  refuse (default): at most one tempo event, at tick 0;\n"
    "                    flatten: one tempo, the new one, every event at its time in\n"
    "                    seconds; scale: every tempo times new BPM / BPM at tick 0\n"
    "  --division N      output ticks per quarter note (1 to 32767); without --bpm\n"
    "                    the tempo stays\n"
    "  --exact           move no tick: change the division instead; when no whole\n"
    "                    division fits, refused with the nearest exact BPMs\n"
    "  --min-note TICKS  notes the conversion makes shorter than TICKS end TICKS\n"
    "                    after their note-on, but never past the next note-on of\n"
    "                    their channel and key: they stop right before it\n"
    "  --keep-tracks     a format 1 file stays format 1, its tracks as they were\n"
    "  --report          print what was done to each file\n"
    "  --dry-run         convert in memory, report, write nothing\n"
    "  --json            reports (and --info) as one JSON object per line\n"
    "\n"
    "What the file holds besides its events:\n"
    "  --repair          read files with the defects other programs leave: running\n"
    "                    status after a meta or sysex event, no end-of-track event,\n"
    "                    a chunk running past the end of the file, bytes after the\n"
    "                    end-of-track event, a wrong track count in the header,\n"
    "                    bytes after the last chunk; each repair is named on stderr\n"
    "  --keep-chunks     keep the chunks that are not tracks (XFIH, XFKM, ...) and\n"
    "                    the header's extra bytes, byte for byte, in their places;\n"
    "                    without it they are dropped, as the dialog does, and a\n"
    "                    note says so\n"
    "  A RIFF RMID file (.rmi) is read, and written as RMID again with its other\n"
    "  RIFF chunks (LIST INFO, ...) kept; --keep-chunks acts on the SMF inside it.\n"
    "\n"
    "Examples:\n"
    "  smftempo --bpm 100 -o out.mid song.mid                   # as the dialog does\n"
    "  smftempo --bpm 100 -o - - < song.mid > out.mid           # standard streams\n"
    "  smftempo --bpm 100 -r --out-dir converted songs/         # a folder tree\n"
    "  smftempo --bpm 120 --tempo-map flatten -o flat.mid song.mid\n"
    "  smftempo --bpm 90 --tempo-map scale -o slower.mid song.mid\n"
    "  smftempo --division 96 -o coarse.mid song.mid\n"
    "  smftempo --bpm 100 --exact -o same-ticks.mid song.mid\n"
    "  smftempo --bpm 200 --division 48 --min-note 1 -o out.mid song.mid\n"
    "  smftempo --bpm 100 --keep-tracks -o tracks.mid song.mid\n"
    "  smftempo --bpm 100 --tempo-map scale --report -o out.mid song.mid\n"
    "  smftempo --bpm 100 --tempo-map flatten --dry-run --json *.mid\n"
    "  smftempo --bpm 100 --repair -o mended.mid broken.mid\n"
    "  smftempo --bpm 100 --keep-tracks --keep-chunks -o song-100.mid song.mid\n"
    "  smftempo --bpm 100 -o song-100.rmi song.rmi\n"
    "  smftempo --info song.mid\n"
    "\n"
    "An input - reads standard input. A batch of several files ends with a line\n"
    "counting those converted, refused and failed, on stderr.\n"
    "\n"
    "Exit status: 0 all converted, 1 a file was refused or failed, 2 usage error.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "smftempo: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// The same checks as the dialog's tempo field, in the same order.
int ReadBpm(const std::string& text, ttCliOptions* options) {
  const std::string subject = "--bpm";
  if (text.empty()) {
    Tell(subject, TT_TEXT_NO_TEMPO);
    return kExitUsage;
  }
  options->bpm = ParseBpmText(text.c_str());
  if (!(options->bpm >= 1.0)) {
    Tell(subject, TT_TEXT_TEMPO_TOO_SMALL);
    return kExitUsage;
  }
  if (!TempoForBpm(options->bpm, &options->tempo)) {
    Tell(subject, TT_TEXT_TEMPO_OUT_OF_RANGE);
    return kExitUsage;
  }
  return kGoOn;
}

}  // namespace

bool ttCliOptions::IsPlain() const {
  return tempoMap == ttTempoMapMode::kRefuse && division == 0 && !exact && minNote == 0 &&
         !keepTracks;
}

int ParseOptions(int argc, char** argv, ttCliOptions* options) {
  CLI::App app("", "smftempo");
  app.set_help_flag();  // our own text, below
  app.allow_extras();   // told apart below, in today's words
  bool help = false;
  bool version = false;
  std::string bpmText;
  std::string tempoMap;
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  CLI::Option* bpm =
      app.add_option("--bpm", bpmText)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("-o,--output", options->output)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("--out-dir", options->outDir)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_flag("--force", options->force);
  app.add_flag("-q,--quiet", options->quiet);
  app.add_flag("-r,--recursive", options->recursive);
  app.add_flag("--info", options->info);
  app.add_option("--tempo-map", tempoMap)->check(CLI::IsMember({"refuse", "flatten", "scale"}));
  app.add_option("--division", options->division)->check(CLI::Range(1u, 32767u));
  app.add_flag("--exact", options->exact);
  app.add_option("--min-note", options->minNote)->check(CLI::Range(1u, 0xFFFFFFFFu));
  app.add_flag("--keep-tracks", options->keepTracks);
  app.add_flag("--repair", options->repair);
  app.add_flag("--keep-chunks", options->keepChunks);
  app.add_flag("--report", options->report);
  app.add_flag("--dry-run", options->dryRun);
  app.add_flag("--json", options->json);
  app.add_option("inputs", options->inputs);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return Usage(error.what());
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (version) {
    std::printf("smftempo %s\n", TT_VERSION);
    return kExitOk;
  }
  for (const std::string& extra : app.remaining()) {
    if (extra != "--")
      return Usage("unknown option " + extra);
  }
  if (options->inputs.empty())
    return Usage("no input file");
  if (tempoMap == "flatten")
    options->tempoMap = ttTempoMapMode::kFlatten;
  else if (tempoMap == "scale")
    options->tempoMap = ttTempoMapMode::kScale;
  const bool hasBpm = bpm->count() > 0;

  if (options->info) {
    if (hasBpm || !options->output.empty() || !options->outDir.empty() || !options->IsPlain() ||
        !tempoMap.empty() || options->report || options->dryRun || options->keepChunks ||
        options->recursive) {
      return Usage("--info takes no --bpm, -o, --out-dir, conversion or writing options");
    }
    return kGoOn;
  }
  if (!hasBpm && (options->division == 0 || options->exact))
    return Usage("--bpm is required");
  if (options->exact && options->division != 0)
    return Usage("--exact chooses the division itself: give no --division");
  if (!options->output.empty() && !options->outDir.empty())
    return Usage("give either -o or --out-dir");
  if (options->output.empty() && options->outDir.empty() && !options->dryRun)
    return Usage("give either -o or --out-dir");
  if (!options->output.empty() && options->inputs.size() != 1)
    return Usage("-o takes exactly one input");
  if (IsStandardStream(options->outDir))
    return Usage("--out-dir takes a folder: standard output holds one file (-o -)");
  if (!options->outDir.empty() &&
      std::any_of(options->inputs.begin(), options->inputs.end(), IsStandardStream)) {
    return Usage("standard input (-) has no name for --out-dir: give -o");
  }
  if (options->recursive && options->outDir.empty())
    return Usage("-r takes --out-dir");
  if (IsStandardStream(options->output) && !options->dryRun && options->Reporting())
    return Usage("with -o - standard output holds the file: --report and --json need a file");
  return hasBpm ? ReadBpm(bpmText, options) : kGoOn;
}
