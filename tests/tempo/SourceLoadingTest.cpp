// Loading a source: what is refused and with which words, how tracks merge,
// and which tempo is found.

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "SourceLoading.h"
#include "Texts.h"

namespace {

using smftest::Bytes;
using smftest::EndOfTrack;
using smftest::NoteOn;
using smftest::Smf;
using smftest::Tempo;
using smftest::Track;
using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

int ownerTag = 0;
const ttWindow kOwner = &ownerTag;

Events EventsOf(const ttSmfTrack& track) {
  Events out;
  for (const ttSmfEvent& e : track)
    out.emplace_back(e.time, Bytes(e.bytes.data, e.bytes.data + e.bytes.length));
  return out;
}

ttSmfEvent MakeEvent(std::uint32_t time, const Bytes& bytes) {
  ttSmfEvent event{time, ttByteArray()};
  event.bytes.Store(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
  return event;
}

ttSmfTrack MakeTrack(const Events& events) {
  ttSmfTrack track;
  for (const auto& e : events)
    track.push_back(MakeEvent(e.first, e.second));
  return track;
}

bool Load(RecordingPlatform& platform, const Bytes& file) {
  platform.files["source.mid"] = file;
  CurrentSequence.Clear();
  return LoadSourceSmf(kOwner, "source.mid");
}

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

const Bytes kPlainFile = Smf(0, 480, {{{0, NoteOn(60)}, {480, EndOfTrack()}}});

}  // namespace

TEST(SourceLoading, RefusesWithItsMessageAndForgetsTheBpm) {
  const Track notes = {{0, NoteOn(60)}, {480, EndOfTrack()}};
  const Bytes foreignOnly =
      smftest::Concat({smftest::Header(0, 1, 480), {'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2}});
  const struct {
    const char* why;
    Bytes file;
    const char* message;
  } kRows[] = {
      {"an empty file", {}, TT_TEXT_INVALID_SMF},
      {"text, not an SMF", {'h', 'e', 'l', 'l', 'o'}, TT_TEXT_INVALID_SMF},
      {"a track cut short", Bytes(kPlainFile.begin(), kPlainFile.end() - 2), TT_TEXT_INVALID_SMF},
      {"format 2", Smf(2, 480, {notes}), TT_TEXT_UNSUPPORTED_SMF},
      {"format 3 is no SMF at all", Smf(3, 480, {notes}), TT_TEXT_INVALID_SMF},
      {"SMPTE division, 25 frames", Smf(0, 0xE728, {notes}), TT_TEXT_UNSUPPORTED_SMF},
      {"SMPTE division with an unknown frame rate", Smf(0, 0x8128, {notes}), TT_TEXT_INVALID_SMF},
      {"header announcing no chunk", Smf(0, 480, {}), TT_TEXT_INVALID_SMF},
      {"only a foreign chunk, no track", foreignOnly, TT_TEXT_INVALID_SMF},
      {"tempo event after tick 0",
       Smf(0, 480, {{{0, NoteOn(60)}, {10, Tempo(400000)}, {480, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"two equal tempo events at tick 0 in one track",
       Smf(0, 480, {{{0, Tempo(500000)}, {0, Tempo(500000)}, {480, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"tempo events at tick 0 in two tracks",
       Smf(1, 480,
           {{{0, Tempo(500000)}, {0, EndOfTrack()}}, {{0, Tempo(500000)}, {9, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"tempo 0 would give an infinite BPM", Smf(0, 480, {{{0, Tempo(0)}, {480, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"a padded tempo event after tick 0 is still a tempo change",
       Smf(0, 480, {{{0, NoteOn(60)}, {5, PaddedTempo(400000)}, {480, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"a padded tempo event counts as a second tempo event",
       Smf(0, 480, {{{0, Tempo(500000)}, {0, PaddedTempo(500000)}, {480, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
      {"format 0, tempo change in its second track chunk",
       Smf(0, 480, {notes, {{0, NoteOn(1)}, {100, Tempo(400000)}, {200, EndOfTrack()}}}),
       TT_TEXT_UNSUPPORTED_SMF},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(Load(platform, kPlainFile));  // SourceBpm is 120.0 now
    EXPECT_FALSE(Load(platform, row.file));
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
      {"open fails", &RecordingPlatform::openError, 5, 0, "system text 5\r\n"},  // line break kept
      {"size fails", &RecordingPlatform::sizeError, 6, 0, "system text 6\r\n"},
      {"read fails", &RecordingPlatform::readError, 23, 0, "system text 23\r\n"},
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
    EXPECT_FALSE(Load(platform, kPlainFile));
    EXPECT_EQ(SourceBpm, -1.0);
    ExpectOneError(platform, row.text);
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
      {"no tempo event plays at 120 BPM", Smf(0, 480, {{{480, EndOfTrack()}}}), 500000},
      {"0F 42 40", Smf(0, 480, {{{0, Tempo(1000000)}, {480, EndOfTrack()}}}), 1000000},
      {"the slowest tempo", Smf(0, 480, {{{0, Tempo(16777215)}, {480, EndOfTrack()}}}), 16777215},
      {"length written in two bytes",
       Smf(0, 480, {{{0, PaddedTempo(1000000)}, {480, EndOfTrack()}}}), 1000000},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    RecordingPlatform platform;
    ASSERT_TRUE(Load(platform, row.file));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(SourceTempo, row.tempo);
    EXPECT_EQ(SourceBpm, 60000000.0 / row.tempo);
  }
}

TEST(SourceLoading, MergesEveryTrackInFileOrder) {
  // Format 0 with two track chunks (kept apart, the second chunk would keep
  // its old ticks) is merged like format 1.
  for (const std::uint16_t format : {std::uint16_t{0}, std::uint16_t{1}}) {
    SCOPED_TRACE(format);
    RecordingPlatform platform;
    const Bytes file = Smf(format, 96,
                           {{{0, NoteOn(1)}, {10, NoteOn(2)}, {10, EndOfTrack()}},
                            {{0, NoteOn(3)}, {10, NoteOn(4)}, {20, EndOfTrack()}},
                            {{0, Tempo(400000)}, {10, NoteOn(5)}, {20, EndOfTrack()}}});
    ASSERT_TRUE(Load(platform, file));
    EXPECT_EQ(CurrentSequence.format, 0);
    EXPECT_EQ(CurrentSequence.division, 96);
    ASSERT_EQ(CurrentSequence.tracks.size(), 1u);
    const Events expected = {{0, NoteOn(1)},  {0, NoteOn(3)},  {0, Tempo(400000)}, {10, NoteOn(2)},
                             {10, NoteOn(4)}, {10, NoteOn(5)}, {20, EndOfTrack()}};
    EXPECT_EQ(EventsOf(CurrentSequence.tracks.front()), expected);
    EXPECT_EQ(SourceTempo, 400000u);
  }
}

TEST(MergeTracks, KeepsTheLaterEndOfTrackLastAndStaysStable) {
  const Bytes n1 = NoteOn(1), n2 = NoteOn(2), n3 = NoteOn(3), eot = EndOfTrack();
  const struct {
    const char* why;
    Events destination;
    Events other;
    Events merged;
  } kRows[] = {
      {"equal end times: the other track's end survives, after the destination's events",
       {{0, n1}, {480, eot}},
       {{0, n2}, {480, n3}, {480, eot}},
       {{0, n1}, {0, n2}, {480, n3}, {480, eot}}},
      {"the other track ends earlier: its end is dropped",
       {{960, eot}},
       {{100, n1}, {200, eot}},
       {{100, n1}, {960, eot}}},
      {"times compare unsigned: bit 31 set sorts last",
       {{0x80000000u, n1}, {0x80000000u, eot}},
       {{5, n2}, {6, eot}},
       {{5, n2}, {0x80000000u, n1}, {0x80000000u, eot}}},
      {"equal ticks keep the destination's events first, each track in its order",
       {{7, n1}, {7, n2}, {7, eot}},
       {{7, n3}, {7, n1}, {8, eot}},
       {{7, n1}, {7, n2}, {7, n3}, {7, n1}, {8, eot}}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    ttSmfTrack destination = MakeTrack(row.destination);
    ttSmfTrack other = MakeTrack(row.other);
    MergeTracks(destination, other);
    EXPECT_EQ(EventsOf(destination), row.merged);
    EXPECT_TRUE(other.empty());
  }
}

TEST(MergeAllTracks, GivesTheSequentialMergeOnRandomTracks) {
  std::mt19937 rng(20261207);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  int wrappedRounds = 0;
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    std::list<ttSmfTrack> tracks;
    const std::uint32_t commonEnd = pick(300);
    const std::uint32_t trackCount = 2 + pick(14);
    bool wrapped = false;
    for (std::uint32_t t = 0; t < trackCount; ++t) {
      // Some tracks start just below 2^32 and wrap, as a reader makes them
      // from deltas whose sum passes 2^32.
      const bool wraps = round % 4 == 0 && pick(3) == 0;
      wrapped = wrapped || wraps;
      std::uint32_t time = wraps ? 0xFFFFFFF0u : pick(3) * 50;
      Events events;
      const std::uint32_t count = pick(30);
      for (std::uint32_t i = 0; i < count; ++i) {
        static const std::uint32_t kSteps[] = {0, 0, 0, 0, 1, 2, 5, 40};
        time += kSteps[pick(8)];
        events.push_back(
            {time, {0xFF, 0x01, 0x02, static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i)}});
      }
      // Many tracks end on the same tick.
      const std::uint32_t end =
          pick(2) == 0 && !wraps && time < commonEnd ? commonEnd : time + pick(3);
      events.push_back({end, EndOfTrack()});
      tracks.push_back(MakeTrack(events));
    }
    wrappedRounds += wrapped ? 1 : 0;

    std::list<ttSmfTrack> sequential = tracks;
    while (sequential.size() > 1) {
      MergeTracks(sequential.front(), *std::next(sequential.begin()));
      sequential.erase(std::next(sequential.begin()));
    }
    ttSmfSequence balanced;
    balanced.tracks = tracks;
    MergeAllTracks(balanced);
    ASSERT_EQ(balanced.tracks.size(), 1u);
    ASSERT_EQ(EventsOf(balanced.tracks.front()), EventsOf(sequential.front()));
  }
  EXPECT_GT(wrappedRounds, 20);
}
