// The save that the model-free validator guards. (Its agreement with the
// reader is checked on every image the reader's tests parse, and by fuzzing.)

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DialogSession.h"
#include "SaveFile.h"
#include "Texts.h"

namespace {

using smftest::Bytes;

// The writer writes what it is given; a sequence the reader could never have
// made must not reach the disk as a file the reader refuses.
TEST(SaveGuard, AnImageTheReaderWouldRefuseIsAnInternalErrorAndWritesNothing) {
  const struct {
    const char* why;
    void (*spoil)(ttSmfTrack& track);
  } kRows[] = {
      {"the end-of-track event is gone", [](ttSmfTrack& t) { t.pop_back(); }},
      {"an event after the end of track",
       [](ttSmfTrack& t) {
         t.push_back(ttSmfEvent{t.back().time, t.front().bytes});
       }},
      {"a timing clock among the events",
       [](ttSmfTrack& t) {
         ttSmfEvent clock{0, ttByteArray()};
         const std::uint8_t f8 = 0xF8;
         clock.bytes.Store(&f8, 1, 0);
         t.push_front(clock);
       }},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    smftest::DialogSession session;
    session.platform.files["out.mid"] = {1, 2, 3};
    session.Drop();
    ASSERT_TRUE(SourceLoaded);
    row.spoil(CurrentSequence.tracks.front());
    session.Save("90");
    EXPECT_EQ(session.platform.Texts(), std::vector<std::string>{TT_TEXT_INTERNAL_ERROR});
    EXPECT_EQ(session.platform.files["out.mid"], (Bytes{1, 2, 3}));
    EXPECT_TRUE(session.platform.liveTemps.empty());
    EXPECT_EQ(session.platform.files.size(), 2u);

    ttByteArray image;
    std::uint32_t size = 1;
    EXPECT_FALSE(BuildOutputImage(smftest::kDialog, image, size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(image.data, nullptr);
  }
}

}  // namespace
