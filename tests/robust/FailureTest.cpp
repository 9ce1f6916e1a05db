// Every failure the platform can give, one at a time, through the recording
// double: the system's text is shown, nothing is left behind, an existing
// output is untouched, and the session is exactly as usable afterwards.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RobustKit.h"
#include "Texts.h"

namespace {

using robust::Bytes;
using robust::Session;

const Bytes kOld = {'o', 'l', 'd'};

// What a save at `bpm` writes when nothing fails.
Bytes Undisturbed(const std::string& bpm) {
  Session session;
  session.Drop();
  session.Save(bpm);
  EXPECT_TRUE(session.platform.messages.empty());
  return session.platform.files["out.mid"];
}

TEST(SaveFailure, EachStepFailingLosesNothingAndTheNextSaveIsUnchanged) {
  const Bytes expected = Undisturbed("97.5");
  ASSERT_FALSE(expected.empty());
  const struct {
    const char* why;
    std::uint32_t RecordingPlatform::*step;
    std::uint32_t code;
  } kRows[] = {
      {"the temporary file cannot be created", &RecordingPlatform::createError, 13},
      {"the write fails or is short", &RecordingPlatform::writeError, 28},
      {"flushing or closing fails", &RecordingPlatform::closeError, 5},
      {"the rename over the target fails", &RecordingPlatform::replaceError, 16},
  };
  for (const auto& row : kRows) {
    for (const bool targetExists : {true, false}) {
      SCOPED_TRACE(std::string(row.why) + (targetExists ? ", over an old file" : ", new file"));
      Session session;
      if (targetExists)
        session.platform.files["out.mid"] = kOld;
      session.Drop();
      ASSERT_TRUE(SourceLoaded);
      const std::size_t filesBefore = session.platform.files.size();

      session.platform.*row.step = row.code;
      session.Save("97.5");
      ASSERT_EQ(session.platform.messages.size(), 1u);
      const RecordedMessage& shown = session.platform.messages[0];
      EXPECT_EQ(shown.text, RecordingPlatform::SystemText(row.code));
      EXPECT_EQ(shown.caption, TT_TEXT_ERROR_CAPTION);
      EXPECT_EQ(shown.style, kErrorBoxStyle);
      EXPECT_EQ(shown.owner, robust::kWindow);
      EXPECT_TRUE(session.platform.liveTemps.empty());
      EXPECT_EQ(session.platform.files.size(), filesBefore);
      EXPECT_EQ(session.Has("out.mid"), targetExists);
      if (targetExists) {
        EXPECT_EQ(session.platform.files["out.mid"], kOld);
      }
      EXPECT_TRUE(SourceLoaded);
      EXPECT_EQ(session.platform.fields[IDC_SOURCE_PATH], "in.mid");

      // The failed attempt changed nothing that the next save depends on.
      session.platform.*row.step = 0;
      session.platform.messages.clear();
      session.Save("97.5");
      EXPECT_TRUE(session.platform.messages.empty());
      EXPECT_EQ(session.platform.files["out.mid"], expected);
    }
  }
}

TEST(LoadFailure, EachStepFailingLeavesNoSourceEvenAfterAGoodLoad) {
  const struct {
    const char* why;
    std::uint32_t RecordingPlatform::*step;
    std::uint32_t code;
  } kRows[] = {
      {"the file cannot be opened", &RecordingPlatform::openError, 2},
      {"its size cannot be read", &RecordingPlatform::sizeError, 5},
      {"reading fails", &RecordingPlatform::readError, 23},
  };
  for (const auto& row : kRows) {
    for (const bool loadedBefore : {false, true}) {
      SCOPED_TRACE(std::string(row.why) + (loadedBefore ? ", replacing a loaded source" : ""));
      Session session;
      session.platform.files["other.mid"] = robust::Source();
      if (loadedBefore) {
        session.Drop("other.mid");
        ASSERT_TRUE(SourceLoaded);
      }
      session.platform.*row.step = row.code;
      session.Drop();
      EXPECT_EQ(session.platform.Texts(),
                std::vector<std::string>{RecordingPlatform::SystemText(row.code)});
      EXPECT_TRUE(session.NoSource());
      EXPECT_TRUE(CurrentSequence.tracks.empty());

      // Nothing is left to convert: a save is refused before any file work.
      session.platform.messages.clear();
      session.Save("120");
      EXPECT_EQ(session.platform.Texts(), std::vector<std::string>{TT_TEXT_NO_SOURCE});
      EXPECT_FALSE(session.Has("out.mid"));
      EXPECT_EQ(session.platform.saveDialogCalls, 0);

      // And the next load works as if nothing had happened.
      session.platform.*row.step = 0;
      session.platform.messages.clear();
      session.Drop();
      EXPECT_TRUE(SourceLoaded);
      EXPECT_TRUE(session.platform.messages.empty());
    }
  }
}

}  // namespace
