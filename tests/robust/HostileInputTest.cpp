// Files shaped to make loading slow rather than large: many tracks to merge,
// and tick times that wrap past 2^32, whose only defined merge order would
// cost time quadratic in the number of tracks.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DialogSession.h"
#include "Texts.h"

namespace {

using smftest::Bytes;
using smftest::EndOfTrack;
using smftest::NoteOn;
using smftest::Tempo;
using smftest::Track;

// `tracks` tracks of a note and an end of track; the first also has `longest`
// deltas of 0x0FFFFFFF before its end.
Bytes ManyTracks(int tracks, int longest) {
  std::vector<Track> all;
  Track first = {{0, Tempo(500000)}};
  std::uint32_t time = 0;
  for (int i = 0; i < longest; ++i)
    first.push_back({time += 0x0FFFFFFFu, NoteOn(60)});
  first.push_back({time + 1, EndOfTrack()});
  all.push_back(first);
  for (int t = 1; t < tracks; ++t)
    all.push_back({{static_cast<std::uint32_t>(t), NoteOn(61)}, {1000000, EndOfTrack()}});
  return smftest::Smf(1, 96, all);
}

// Bytes from hex digits.
Bytes Hex(const char* text) {
  Bytes out;
  for (; text[0] != '\0' && text[1] != '\0'; text += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text, 2), nullptr, 16)));
  return out;
}

// Found by the pipeline fuzz target: a track whose times wrap, merged with
// one whose end of track is not earlier than the wrapped one's. The merge
// then dropped the first track's end of track and put the second's before
// the first track's late events: a loaded source whose end of track stood in
// the middle, which no save could write.
const char kFuzzWrappedMerge[] =
    "4d546864000000060001000200604d54726b0000008200a800000064df000000806fc364ffffff7f903c64ffff"
    "ff7f903c64ffffff7f903c24ffffff7f903c64ffffff7f903c64ffffff7f903c64ffffff7f903c64ffffff7f90"
    "3c64ffffff7f903c64ffffff7f903c64ffffff79903c64ffffff7f900092ffffff7f903c64ffffff7f903c64ff"
    "ffff7f903c64ffffff25903c6401ff2f004d54726b0000000803903c6402ff2f00";

// The same shape, made by hand: the wrapped track ends at 0x0FFFFFF0, and so
// does the other, whose end of track sorted before the first note at 0x0FFFFFFF.
Bytes WrappedThenEqualEnd() {
  Track first;
  std::uint32_t time = 0;
  for (int i = 0; i < 17; ++i)
    first.push_back({time += 0x0FFFFFFFu, NoteOn(60)});
  first.push_back({time + 1, EndOfTrack()});
  return smftest::Smf(1, 96, {first, {{3, NoteOn(61)}, {0x0FFFFFF0u, EndOfTrack()}}});
}

TEST(HostileInput, TimesWrappingPast32BitsAreRefusedBeforeTheMerge) {
  const struct {
    const char* why;
    Bytes source;
    bool loads;
  } kRows[] = {
      {"sixteen longest deltas stay below 2^32", ManyTracks(3, 16), true},
      {"seventeen wrap past it", ManyTracks(3, 17), false},
      {"a wrapped track among 65,535 to merge", ManyTracks(0xFFFF, 17), false},
      {"65,535 tracks in time order merge into one", ManyTracks(0xFFFF, 0), true},
      {"fuzz finding: end of track merged into the middle", Hex(kFuzzWrappedMerge), false},
      {"the same, made by hand", WrappedThenEqualEnd(), false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    smftest::DialogSession session(row.source);
    session.Drop();
    EXPECT_EQ(SourceLoaded, row.loads);
    if (row.loads) {
      EXPECT_TRUE(session.platform.messages.empty());
      ASSERT_EQ(CurrentSequence.tracks.size(), 1u);
      EXPECT_EQ(CurrentSequence.tracks.front().back().time,
                row.source.size() > 100000 ? 1000000u : 16u * 0x0FFFFFFFu + 1);
    } else {
      EXPECT_EQ(session.platform.Texts(), std::vector<std::string>{TT_TEXT_UNSUPPORTED_SMF});
    }
  }
}

}  // namespace
