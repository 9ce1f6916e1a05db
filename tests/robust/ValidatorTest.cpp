// The model-free validator against the reader on images no table would list
// (every table of the reader's tests checks the two agree as well), and the
// save that it guards.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "DialogSession.h"
#include "SaveFile.h"
#include "SmfTestKit.h"
#include "Texts.h"

namespace {

using smftest::Bytes;

// Mutations of valid files reach every refusal the reader has; the validator
// must give the reader's verdict on each one.
TEST(SmfValidator, AgreesWithTheReaderOnGeneratedAndMutatedImages) {
  std::mt19937 rng(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  int accepted = 0;
  int refused = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    smftest::GenerateOptions options;
    options.format = static_cast<std::uint16_t>(seed % 3);
    options.tracks = 1 + static_cast<int>(seed % 3);
    options.eventsPerTrack = 3 + static_cast<int>(seed % 20);
    options.runningStatus = seed % 2 == 0;
    const Bytes original = smftest::GenerateSmf(seed, options);
    for (int round = 0; round < 300; ++round) {
      Bytes image = original;
      for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
        const std::size_t at = pick(image.size());
        switch (pick(5)) {
          case 0:
            image[at] = static_cast<std::uint8_t>(rng());
            break;
          case 1:
            image[at] ^= static_cast<std::uint8_t>(1u << pick(8));
            break;
          case 2:
            image.erase(image.begin() + static_cast<std::ptrdiff_t>(at));
            break;
          case 3:
            image.insert(image.begin() + static_cast<std::ptrdiff_t>(at), 0x80);
            break;
          default:
            image.resize(at);
            break;
        }
        if (image.empty())
          break;
      }
      // ParseImage expects the two verdicts to agree.
      (smftest::ParseImage(image) ? accepted : refused) += 1;
      CurrentSequence.Clear();
      ASSERT_FALSE(HasFailure()) << "seed " << seed << " round " << round;
    }
  }
  // Both verdicts must be well represented, or the agreement says little.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 5000);
}

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
