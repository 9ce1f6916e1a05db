#pragma once
// One file through smftempo's steps: read (load and accept), convert, build
// the output image, write. Each step reports its own refusal on stderr and
// stops the file. The plain conversion takes exactly the dialog's steps;
// every other takes the tempo-map conversion.

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"
#include "SmfLayout.h"
#include "TempoMap.h"
#include "TempoMapConversion.h"

// A repair made or a fact worth telling about a file: a stable id for
// scripts ("running-status-after-meta", "chunks-not-written") and a sentence.
struct ttFileRemark {
  std::string id;
  std::string text;
};

// A chunk beside the tracks: its id (bytes that are not printable ASCII as
// \xNN) and the size of its data.
struct ttChunkFacts {
  std::string id;
  std::size_t bytes;
};

// The source as the file holds it, before any merge.
struct ttSourceFacts {
  unsigned format = 0;
  unsigned division = 0;
  std::size_t tracks = 0;
  std::size_t events = 0;
  ttSmfContainer container = ttSmfContainer::kPlain;
  std::size_t headerExtra = 0;           // header chunk bytes after the division
  std::vector<ttChunkFacts> chunks;      // in the SMF, not track chunks
  std::vector<ttChunkFacts> riffChunks;  // kRiff: the RIFF chunks besides "data"
  std::vector<ttFileRemark> repairs;     // made (--repair)
  std::vector<ttFileRemark> notes;       // told on stderr, repairs aside
};

struct ttFileReport {
  std::string input;
  std::string output;    // where it goes (empty in a dry run without one)
  bool written = false;  // false in a dry run
  ttSourceFacts source;
  ttTempoMap map;  // of the source
  ttConversionFigures figures;
  unsigned outputFormat = 0;
  std::size_t outputTracks = 0;
  std::size_t outputEvents = 0;
  std::uint32_t outputBytes = 0;
};

// Converts `input` as the options say and writes it to `output` (unless a
// dry run). False after the message that says why.
bool ConvertFile(const ttCliOptions& options, const std::string& input, const std::string& output,
                 ttFileReport* report);

struct ttFileInfo {
  ttSourceFacts source;
  ttTempoMap map;
};

// Reads `input` for --info: the source checks of every conversion, none
// about tempo, no merge. False after the message that says why.
bool InspectFile(const ttCliOptions& options, const std::string& input, ttFileInfo* info);
