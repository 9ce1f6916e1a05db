#pragma once
// One dialog over the recording platform, from a fresh start: no source
// loaded and in.mid on the double's disk, driven by the front ends' commands.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"

namespace smftest {

inline int dialogTag = 0;
inline const ttWindow kDialog = &dialogTag;

// Three tracks of a realistic file: running status, sysex, meta events.
inline Bytes RealisticSource() {
  GenerateOptions options;
  options.tracks = 3;
  options.eventsPerTrack = 12;
  return GenerateSmf(7, options);
}

struct DialogSession {
  RecordingPlatform platform;

  explicit DialogSession(const Bytes& source = RealisticSource()) {
    Reset();
    platform.files["in.mid"] = source;
  }
  // Whatever failed on the way, no file is left open (on Windows it would
  // stay locked).
  ~DialogSession() {
    EXPECT_EQ(platform.openFiles, 0);
    Reset();
  }
  static void Reset() {
    SourceLoaded = false;
    CurrentSequence.Clear();
    ResetConversionState();
  }

  void Browse(const std::string& answer) {
    platform.openAnswers.push_back(answer);
    RunBrowseCommand(kDialog);
  }
  void Drop(const char* path = "in.mid") { RunDropCommand(kDialog, path); }
  // `answer` is what the save dialog returns ("" cancels); nullptr when the
  // dialog must not open.
  void Save(const std::string& bpm, const char* answer = "out.mid") {
    platform.fields[IDC_TARGET_BPM] = bpm;
    if (answer != nullptr)
      platform.saveAnswers.push_back(answer);
    RunSaveCommand(kDialog);
  }

  std::string Shown(int id) { return platform.fields[id]; }
  // True in the state a failed load leaves: nothing to convert, nothing shown.
  bool NoSource() {
    return !SourceLoaded && SourceBpm == -1.0 && Shown(IDC_SOURCE_PATH).empty() &&
           Shown(IDC_SOURCE_BPM).empty() && CurrentSequence.tracks.empty();
  }
  // The messages shown so far, in order; each an error box owned by the dialog.
  void ExpectMessages(const std::vector<std::string>& texts) {
    EXPECT_EQ(platform.Texts(), texts);
    for (const RecordedMessage& m : platform.messages) {
      EXPECT_EQ(m.caption, "エラー");
      EXPECT_EQ(m.style, 0x10u);  // MB_ICONERROR
      EXPECT_EQ(m.owner, kDialog);
    }
  }
};

}  // namespace smftest
