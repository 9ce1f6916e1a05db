#pragma once
// Shared by the robustness tests: a dialog session over the recording
// platform, and the sources they load.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "SourceLoading.h"
#include "TempoConversion.h"

namespace robust {

using smftest::Bytes;

inline int windowTag = 0;
inline const ttWindow kWindow = &windowTag;

// Three tracks of a realistic file: running status, sysex, meta events.
inline Bytes Source() {
  smftest::GenerateOptions options;
  options.tracks = 3;
  options.eventsPerTrack = 12;
  return smftest::GenerateSmf(7, options);
}

// One dialog from a fresh start, with in.mid on the double's disk.
struct Session {
  RecordingPlatform platform;
  explicit Session(const Bytes& source = Source()) {
    SourceLoaded = false;
    CurrentSequence.Clear();
    ResetConversionState();
    platform.files["in.mid"] = source;
  }
  ~Session() {
    SourceLoaded = false;
    CurrentSequence.Clear();
    ResetConversionState();
  }
  void Drop(const char* path = "in.mid") { RunDropCommand(kWindow, path); }
  void Save(const std::string& bpm, const std::string& answer = "out.mid") {
    platform.fields[IDC_TARGET_BPM] = bpm;
    platform.saveAnswers.push_back(answer);
    RunSaveCommand(kWindow);
  }
  bool Has(const std::string& path) const { return platform.files.count(path) != 0; }
  // True in the state a failed load leaves: nothing to convert, nothing shown.
  bool NoSource() {
    return !SourceLoaded && SourceBpm == -1.0 && platform.fields[IDC_SOURCE_PATH].empty() &&
           platform.fields[IDC_SOURCE_BPM].empty();
  }
};

}  // namespace robust
