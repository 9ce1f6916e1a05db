// The dialog's browse, drop and save commands against a recording platform:
// their states, their messages in order, and what reaches the disk.

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "DialogSession.h"
#include "SaveFile.h"
#include "SmfTestKit.h"
#include "TempoConversion.h"
#include "Texts.h"

namespace smftest {
namespace {

using Texts = std::vector<std::string>;

// Two tracks at 120 BPM; merged: tempo and note at 0, note at 240, end at 960.
const Bytes kSource = Smf(1, 480,
                          {{{0, Tempo(500000)}, {0, NoteOn(60)}, {480, EndOfTrack()}},
                           {{240, NoteOn(62)}, {960, EndOfTrack()}}});
// At `tempo`, ticks scaled by 500000 / tempo.
Bytes Converted(std::uint32_t tempo, std::uint32_t note, std::uint32_t end) {
  return Smf(0, 480,
             {{{0, Tempo(tempo)}, {0, NoteOn(60)}, {note, NoteOn(62)}, {end, EndOfTrack()}}});
}
const Bytes kOld = {1, 2, 3};

// A dialog whose in.mid is kSource.
struct Dialog : DialogSession {
  Dialog() : DialogSession(kSource) {}
};

TEST(SaveCommand, RefusedOrFailedSavesKeepTheOldFileAndLeaveNoTemporaryFile) {
  // At 240 BPM every time doubles: past 32 bits, or a gap past the longest delta.
  Track past32Bits = {{0, Tempo(500000)}};
  for (std::uint32_t k = 1; k <= 9; ++k)
    past32Bits.push_back({k * 0x0FFFFFFFu, NoteOn(1)});
  past32Bits.push_back({9 * 0x0FFFFFFFu, EndOfTrack()});
  const Bytes longGap = Smf(0, 480, {{{0, NoteOn(1)}, {0x0FFFFFFF, EndOfTrack()}}});
  const Bytes saved = Converted(1000000, 120, 480);
  using P = RecordingPlatform;
  const struct {
    const char* why;
    std::uint32_t P::*step;  // fails with `code`
    std::uint32_t code;
    const char* answer;   // of the save dialog
    const char* message;  // nullptr: none
    Bytes source = kSource;
    const char* bpm = "60";
    int saveDialogCalls = 1;
  } kRows[] = {
      {"saved", nullptr, 0, "out.mid", nullptr},
      {"an empty field", nullptr, 0, "out.mid", TT_TEXT_NO_TEMPO, kSource, "", 0},
      {"only spaces pass the empty check", nullptr, 0, "out.mid", TT_TEXT_TEMPO_TOO_SMALL, kSource,
       "   ", 0},
      {"1 passes the small check, then needs 25 bits", nullptr, 0, "out.mid",
       TT_TEXT_TEMPO_OUT_OF_RANGE, kSource, "1", 0},
      {"save dialog cancelled: nothing written, nothing said", nullptr, 0, "", nullptr},
      {"the temporary file cannot be created", &P::createError, 13, "out.mid",
       "system text 13\r\n"},
      {"writing fails or is short", &P::writeError, 28, "out.mid", "system text 28\r\n"},
      {"flushing or closing fails", &P::closeError, 5, "out.mid", "system text 5\r\n"},
      {"the rename over the target fails", &P::replaceError, 16, "out.mid", "system text 16\r\n"},
      {"a code without text", &P::writeError, 0xBAD, "out.mid", TT_TEXT_UNEXPECTED_ERROR},
      {"the save dialog fails, not cancelled", &P::dialogError, 0x3003, "out.mid",
       "ファイル ダイアログを表示できませんでした。(エラー コード 0x3003)"},
      {"a time past 32 bits: refused before the save dialog", nullptr, 0, "out.mid",
       TT_TEXT_TIME_OVERFLOW, Smf(0, 480, {past32Bits}), "240", 0},
      {"a gap past the longest delta: refused before writing", nullptr, 0, "out.mid",
       TT_TEXT_TIME_OVERFLOW, longGap, "240", 1},
  };
  for (const auto& row : kRows) {
    for (const bool oldFile : {true, false}) {
      SCOPED_TRACE(std::string(row.why) + (oldFile ? ", over an old file" : ", a new file"));
      Dialog dialog;
      dialog.platform.files["in.mid"] = row.source;
      if (oldFile)
        dialog.platform.files["out.mid"] = kOld;
      dialog.Browse("in.mid");
      if (row.step != nullptr)
        dialog.platform.*row.step = row.code;
      dialog.platform.unknownCodes.push_back(0xBAD);
      dialog.Save(row.bpm, row.answer);
      dialog.ExpectMessages(row.message != nullptr ? Texts{row.message} : Texts{});
      EXPECT_EQ(dialog.platform.saveDialogCalls, row.saveDialogCalls);
      const bool written = row.message == nullptr && *row.answer != '\0';
      if (written || oldFile) {
        EXPECT_EQ(dialog.platform.files["out.mid"], written ? saved : kOld);
      }
      EXPECT_EQ(dialog.platform.files.size(), written || oldFile ? 2u : 1u);  // nothing else
      EXPECT_TRUE(dialog.platform.liveTemps.empty());
      EXPECT_TRUE(SourceLoaded);
      EXPECT_EQ(dialog.Shown(IDC_SOURCE_PATH), "in.mid");
      EXPECT_EQ(dialog.Shown(IDC_SOURCE_BPM), "120.0");
      EXPECT_EQ(dialog.Shown(IDC_TARGET_BPM), row.bpm);  // never written by the tool
      if (row.step != nullptr) {
        // The failure changed nothing that the next save depends on.
        dialog.platform.*row.step = 0;
        dialog.platform.messages.clear();
        dialog.Save(row.bpm);
        dialog.ExpectMessages({});
        EXPECT_EQ(dialog.platform.files["out.mid"], saved);
      }
    }
  }
}

TEST(SaveCommand, ReadsAtMost127BytesOfTheField) {
  Dialog dialog;
  dialog.Browse("in.mid");
  dialog.Save(std::string(126, '0') + "51", "out.mid");  // the 127th byte ends "...05"
  dialog.ExpectMessages({});
  EXPECT_EQ(dialog.platform.files["out.mid"], Converted(12000000, 10, 40));
}

// The writer writes what it is given. A sequence the reader could never have
// made must not reach the disk as a file the reader refuses (an internal
// error); one past a limit of the format is refused with that limit's reason.
TEST(SaveCommand, AnUnwritableSequenceIsRefusedWithItsReasonAndWritesNothing) {
  const struct {
    const char* why;
    void (*spoil)(ttSmfTrack& track);
    const char* message = TT_TEXT_INTERNAL_ERROR;
  } kRows[] = {
      {"the end-of-track event is gone", [](ttSmfTrack& t) { t.pop_back(); }},
      {"more tracks than a header counts",
       [](ttSmfTrack&) {
         while (CurrentSequence.tracks.size() <= 0xFFFF)
           CurrentSequence.AddTrack();
       }},
      {"an image of 4 GiB: a note claims almost 4 GiB of bytes (only the length is read)",
       [](ttSmfTrack& t) { std::next(t.begin())->bytes.length = 0xFFFFFFF0u; },
       TT_TEXT_OUTPUT_TOO_LARGE},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    Dialog dialog;
    dialog.platform.files["out.mid"] = kOld;
    dialog.Browse("in.mid");
    row.spoil(CurrentSequence.tracks.front());
    dialog.Save("90");
    dialog.ExpectMessages({row.message});
    EXPECT_EQ(dialog.platform.files["out.mid"], kOld);
    EXPECT_TRUE(dialog.platform.liveTemps.empty());
    EXPECT_EQ(dialog.platform.files.size(), 2u);

    ttByteArray image;
    std::uint32_t size = 1;
    EXPECT_FALSE(BuildOutputImage(kDialog, image, size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(image.data == nullptr && image.length == 0) << "nothing half-built is left";
  }
}

TEST(SourceCommands, EachLoadStepFailingLeavesNoSourceEvenAfterAGoodLoad) {
  const struct {
    const char* why;
    std::uint32_t RecordingPlatform::*step;
    std::uint32_t code;
    std::uint64_t size = 0;         // the file's size as reported
    const char* message = nullptr;  // else the system's text
  } kRows[] = {
      {"the file cannot be opened", &RecordingPlatform::openError, 2},
      {"its size cannot be read", &RecordingPlatform::sizeError, 5},
      {"reading fails", &RecordingPlatform::readError, 23},
      {"4 GiB is refused before reading", &RecordingPlatform::readError, 23, 0x100000000u,
       TT_TEXT_FILE_TOO_LARGE},
  };
  for (const auto& row : kRows) {
    for (const bool loadedBefore : {false, true}) {
      SCOPED_TRACE(std::string(row.why) + (loadedBefore ? ", replacing a loaded source" : ""));
      Dialog dialog;
      dialog.platform.files["other.mid"] = kSource;
      if (loadedBefore)
        dialog.Drop("other.mid");
      dialog.platform.*row.step = row.code;
      dialog.platform.reportedSize = row.size;
      dialog.Drop();
      dialog.ExpectMessages(
          {row.message != nullptr ? row.message : RecordingPlatform::SystemText(row.code)});
      EXPECT_TRUE(dialog.NoSource());
      // The next load works as if nothing had happened.
      dialog.platform.*row.step = 0;
      dialog.platform.reportedSize = 0;
      dialog.platform.messages.clear();
      dialog.Drop();
      EXPECT_TRUE(SourceLoaded);
      dialog.ExpectMessages({});
    }
  }
}

TEST(SourceCommands, MoveBetweenNoSourceAndLoaded) {
  Dialog dialog;
  dialog.platform.files["slow.mid"] = Smf(0, 96, {{{0, Tempo(16777215)}, {0, EndOfTrack()}}});
  dialog.platform.files["bad.mid"] = {'M', 'T', 'h', 'd'};
  auto expectShown = [&](const char* path, const char* bpm) {
    EXPECT_EQ(SourceLoaded, *path != '\0');
    EXPECT_EQ(dialog.Shown(IDC_SOURCE_PATH), path);
    EXPECT_EQ(dialog.Shown(IDC_SOURCE_BPM), bpm);
  };
  dialog.Browse("in.mid");
  expectShown("in.mid", "120.0");
  RunDropCommand(kDialog, "slow.mid");  // replaces the loaded source
  expectShown("slow.mid", "3.5762789");
  RunDropCommand(kDialog, nullptr);  // a drop without items
  expectShown("", "");
  RunDropCommand(kDialog, "in.mid");
  RunDropCommand(kDialog, "bad.mid");  // fails to load: no source any more
  expectShown("", "");
  dialog.Browse("in.mid");
  dialog.Browse("");  // cancelled: what was loaded is gone
  expectShown("", "");
  EXPECT_TRUE(CurrentSequence.tracks.empty());
  dialog.Browse("in.mid");
  dialog.platform.dialogError = 1;
  dialog.Browse("in.mid");  // the dialog failed: said so, and what was loaded is gone
  expectShown("", "");
  dialog.Save("", "out.mid");  // no source is said first, before the empty field
  EXPECT_EQ(dialog.platform.saveDialogCalls, 0);
  dialog.ExpectMessages({TT_TEXT_INVALID_SMF,
                         "ファイル ダイアログを表示できませんでした。(エラー コード 0x0001)",
                         TT_TEXT_NO_SOURCE});
  EXPECT_EQ(dialog.platform.openDialogCalls, 5);
}

}  // namespace
}  // namespace smftest
