// Rescaling a loaded source to a new BPM: the tempo written, the ticks
// rounded, what is refused, and that every conversion starts from the source.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "SourceLoading.h"
#include "TempoConversion.h"

namespace {

using smftest::Bytes;
using smftest::EndOfTrack;
using smftest::NoteOn;
using smftest::Smf;
using smftest::Tempo;
using smftest::Track;
using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

Events Loaded() {
  Events out;
  for (const ttSmfEvent& e : CurrentSequence.tracks.front()) {
    out.emplace_back(e.time, Bytes(e.bytes.data, e.bytes.data + e.bytes.length));
  }
  return out;
}

std::vector<std::uint32_t> Times() {
  std::vector<std::uint32_t> out;
  for (const auto& e : Loaded())
    out.push_back(e.first);
  return out;
}

void Load(RecordingPlatform& platform, const Bytes& file) {
  platform.files["in.mid"] = file;
  CurrentSequence.Clear();
  ASSERT_TRUE(LoadSourceSmf(nullptr, "in.mid")) << ::testing::PrintToString(platform.Texts());
}

// Tempo 500000 at tick 0, a note at each tick, the end of track on the last.
Bytes At120(const std::vector<std::uint32_t>& ticks) {
  Track track = {{0, Tempo(500000)}};
  for (std::uint32_t t : ticks)
    track.push_back({t, NoteOn(60)});
  track.push_back({ticks.back(), EndOfTrack()});
  return Smf(0, 480, {track});
}

}  // namespace

TEST(ConvertTempo, WorkedExamples) {
  const struct {
    double bpm;
    Bytes tempoBytes;
    std::vector<std::uint32_t> before, after;
  } kRows[] = {
      {60, {0x0F, 0x42, 0x40}, {0, 1, 3, 480, 481}, {0, 1, 2, 240, 241}},  // halves go up
      {100, {0x09, 0x27, 0xC0}, {1, 3, 480}, {1, 3, 400}},
      {240, {0x03, 0xD0, 0x90}, {1, 480}, {2, 960}},
      {7, {0x82, 0xCA, 0x24}, {480}, {28}},  // 8571428: truncated, not rounded
      {120, {0x07, 0xA1, 0x20}, {0, 7, 479}, {0, 7, 479}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.bpm);
    RecordingPlatform platform;
    Load(platform, At120(row.before));
    ASSERT_EQ(ConvertTempo(row.bpm), ttConvertResult::kOk);
    const Events events = Loaded();
    ASSERT_EQ(events.size(), row.before.size() + 2);
    EXPECT_EQ(events.front(),
              (std::pair<std::uint32_t, Bytes>(
                  0, {0xFF, 0x51, 0x03, row.tempoBytes[0], row.tempoBytes[1], row.tempoBytes[2]})));
    std::vector<std::uint32_t> expected = {0};
    expected.insert(expected.end(), row.after.begin(), row.after.end());
    expected.push_back(row.after.back());
    EXPECT_EQ(Times(), expected);
    EXPECT_EQ(events.back().second, EndOfTrack());
    EXPECT_EQ(SourceTempo, 500000u);  // the source's values stay for the display
    EXPECT_EQ(SourceBpm, 120.0);
  }
}

TEST(ConvertTempo, TempoLessSourceGetsTheNewTempoFirst) {
  RecordingPlatform platform;
  Load(platform,
       Smf(1, 480, {{{0, NoteOn(1)}, {480, EndOfTrack()}}, {{0, NoteOn(2)}, {960, EndOfTrack()}}}));
  for (int pass = 0; pass < 2; ++pass) {  // the second pass must not add another
    SCOPED_TRACE(pass);
    ASSERT_EQ(ConvertTempo(60), ttConvertResult::kOk);
    const Events expected = {
        {0, Tempo(1000000)}, {0, NoteOn(1)}, {0, NoteOn(2)}, {480, EndOfTrack()}};
    EXPECT_EQ(Loaded(), expected);
  }
}

TEST(ConvertTempo, RewritesAPaddedTempoEventInPlace) {
  RecordingPlatform platform;
  const Bytes padded = {0xFF, 0x51, 0x80, 0x03, 0x0F, 0x42, 0x40};
  Load(platform, Smf(0, 480, {{{0, padded}, {480, NoteOn(1)}, {480, EndOfTrack()}}}));
  ASSERT_EQ(ConvertTempo(120), ttConvertResult::kOk);
  const Events expected = {
      {0, {0xFF, 0x51, 0x80, 0x03, 0x07, 0xA1, 0x20}}, {960, NoteOn(1)}, {960, EndOfTrack()}};
  EXPECT_EQ(Loaded(), expected);
}

TEST(ConvertTempo, RepeatedConversionStartsFromTheSource) {
  RecordingPlatform platform;
  smftest::GenerateOptions options;
  options.tracks = 5;
  options.eventsPerTrack = 300;
  Load(platform, smftest::GenerateSmf(7, options));
  ASSERT_EQ(ConvertTempo(97.5), ttConvertResult::kOk);
  const Events first = Loaded();
  for (double bpm : {200.0, 3.6, 97.5}) {
    ASSERT_EQ(ConvertTempo(bpm), ttConvertResult::kOk);
  }
  EXPECT_EQ(Loaded(), first);
}

TEST(ConvertTempo, RefusesTempiATempoEventCannotHold) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* why;
    double bpm;
    ttConvertResult result;
    std::uint32_t tempo;
  } kRows[] = {
      {"60000000 gives tempo 1", 60000000.0, ttConvertResult::kOk, 1},
      {"above 60000000 gives tempo 0", 60000000.5, ttConvertResult::kTempoOutOfRange, 0},
      {"just above 60000000 / 16777216 gives 16777215", 3.57627869, ttConvertResult::kOk, 16777215},
      {"60000000 / 16777216 needs 25 bits", 60000000.0 / 16777216.0,
       ttConvertResult::kTempoOutOfRange, 0},
      {"1 BPM passes the dialog's check but not this one", 1.0, ttConvertResult::kTempoOutOfRange,
       0},
      {"infinity", inf, ttConvertResult::kTempoOutOfRange, 0},
      {"not a number", std::nan(""), ttConvertResult::kTempoOutOfRange, 0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    Load(platform, Smf(0, 480, {{{0, NoteOn(1)}, {480, EndOfTrack()}}}));  // no tempo event
    const Events before = Loaded();
    ASSERT_EQ(ConvertTempo(row.bpm), row.result);
    if (row.result == ttConvertResult::kOk) {
      EXPECT_EQ(Loaded().front(), (std::pair<std::uint32_t, Bytes>(0, Tempo(row.tempo))));
    } else {
      EXPECT_EQ(Loaded(), before);  // not even a tempo event added
    }
  }
}

TEST(ConvertTempo, RefusesTimesBeyondThirtyTwoBitsAndStartsAfreshAfter) {
  // Longest deltas one after another, until the last time has bit 31 set.
  std::vector<std::uint32_t> ticks;
  for (std::uint32_t k = 1; k <= 9; ++k)
    ticks.push_back(k * 0x0FFFFFFFu);
  RecordingPlatform platform;
  Load(platform, At120(ticks));
  EXPECT_EQ(ConvertTempo(240), ttConvertResult::kTimeOverflow);
  ASSERT_EQ(ConvertTempo(60), ttConvertResult::kOk);
  std::vector<std::uint32_t> expected = {0};
  for (std::uint32_t t : ticks)
    expected.push_back(t / 2 + (t & 1));
  expected.push_back(expected.back());
  EXPECT_EQ(Times(), expected);
}
