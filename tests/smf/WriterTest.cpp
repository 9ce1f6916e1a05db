// The writer: golden images, delta-time encoding, and the sequences it refuses
// to write because its own reader would refuse the file.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SmfFileWriter.h"
#include "SmfTestKit.h"

namespace smftest {
namespace {

using Writer = SequenceTest;

void Load(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks) {
  CurrentSequence.Clear();
  CurrentSequence.format = format;
  CurrentSequence.division = division;
  for (const Track& events : tracks)
    CurrentSequence.AddTrack() = MakeTrack(events);
}

const Bytes kEot = {0xFF, 0x2F, 0x00};

TEST_F(Writer, GoldenImages) {
  Load(0, 480, {Events("0:FF510307A120 0:C005 480:903C64 960:803C40 960:FF2F00")});
  const Bytes tempoProgramAndOneNote = {
      'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes follow
      0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,              // format 0, 1 track, 480 ticks per quarter
      'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x18,  // track chunk, 24 bytes follow
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,        // delta 0, tempo 500000 us per quarter
      0x00, 0xC0, 0x05,                                // delta 0, program change 5
      0x83, 0x60, 0x90, 0x3C, 0x64,                    // delta 480, note on C4
      0x83, 0x60, 0x80, 0x3C, 0x40,                    // delta 480, note off C4
      0x00, 0xFF, 0x2F, 0x00,                          // delta 0, end of track
  };
  EXPECT_EQ(BuildImage(), tempoProgramAndOneNote);
  EXPECT_EQ(BuildImage(), tempoProgramAndOneNote) << "the sequence is only read";

  Load(1, 0xE728, {});
  EXPECT_EQ(BuildImage(), Hex("4D546864 00000006"   // header chunk, 6 bytes
                              " 0001 0000 E728"));  // format 1, 0 tracks, 25 fps
}

TEST_F(Writer, DeltaTimesInShortestForm) {
  const std::pair<std::uint32_t, const char*> kRows[] = {
      {0, "00"},         {127, "7F"},         {128, "8100"},         {16383, "FF7F"},
      {16384, "818000"}, {2097151, "FFFF7F"}, {2097152, "81808000"}, {0x0FFFFFFF, "FFFFFF7F"},
  };
  for (const auto& [delta, encoded] : kRows) {
    SCOPED_TRACE(delta);
    Load(0, 96, {{{delta, kEot}}});
    const Bytes image = BuildImage();
    EXPECT_EQ(image, Concat({Header(0, 1, 96), TrackChunk(Concat({Hex(encoded), kEot}))}));
    ASSERT_TRUE(ParseImage(image)) << "the reader takes back every delta the writer emits";
    EXPECT_EQ(CurrentSequence.tracks.front().front().time, delta);
  }
}

TEST_F(Writer, MeasuresEachChunkAndAllocatesOnceExactly) {
  Load(1, 96, {Events("0:C005 0:FF2F00"), Events("128:FF2F00")});
  std::vector<std::uint32_t> sizes = {99, 99, 99};
  EXPECT_EQ(MeasureSmfImage(&sizes), 14u + 15u + 13u);
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{15, 13})) << "the list is emptied first";
  EXPECT_EQ(BuildImage(), Concat({Header(1, 2, 96), TrackChunk(Hex("00 C005 00 FF2F00")),
                                  TrackChunk(Hex("8100 FF2F00"))}));
  ttByteArray file, out;
  ASSERT_EQ(BuildSmfFileImage(ttSmfLayout(), file), 42u);
  EXPECT_EQ(Bytes(file.data, file.data + file.length), BuildImage())
      << "without a layout, the command line writes the dialogs' bytes";
  out.Resize(100, 0);
  EXPECT_EQ(BuildSmfImage(out), 42u);
  EXPECT_EQ(out.capacity, 42u) << "one exact allocation, whatever was held";
}

TEST_F(Writer, RefusesWhatItsReaderWouldRefuse) {
  const struct {
    const char* why;
    std::vector<const char*> tracks;
    std::uint32_t chunks = 0;  // foreign chunks kept before the tracks, all counted
    ttSmfLimit limit = ttSmfLimit::kDeltaTime;
    std::uint32_t size = 0;
  } kRows[] = {
      {"first delta above 0x0FFFFFFF", {"268435456:FF2F00"}},
      {"a time below its predecessor's", {"10:C005 5:FF2F00"}},
      {"a delta above 0x0FFFFFFF later on", {"1:C005 268435457:FF2F00"}},
      {"a bad track after a good one", {"0:C005 268435455:FF2F00", "4294967295:FF2F00"}},
      {"one chunk more than the header counts", {"0:FF2F00"}, 65535, ttSmfLimit::kTrackCount},
      {"the header's count full", {"0:FF2F00"}, 65534, ttSmfLimit::kSize, 14 + 8 * 65534 + 12},
  };
  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    CurrentSequence.Clear();
    for (const char* events : c.tracks)
      CurrentSequence.AddTrack() = MakeTrack(Events(events));
    ttSmfLayout layout;
    layout.chunks.assign(c.chunks, ttSmfChunk{{'J', 'u', 'n', 'k'}, {}, 0});
    for (const bool file : {c.chunks != 0, true}) {
      ttByteArray out;
      out.Resize(40, 0);
      ttSmfLimit limit = ttSmfLimit::kSize;
      EXPECT_EQ(file ? BuildSmfFileImage(layout, out, &limit) : BuildSmfImage(out, &limit), c.size);
      EXPECT_EQ(limit, c.limit);
      EXPECT_EQ(out.length, c.size);
      EXPECT_EQ(out.data == nullptr, out.length == 0) << "nothing half-written is left to save";
    }
  }
}

}  // namespace
}  // namespace smftest
