// Rescaling a loaded source to a new BPM: the tempo written, the ticks
// rounded, what is refused, and that every conversion starts from the source.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "SmfTestKit.h"
#include "TempoConversion.h"

namespace smftest {
namespace {

// Tempo 500000 at tick 0, a note at each tick, the end of track on the last.
Bytes At120(const std::vector<std::uint32_t>& ticks) {
  Track track = {{0, Tempo(500000)}};
  for (std::uint32_t t : ticks)
    track.push_back({t, NoteOn(60)});
  track.push_back({ticks.back(), EndOfTrack()});
  return Smf(0, 480, {track});
}

std::vector<std::uint32_t> Times() {
  std::vector<std::uint32_t> out;
  for (const ttSmfEvent& e : CurrentSequence.tracks.front())
    out.push_back(e.time);
  return out;
}

TEST(ConvertTempo, WritesTheTruncatedTempoAndRoundsTicksHalfUp) {
  const struct {
    double bpm;
    std::uint32_t tempo;
    std::vector<std::uint32_t> before, after;
  } kRows[] = {
      {60, 1000000, {0, 1, 3, 480, 481}, {0, 1, 2, 240, 241}},  // halves go up
      {100, 600000, {1, 3, 480}, {1, 3, 400}},
      {240, 250000, {1, 480}, {2, 960}},
      {7, 8571428, {480}, {28}},  // 8571428.57: truncated, not rounded
      {120, 500000, {0, 7, 479}, {0, 7, 479}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.bpm);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, At120(row.before)));
    ASSERT_EQ(ConvertTempo(row.bpm), ttConvertResult::kOk);
    Track want = {{0, Tempo(row.tempo)}};
    for (std::uint32_t t : row.after)
      want.push_back({t, NoteOn(60)});
    want.push_back({row.after.back(), EndOfTrack()});  // still last
    EXPECT_EQ(Loaded(), want);
    EXPECT_EQ(SourceTempo, 500000u);  // the source's values stay for the display
    EXPECT_EQ(SourceBpm, 120.0);
  }
}

TEST(ConvertTempo, TempoLessSourceGetsTheNewTempoFirst) {
  RecordingPlatform platform;
  ASSERT_TRUE(LoadSource(
      platform,
      Smf(1, 480, {{{0, NoteOn(1)}, {480, EndOfTrack()}}, {{0, NoteOn(2)}, {960, EndOfTrack()}}})));
  // The second pass starts from the source again, and adds no second tempo event.
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(ConvertTempo(60), ttConvertResult::kOk);
    EXPECT_EQ(Loaded(),
              (Track{{0, Tempo(1000000)}, {0, NoteOn(1)}, {0, NoteOn(2)}, {480, EndOfTrack()}}))
        << pass;
  }
}

TEST(ConvertTempo, RewritesAPaddedTempoEventInPlace) {
  RecordingPlatform platform;
  ASSERT_TRUE(LoadSource(
      platform,
      Smf(0, 480, {{{0, Hex("FF518003 0F4240")}, {480, NoteOn(1)}, {480, EndOfTrack()}}})));
  ASSERT_EQ(ConvertTempo(120), ttConvertResult::kOk);
  EXPECT_EQ(Loaded(), (Track{{0, Hex("FF518003 07A120")}, {960, NoteOn(1)}, {960, EndOfTrack()}}));
}

TEST(ConvertTempo, RefusesTempiATempoEventCannotHold) {
  const struct {
    const char* why;
    double bpm;
    std::uint32_t tempo;  // 0: refused
  } kRows[] = {
      {"60000000, as the message says, gives tempo 1", 60000000.0, 1},
      {"just above 60000000", std::nextafter(60000000.0, 1e9), 0},
      {"3.5762787, as the message says, gives 16777215", 3.5762787, 16777215},
      {"just below 3.5762787, though 24 bits would hold it", std::nextafter(3.5762787, 0.0), 0},
      {"infinity", std::numeric_limits<double>::infinity(), 0},
      {"not a number", std::nan(""), 0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, Smf(0, 480, {{{0, NoteOn(1)}, {480, EndOfTrack()}}})));
    const Track before = Loaded();
    EXPECT_EQ(ConvertTempo(row.bpm),
              row.tempo != 0 ? ttConvertResult::kOk : ttConvertResult::kTempoOutOfRange);
    if (row.tempo != 0)
      EXPECT_EQ(Loaded().front(), (TimedEvent{0, Tempo(row.tempo)}));
    else
      EXPECT_EQ(Loaded(), before) << "not even a tempo event added";
  }
}

TEST(ConvertTempo, RefusesTimesBeyondThirtyTwoBitsAndStartsAfreshAfter) {
  // Longest deltas one after another, until the last time has bit 31 set.
  std::vector<std::uint32_t> ticks;
  for (std::uint32_t k = 1; k <= 9; ++k)
    ticks.push_back(k * 0x0FFFFFFFu);
  RecordingPlatform platform;
  ASSERT_TRUE(LoadSource(platform, At120(ticks)));
  EXPECT_EQ(ConvertTempo(240), ttConvertResult::kTimeOverflow);
  ASSERT_EQ(ConvertTempo(60), ttConvertResult::kOk);
  std::vector<std::uint32_t> want = {0};
  for (std::uint32_t t : ticks)
    want.push_back(t / 2 + (t & 1));  // halves up
  want.push_back(want.back());
  EXPECT_EQ(Times(), want);
}

}  // namespace
}  // namespace smftest
