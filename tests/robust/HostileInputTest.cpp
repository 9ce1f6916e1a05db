// Files shaped to make loading slow rather than large: many tracks to merge,
// and tick times that wrap past 2^32, whose only defined merge order would
// cost time quadratic in the number of tracks.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DialogSession.h"
#include "SmfTestKit.h"
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

// Found by the pipeline fuzz target: a track whose times wrap, merged with
// one whose end of track is not earlier than the wrapped one's. The merge
// then dropped the first track's end of track and put the second's before
// the first track's late events: a loaded source whose end of track stood in
// the middle, which no save could write.
const char kFuzzWrappedMerge[] =
    "4D546864000000060001000200604D54726B0000008200A800000064DF000000806FC364FFFFFF7F903C64FFFF"
    "FF7F903C64FFFFFF7F903C24FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF7F90"
    "3C64FFFFFF7F903C64FFFFFF7F903C64FFFFFF79903C64FFFFFF7F900092FFFFFF7F903C64FFFFFF7F903C64FF"
    "FFFF7F903C64FFFFFF25903C6401FF2F004D54726B0000000803903C6402FF2F00";

TEST(HostileInput, TimesWrappingPast32BitsAreRefusedBeforeTheMerge) {
  const struct {
    const char* why;
    Bytes source;
  } kRows[] = {
      {"seventeen longest deltas wrap past 2^32", ManyTracks(3, 17)},
      {"a wrapped track among 65,535 to merge", ManyTracks(0xFFFF, 17)},
      {"fuzz finding: end of track merged into the middle", smftest::Hex(kFuzzWrappedMerge)},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    smftest::DialogSession session(row.source);
    session.Drop();
    EXPECT_FALSE(SourceLoaded);
    EXPECT_EQ(session.platform.Texts(), std::vector<std::string>{TT_TEXT_UNSUPPORTED_SMF});
  }
}

}  // namespace
