// The writer: golden images, delta-time encoding, and the sequences it refuses
// to write because its own reader would refuse the file.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using Writer = SequenceTest;

void Load(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks) {
  CurrentSequence.format = format;
  CurrentSequence.division = division;
  for (const Track& events : tracks) {
    ttSmfTrack& track = CurrentSequence.AddTrack();
    for (const TimedEvent& e : events) {
      AppendSmfEvent(track, e.time, e.bytes[0], e.bytes.data() + 1,
                     static_cast<std::uint32_t>(e.bytes.size() - 1));
    }
  }
}

const Bytes kEot = {0xFF, 0x2F, 0x00};

TEST_F(Writer, TempoProgramAndOneNote) {
  Load(0, 480,
       {{{0, Tempo(500000)},
         {0, {0xC0, 0x05}},
         {480, {0x90, 0x3C, 0x64}},
         {960, {0x80, 0x3C, 0x40}},
         {960, kEot}}});
  const Bytes want = {
      'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes follow
      0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,              // format 0, 1 track, 480 ticks per quarter
      'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x18,  // track chunk, 24 bytes follow
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,        // delta 0, tempo 500000 us per quarter
      0x00, 0xC0, 0x05,                                // delta 0, program change 5
      0x83, 0x60, 0x90, 0x3C, 0x64,                    // delta 480, note on C4
      0x83, 0x60, 0x80, 0x3C, 0x40,                    // delta 480, note off C4
      0x00, 0xFF, 0x2F, 0x00,                          // delta 0, end of track
  };
  EXPECT_EQ(MeasureSmfImage(nullptr), 46u);
  EXPECT_EQ(BuildImage(), want);
  EXPECT_EQ(BuildImage(), want) << "the sequence is only read, so a second build is the same";
}

TEST_F(Writer, SmallestImages) {
  Load(1, 0xE728, {});
  EXPECT_EQ(BuildImage(), (Bytes{
                              'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes
                              0x00, 0x01, 0x00, 0x00, 0xE7, 0x28,  // format 1, 0 tracks, 25 fps
                          }));
  CurrentSequence.Clear();
  Load(0, 0x60, {{{0, kEot}}});
  EXPECT_EQ(BuildImage(),
            (Bytes{
                'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes
                0x00, 0x00, 0x00, 0x01, 0x00, 0x60,  // format 0, 1 track, 96 per quarter
                'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x04,  // track chunk, 4 bytes
                0x00, 0xFF, 0x2F, 0x00,                          // delta 0, end of track
            }));
}

TEST_F(Writer, DeltaTimesInShortestForm) {
  struct Case {
    std::uint32_t delta;
    Bytes encoded;
  };
  const Case cases[] = {
      {0, {0x00}},
      {127, {0x7F}},
      {128, {0x81, 0x00}},
      {16383, {0xFF, 0x7F}},
      {16384, {0x81, 0x80, 0x00}},
      {2097151, {0xFF, 0xFF, 0x7F}},
      {2097152, {0x81, 0x80, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delta);
    CurrentSequence.Clear();
    Load(0, 0x60, {{{c.delta, kEot}}});
    const Bytes image = BuildImage();
    EXPECT_EQ(image, Concat({Header(0, 1, 0x60), TrackChunk(Concat({c.encoded, kEot}))}));
    ASSERT_TRUE(ParseImage(image)) << "the reader takes back every delta the writer emits";
    EXPECT_EQ(CurrentSequence.tracks.front().front().time, c.delta);
  }
}

TEST_F(Writer, EveryEventCarriesItsStatusByte) {
  Load(0, 0x60, {{{5, {0x90, 0x3C, 0x40}}, {5, {0x90, 0x3E, 0x40}}, {5, kEot}}});
  EXPECT_EQ(BuildImage(),
            Concat({Header(0, 1, 0x60), TrackChunk({
                                            0x05, 0x90, 0x3C, 0x40,  // note on
                                            0x00, 0x90, 0x3E, 0x40,  // same tick, status again
                                            0x00, 0xFF, 0x2F, 0x00,  // end of track
                                        })}));
}

TEST_F(Writer, WrappedTimesGiveTheFileTheirDeltas) {
  // Sixteen deltas of 0x0FFFFFFF take the time to 0xFFFFFFF0; the delta 0x20 wraps it to 0x10.
  Bytes body;
  for (int i = 0; i < 16; ++i)
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00});
  body.insert(body.end(), {0x20, 0xFF, 0x2F, 0x00});
  const Bytes file = Concat({Header(0, 1, 0x60), TrackChunk(body)});
  ASSERT_TRUE(ParseImage(file));
  ASSERT_EQ(CurrentSequence.tracks.front().back().time, 0x10u);
  EXPECT_EQ(BuildImage(), file);
}

TEST_F(Writer, TwoTracksFollowEachOther) {
  Load(1, 0x60, {{{0, {0xC0, 0x05}}, {0, kEot}}, {{0x80, kEot}}});
  std::vector<std::uint32_t> sizes = {99, 99, 99};
  EXPECT_EQ(MeasureSmfImage(&sizes), 14u + 15u + 13u);
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{15, 13})) << "the list is emptied first";
  EXPECT_EQ(BuildImage(),
            (Bytes{
                'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes
                0x00, 0x01, 0x00, 0x02, 0x00, 0x60,  // format 1, 2 tracks, 96 per quarter
                'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x07,  // first track, 7 bytes
                0x00, 0xC0, 0x05,                                // delta 0, program change 5
                0x00, 0xFF, 0x2F, 0x00,                          // delta 0, end of track
                'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x05,  // second track, 5 bytes
                0x81, 0x00, 0xFF, 0x2F, 0x00,                    // delta 128, end of track
            }));
}

TEST_F(Writer, OutputArrayIsReplacedByAnExactImage) {
  Load(0, 0x60, {{{0, kEot}}});
  for (const std::uint32_t heldBefore : {0u, 3u, 100u}) {
    SCOPED_TRACE(heldBefore);
    ttByteArray out;
    if (heldBefore != 0)
      out.Resize(heldBefore, 0);
    EXPECT_EQ(BuildSmfImage(out), 26u);
    EXPECT_EQ(out.length, 26u);
    EXPECT_EQ(out.capacity, 26u) << "one exact allocation, whatever was held";
    EXPECT_EQ(Bytes(out.data, out.data + 4), (Bytes{'M', 'T', 'h', 'd'}));
  }
}

TEST_F(Writer, RefusesWhatItsReaderWouldRefuse) {
  const Track good = {{0, {0xC0, 0x05}}, {0x0FFFFFFF, kEot}};
  struct Case {
    const char* why;
    std::vector<Track> tracks;
  };
  const Case cases[] = {
      {"first delta above 0x0FFFFFFF", {{{0x10000000, kEot}}}},
      {"a time below its predecessor's", {{{10, {0xC0, 0x05}}, {5, kEot}}}},
      {"a delta above 0x0FFFFFFF after the first event", {{{1, {0xC0, 0x05}}, {0x10000001, kEot}}}},
      {"a bad track after a good one", {good, {{0xFFFFFFFF, kEot}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CurrentSequence.Clear();
    Load(0, 0x60, c.tracks);
    EXPECT_EQ(MeasureTrackChunk(CurrentSequence.tracks.back()), 0u);
    EXPECT_EQ(MeasureSmfImage(nullptr), 0u);
    ttByteArray out;
    out.Resize(40, 0);
    EXPECT_EQ(BuildSmfImage(out), 0u);
    EXPECT_EQ(out.data, nullptr) << "nothing half-written is left to save";
    EXPECT_EQ(out.length, 0u);
    EXPECT_EQ(out.capacity, 0u);
  }
}

}  // namespace
}  // namespace smftest
