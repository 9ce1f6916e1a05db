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

TEST(ConvertTempo, WritesTheTruncatedTempoAndRoundsTicksHalfUpEveryTimeFromTheSource) {
  // 903C64 a note; tempos 07A120 500000, 0F4240 1000000, 03D090 250000.
  const struct {
    double bpm;
    const char *source, *want;
  } kRows[] = {
      {60, "0:FF510307A120 0:903C64 1:903C64 3:903C64 480:903C64 481:FF2F00",
       "0:FF51030F4240 0:903C64 1:903C64 2:903C64 240:903C64 241:FF2F00"},  // halves go up
      {240, "0:FF510307A120 1:903C64 480:FF2F00", "0:FF510303D090 2:903C64 960:FF2F00"},
      {7, "0:FF510307A120 480:FF2F00", "0:FF510382CA24 28:FF2F00"},  // 8571428.57 truncated
      {120, "0:FF510307A120 7:903C64 479:FF2F00", "0:FF510307A120 7:903C64 479:FF2F00"},
      {60, "0:903C64 480:FF2F00", "0:FF51030F4240 0:903C64 240:FF2F00"},  // a tempo added, once
      {120, "0:FF5180030F4240 480:903C64 480:FF2F00",  // a padded tempo rewritten in place
       "0:FF51800307A120 960:903C64 960:FF2F00"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.source);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, Smf(0, 480, {Events(row.source)})));
    const double bpm = SourceBpm;
    for (int pass = 0; pass < 2; ++pass) {
      ASSERT_EQ(ConvertTempo(row.bpm), ttConvertResult::kOk);
      EXPECT_EQ(Loaded(), Events(row.want)) << pass;
    }
    EXPECT_EQ(SourceBpm, bpm);  // the source's values stay for the display
  }
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
  // Longest deltas up to `end`: at 240 BPM the last time passes 2^32; from
  // tempo 7 to tempo 2, tick 1227133513 goes to 4294967295.5, halves up.
  const struct {
    std::uint32_t tempo, end;
    double bpm;
  } kRows[] = {{500000, 9 * 0x0FFFFFFFu, 240}, {7, 1227133513, 30000000}};
  for (const auto& row : kRows) {
    Track track = {{0, Tempo(row.tempo)}};
    for (std::uint32_t t = 0x0FFFFFFF; t < row.end; t += 0x0FFFFFFF)
      track.push_back({t, NoteOn(60)});
    track.push_back({row.end, EndOfTrack()});
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, Smf(0, 480, {track})));
    EXPECT_EQ(ConvertTempo(row.bpm), ttConvertResult::kTimeOverflow) << row.tempo;
    ASSERT_EQ(ConvertTempo(120), ttConvertResult::kOk);
    track.front().bytes = Tempo(500000);
    for (TimedEvent& e : track)  // nearest tick, halves up
      e.time =
          static_cast<std::uint32_t>((std::uint64_t{e.time} * row.tempo * 2 + 500000) / 1000000);
    EXPECT_EQ(Loaded(), track);
  }
}

}  // namespace
}  // namespace smftest
