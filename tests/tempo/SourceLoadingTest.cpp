// Loading a source: what is refused and with which words, how tracks merge,
// and which tempo is found.

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <list>
#include <string>

#include "SmfTestKit.h"
#include "Texts.h"

namespace smftest {
namespace {

const std::vector<Track> kNotes = EventTracks("0:903C64 480:FF2F00");
// A tempo of 1000000 whose length is written in two bytes (80 03 is not the
// shortest form of 3, but readers accept it).
const Bytes kPaddedTempo = Hex("FF5180030F4240");

// One track at 480 ticks per quarter: the given events, then the end of track.
Bytes OneTrack(Track events) {
  events.push_back({480, EndOfTrack()});
  return Smf(0, 480, {events});
}

// `tracks` tracks of a note and an end of track; the first one's times wrap
// past 2^32 (seventeen longest deltas): a source no merge order can take.
Bytes WrappingTracks(std::uint32_t tracks) {
  std::vector<Track> all(1, {{0, Tempo(500000)}});
  for (std::uint32_t i = 1; i <= 17; ++i)
    all[0].push_back({i * 0x0FFFFFFFu, NoteOn(60)});
  all[0].push_back({17 * 0x0FFFFFFFu + 1, EndOfTrack()});
  for (std::uint32_t t = 1; t < tracks; ++t)
    all.push_back({{t, NoteOn(61)}, {1000000, EndOfTrack()}});
  return Smf(1, 96, all);
}
// Found by fuzzing: a track whose times wrap, merged with one whose end of
// track is not earlier, once put that end of track in the middle of the merge.
const char kFuzzWrappedMerge[] =
    "4D546864000000060001000200604D54726B0000008200A800000064DF000000806FC364FFFFFF7F903C64FFFF"
    "FF7F903C64FFFFFF7F903C24FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F90"
    "3C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF79903C64FFFFFF7F900092FFFFFF7F903C64FFFFFF7F903C64FF"
    "FFFF7F903C64FFFFFF25903C6401FF2F004D54726B0000000803903C6402FF2F00";

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

TEST(SourceLoading, FindsTheTempoOrRefusesWithItsMessageAndForgetsTheBpm) {
  const char* const kInvalid = TT_TEXT_INVALID_SMF;
  const char* const kUnsupported = TT_TEXT_UNSUPPORTED_SMF;
  const Bytes foreignOnly = Concat({Header(0, 1, 480), {'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2}});
  const struct {
    const char* why;
    Bytes file;
    const char* message;  // nullptr: loads, with this tempo
    std::uint32_t tempo = 0;
  } kRows[] = {
      {"no tempo event plays at 120 BPM", OneTrack({}), nullptr, 500000},
      {"the slowest tempo", OneTrack({{0, Tempo(16777215)}}), nullptr, 16777215},
      {"length written in two bytes", OneTrack({{0, kPaddedTempo}}), nullptr, 1000000},
      // Kept apart, the later chunks of format 0 would keep their old ticks.
      {"format 0 of three chunks merged, the tempo in the last",
       Smf(0, 96,
           EventTracks("0:900164 10:FF2F00 | 0:900364 20:FF2F00 | 0:FF5103061A80 20:FF2F00")),
       nullptr, 400000},
      {"a track cut short", Concat({Header(0, 1, 480), ChunkHead("MTrk", 4), Hex("00FF2F")}),
       kInvalid},
      {"format 2", Smf(2, 480, kNotes), kUnsupported},
      {"SMPTE division, 25 frames", Smf(0, 0xE728, kNotes), kUnsupported},
      {"only a foreign chunk, no track", foreignOnly, kInvalid},
      {"tempo event after tick 0", OneTrack({{0, NoteOn(60)}, {10, Tempo(400000)}}), kUnsupported},
      {"tempo events at tick 0 in two tracks",
       Smf(1, 480, EventTracks("0:FF510307A120 0:FF2F00 | 0:FF510307A120 9:FF2F00")), kUnsupported},
      {"tempo 0 would give an infinite BPM", OneTrack({{0, Tempo(0)}}), kUnsupported},
      {"a padded tempo event is a second one", OneTrack({{0, Tempo(1000000)}, {0, kPaddedTempo}}),
       kUnsupported},
      {"times wrapping past 2^32", WrappingTracks(3), kUnsupported},
      {"times wrapping among 65,535 tracks, refused before the merge", WrappingTracks(0xFFFF),
       kUnsupported},
      {"fuzz finding: end of track merged into the middle", Hex(kFuzzWrappedMerge), kUnsupported},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(LoadSource(platform, Smf(0, 96, {{{0, Tempo(1000)}, {0, EndOfTrack()}}})));
    EXPECT_EQ(LoadSource(platform, row.file), row.message == nullptr);
    if (row.message == nullptr) {
      EXPECT_TRUE(platform.messages.empty());
      EXPECT_TRUE(CurrentSequence.format == 0 && CurrentSequence.tracks.size() == 1);
      EXPECT_EQ(SourceTempo, row.tempo);
      EXPECT_EQ(SourceBpm, 60000000.0 / row.tempo);
    } else {
      EXPECT_EQ(SourceBpm, -1.0);
      EXPECT_EQ(platform.Texts(), std::vector<std::string>{row.message});
    }
  }
}

// The merge works a stretch of time at a time; these shapes of time take its
// rarer ways (gaps, sparse ticks, a tick too full for one stretch, empty
// tracks, times out of order, which it refuses). Track t holds `events`
// events at time(t, i), each naming its track and position, then its end.
TEST(MergeShapes, EachGivesTheSequentialMerge) {
  using Tick = std::uint32_t;
  const struct {
    const char* why;
    Tick tracks, events;
    Tick (*time)(Tick t, Tick i);
    Tick (*end)(Tick t);
    bool refused = false;
  } kRows[] = {
      {"ticks far apart, too wide a stretch to count on", 3, 200,
       [](Tick t, Tick i) { return i * 5000000u + t; }, [](Tick) { return 0xF0000000u; }},
      {"two busy passages with a gap of millions of ticks", 5, 400,
       [](Tick t, Tick i) { return i < 200 ? i + t : 90000000 + i - t; },
       [](Tick) { return 90001000u; }},
      // Dense ticks narrow the stretches to a few ticks before the full one,
      // which is narrowed again, to one tick.
      {"more on one tick than a stretch holds", 2, 650000,
       [](Tick, Tick i) { return i < 60000 ? i / 300 : 1000u; }, [](Tick) { return 1000u; }},
      {"tracks holding only their end", 6, 0, [](Tick, Tick) { return 0u; },
       [](Tick t) { return 10 * (t % 3); }},
      // Times compare unsigned; many tracks end on one tick, the others later.
      {"times straddling bit 31, uneven steps and equal ticks", 9, 40,
       [](Tick t, Tick i) { return 0x7FFFFFF0u + i * 2 + (t * i) % 3 / 2 * (t % 2); },
       [](Tick t) { return t % 3 == 0 ? 0x80000100u : 0x80000060u + t; }},
      {"one track's times out of order", 4, 30,
       [](Tick t, Tick i) { return t == 2 && i == 17 ? 3 : i * 4 + t; }, [](Tick) { return 200u; },
       true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    std::list<ttSmfTrack> tracks(row.tracks);
    Tick t = 0;
    for (ttSmfTrack& track : tracks) {
      for (Tick i = 0; i < row.events; ++i) {
        const std::uint8_t data[] = {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i),
                                     static_cast<std::uint8_t>(i >> 8)};
        AppendSmfEvent(track, row.time(t, i), 0xF0, data, sizeof data);
      }
      const std::uint8_t eot[] = {0x2F, 0x00};
      AppendSmfEvent(track, row.end(t++), 0xFF, eot, sizeof eot);
    }
    EXPECT_EQ(MergedAtOnce(tracks), row.refused ? Track{} : SequentialMerge(tracks));
  }
}

}  // namespace
}  // namespace smftest
