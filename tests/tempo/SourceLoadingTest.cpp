// Loading a source: what is refused and with which words, how tracks merge,
// and which tempo is found.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <list>
#include <random>
#include <string>

#include "SmfTestKit.h"
#include "Texts.h"

namespace smftest {
namespace {

int ownerTag = 0;
const ttWindow kOwner = &ownerTag;

// A tempo event whose length is written in two bytes (80 03 is not the
// shortest form of 3, but readers accept it).
Bytes PaddedTempo(std::uint32_t us) {
  Bytes bytes = Tempo(us);
  bytes.insert(bytes.begin() + 2, 0x80);
  return bytes;
}

void ExpectOneError(const RecordingPlatform& platform, const std::string& text) {
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, text);
  EXPECT_EQ(platform.messages[0].caption, "エラー");
  EXPECT_EQ(platform.messages[0].style, 0x10u);
  EXPECT_EQ(platform.messages[0].owner, kOwner);
}

const Track kNotes = {{0, NoteOn(60)}, {480, EndOfTrack()}};
const Bytes kPlainFile = Smf(0, 480, {kNotes});

// One track at 480 ticks per quarter: the given events, then the end of track.
Bytes OneTrack(Track events) {
  events.push_back({480, EndOfTrack()});
  return Smf(0, 480, {events});
}

// What merging tracks in time order one after the other gives, and what
// MergeAllTracks gives at once: the two must be the same. Each step keeps the
// later end of track (the other track's on a tie) and, at equal times, the
// merged events before the other track's (the standard merge is stable).
Track SequentialMerge(std::list<ttSmfTrack> tracks) {
  ttSmfTrack& merged = tracks.front();
  for (auto other = std::next(tracks.begin()); other != tracks.end(); ++other) {
    if (other->back().time < merged.back().time) {
      other->pop_back();
    } else {
      merged.pop_back();
    }
    merged.merge(*other, [](const ttSmfEvent& a, const ttSmfEvent& b) { return a.time < b.time; });
  }
  return EventsOf(merged);
}
// No events when MergeAllTracks refuses.
Track MergedAtOnce(const std::list<ttSmfTrack>& tracks) {
  ttSmfSequence sequence;
  sequence.tracks = tracks;
  if (!MergeAllTracks(sequence))
    return {};
  EXPECT_EQ(sequence.tracks.size(), 1u);
  return EventsOf(sequence.tracks.front());
}

TEST(SourceLoading, RefusesWithItsMessageAndForgetsTheBpm) {
  const char* const kInvalid = TT_TEXT_INVALID_SMF;
  const char* const kUnsupported = TT_TEXT_UNSUPPORTED_SMF;
  const Bytes foreignOnly = Concat({Header(0, 1, 480), {'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2}});
  const struct {
    const char* why;
    Bytes file;
    const char* message;
  } kRows[] = {
      {"an empty file", {}, kInvalid},
      {"a track cut short", Bytes(kPlainFile.begin(), kPlainFile.end() - 2), kInvalid},
      {"format 2", Smf(2, 480, {kNotes}), kUnsupported},
      {"format 3 is no SMF at all", Smf(3, 480, {kNotes}), kInvalid},
      {"SMPTE division, 25 frames", Smf(0, 0xE728, {kNotes}), kUnsupported},
      {"SMPTE division, unknown frame rate", Smf(0, 0x8128, {kNotes}), kInvalid},
      {"header announcing no chunk", Smf(0, 480, {}), kInvalid},
      {"only a foreign chunk, no track", foreignOnly, kInvalid},
      {"tempo event after tick 0", OneTrack({{0, NoteOn(60)}, {10, Tempo(400000)}}), kUnsupported},
      {"tempo events at tick 0 in two tracks",
       Smf(1, 480,
           {{{0, Tempo(500000)}, {0, EndOfTrack()}}, {{0, Tempo(500000)}, {9, EndOfTrack()}}}),
       kUnsupported},
      {"tempo 0 would give an infinite BPM", OneTrack({{0, Tempo(0)}}), kUnsupported},
      {"a padded tempo event after tick 0", OneTrack({{0, NoteOn(60)}, {5, PaddedTempo(400000)}}),
       kUnsupported},
      {"a padded tempo event is a second one",
       OneTrack({{0, Tempo(500000)}, {0, PaddedTempo(500000)}}), kUnsupported},
      {"format 0, tempo change in its second chunk",
       Smf(0, 480, {kNotes, {{0, NoteOn(1)}, {100, Tempo(400000)}, {200, EndOfTrack()}}}),
       kUnsupported},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, kPlainFile, kOwner));  // SourceBpm is 120.0 now
    EXPECT_FALSE(LoadSource(platform, row.file, kOwner));
    EXPECT_EQ(SourceBpm, -1.0);
    ExpectOneError(platform, row.message);
  }
}

TEST(SourceLoading, ReportsSystemErrorsInTheSystemsWords) {
  const struct {
    const char* why;
    std::uint32_t RecordingPlatform::*step;
    std::uint32_t code;
    std::uint64_t size;
    const char* text;
  } kRows[] = {
      {"open fails, line break kept", &RecordingPlatform::openError, 5, 0, "system text 5\r\n"},
      {"a code without text", &RecordingPlatform::readError, 0xDEAD, 0, TT_TEXT_UNEXPECTED_ERROR},
      {"4 GiB is refused before reading", &RecordingPlatform::readError, 5, 0x100000000u,
       TT_TEXT_FILE_TOO_LARGE},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    platform.*row.step = row.code;
    platform.reportedSize = row.size;
    platform.unknownCodes.push_back(0xDEAD);
    EXPECT_FALSE(LoadSource(platform, kPlainFile, kOwner));
    EXPECT_EQ(SourceBpm, -1.0);
    ExpectOneError(platform, row.text);
    EXPECT_EQ(platform.openFiles, 0);
    ShowSystemError(kOwner, 0);  // code 0 shows nothing
    EXPECT_EQ(platform.messages.size(), 1u);
  }
}

TEST(SourceLoading, FindsTheTempo) {
  const struct {
    const char* why;
    Bytes file;
    std::uint32_t tempo;
  } kRows[] = {
      {"no tempo event plays at 120 BPM", OneTrack({}), 500000},
      {"0F 42 40", OneTrack({{0, Tempo(1000000)}}), 1000000},
      {"the slowest tempo", OneTrack({{0, Tempo(16777215)}}), 16777215},
      {"length written in two bytes", OneTrack({{0, PaddedTempo(1000000)}}), 1000000},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, row.file));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(SourceTempo, row.tempo);
    EXPECT_EQ(SourceBpm, 60000000.0 / row.tempo);
  }
}

TEST(SourceLoading, MergesEveryTrackInFileOrder) {
  // Format 0 with three track chunks is merged like format 1: kept apart, the
  // later chunks would keep their old ticks.
  for (const std::uint16_t format : {std::uint16_t{0}, std::uint16_t{1}}) {
    SCOPED_TRACE(format);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, Smf(format, 96,
                                         {Events("0:900164 10:900264 10:FF2F00"),
                                          Events("0:900364 10:900464 20:FF2F00"),
                                          Events("0:FF5103061A80 10:900564 20:FF2F00")})));
    EXPECT_EQ(CurrentSequence.format, 0);
    EXPECT_EQ(CurrentSequence.division, 96);
    ASSERT_EQ(CurrentSequence.tracks.size(), 1u);
    EXPECT_EQ(Loaded(), Events("0:900164 0:900364 0:FF5103061A80 10:900264 10:900464 10:900564"
                               " 20:FF2F00"));
    EXPECT_EQ(SourceTempo, 400000u);
  }
}

TEST(MergeAllTracks, KeepsTheLaterEndOfTrackLastAndStaysStable) {
  const struct {
    const char* why;
    const char *destination, *other, *merged;
  } kRows[] = {
      {"equal end times: the other's end survives, after the destination's events",
       "0:900164 480:FF2F00", "0:900264 480:900364 480:FF2F00",
       "0:900164 0:900264 480:900364 480:FF2F00"},
      {"the other track ends earlier: its end is dropped", "960:FF2F00", "100:900164 200:FF2F00",
       "100:900164 960:FF2F00"},
      {"times compare unsigned: bit 31 set sorts last", "2147483648:900164 2147483648:FF2F00",
       "5:900264 6:FF2F00", "5:900264 2147483648:900164 2147483648:FF2F00"},
      {"equal ticks keep the destination's events first, each track in its order",
       "7:900164 7:900264 7:FF2F00", "7:900364 7:900164 8:FF2F00",
       "7:900164 7:900264 7:900364 7:900164 8:FF2F00"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(MergedAtOnce({MakeTrack(Events(row.destination)), MakeTrack(Events(row.other))}),
              Events(row.merged));
  }
}

TEST(MergeAllTracks, GivesTheSequentialMergeOnRandomTracks) {
  std::mt19937 rng(20261207);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    std::list<ttSmfTrack> tracks;
    const std::uint32_t commonEnd = pick(300);
    for (std::uint32_t t = 0, count = 2 + pick(14); t < count; ++t) {
      std::uint32_t time = pick(3) * 50;
      Track events;
      for (std::uint32_t i = 0, n = pick(30); i < n; ++i) {
        static const std::uint32_t kSteps[] = {0, 0, 0, 0, 1, 2, 5, 40};
        time += kSteps[pick(8)];
        events.push_back(
            {time, {0xFF, 0x01, 0x02, static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i)}});
      }
      // Many tracks end on the same tick.
      const bool common = pick(2) == 0 && time < commonEnd;
      events.push_back({common ? commonEnd : time + pick(3), EndOfTrack()});
      tracks.push_back(MakeTrack(events));
    }
    ASSERT_EQ(MergedAtOnce(tracks), SequentialMerge(tracks));
  }
}

// `tracks` tracks of `events` events, event i of track t at tick time(t, i),
// its bytes naming track and position; then an end of track at `end(t)`.
std::list<ttSmfTrack> Shape(int tracks, int events,
                            const std::function<std::uint32_t(int, int)>& time,
                            const std::function<std::uint32_t(int)>& end) {
  std::list<ttSmfTrack> out;
  for (int t = 0; t < tracks; ++t) {
    out.emplace_back();
    for (int i = 0; i < events; ++i) {
      const std::uint8_t data[] = {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i),
                                   static_cast<std::uint8_t>(i >> 8)};
      AppendSmfEvent(out.back(), time(t, i), 0xF0, data, sizeof data);
    }
    const std::uint8_t eot[] = {0x2F, 0x00};
    AppendSmfEvent(out.back(), end(t), 0xFF, eot, sizeof eot);
  }
  return out;
}

// The merge works a stretch of time at a time; these shapes of time take its
// rarer ways (gaps, sparse ticks, a tick too full for one stretch, empty
// tracks, times out of order, which it refuses).
TEST(MergeShapes, EachGivesTheSequentialMerge) {
  const auto flat = [](std::uint32_t tick) { return [tick](int) { return tick; }; };
  const struct {
    const char* why;
    std::list<ttSmfTrack> tracks;
    bool refused = false;
  } kRows[] = {
      {"ticks far apart, too wide a stretch to count on",
       Shape(
           3, 200,
           [](int t, int i) {
             return static_cast<std::uint32_t>(i) * 5000000u + static_cast<std::uint32_t>(t);
           },
           flat(0xF0000000u))},
      {"two busy passages with a gap of millions of ticks",
       Shape(
           5, 400,
           [](int t, int i) {
             return static_cast<std::uint32_t>(i < 200 ? i + t : 90000000 + i - t);
           },
           flat(90001000u))},
      {"more on one tick than a stretch holds",
       Shape(
           2, 600000, [](int, int i) { return i < 599990 ? 7u : 8u; }, flat(8u))},
      {"tracks holding only their end",
       Shape(
           6, 0, [](int, int) { return 0u; },
           [](int t) { return 10u * static_cast<std::uint32_t>(t % 3); })},
      {"one track's times out of order",
       Shape(
           4, 30,
           [](int t, int i) {
             return t == 2 && i == 17 ? 3u : static_cast<std::uint32_t>(i * 4 + t);
           },
           flat(200u)),
       true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(MergedAtOnce(row.tracks), row.refused ? Track{} : SequentialMerge(row.tracks));
  }
}

}  // namespace
}  // namespace smftest
