#pragma once
// smftempo's options: what the command line asks for, read with CLI11 and
// checked as the dialog checks its tempo field.

#include <cstdint>
#include <string>
#include <vector>

#include "TempoMapConversion.h"  // ttTempoMapMode

struct ttCliOptions {
  std::vector<std::string> inputs;
  std::string output;  // -o
  std::string outDir;  // --out-dir
  bool force = false;
  bool info = false;
  bool report = false;
  bool dryRun = false;
  bool json = false;
  bool quiet = false;      // -q
  bool recursive = false;  // -r: folders given as inputs, with their subfolders

  // The conversion. Without --bpm (only with --division) tempo is 0: the
  // source keeps its tempo.
  double bpm = 0.0;
  std::uint32_t tempo = 0;
  ttTempoMapMode tempoMap = ttTempoMapMode::kRefuse;
  std::uint32_t division = 0;
  bool exact = false;
  std::uint32_t minNote = 0;
  bool keepTracks = false;

  // Reading and writing the file around the events: repairs of the defects
  // ReadSmfFile mends; the chunks that are not tracks and the header's extra
  // bytes written back.
  bool repair = false;
  bool keepChunks = false;

  // Nothing beyond what the dialog does: the conversion takes the dialog's
  // own steps, so its output is the dialog's byte for byte.
  bool IsPlain() const;
  // A report is printed for every file.
  bool Reporting() const { return report || dryRun || json; }
};

// Reads the command line. Returns -1 to go on; otherwise the exit status,
// after the help or version (0) or a usage error on stderr (2).
int ParseOptions(int argc, char** argv, ttCliOptions* options);
