// The reader: golden bytes, the structures it must refuse, and what stays in
// CurrentSequence when it does (nothing is rolled back).

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using Reader = SequenceTest;

// The smallest file that uses running status.
const Bytes kExample = {
    'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, 6 bytes follow
    0x00, 0x00, 0x00, 0x01, 0x00, 0x60,              // format 0, 1 chunk, 96 ticks per quarter
    'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x0B,  // track chunk, 11 bytes follow
    0x00, 0x90, 0x3C, 0x40,                          // delta 0, note on C4 velocity 64
    0x10, 0x3E, 0x40,                                // delta 16, running status: note on D4
    0x00, 0xFF, 0x2F, 0x00,                          // delta 0, end of track
};
const Track kExampleEvents = {
    {0, {0x90, 0x3C, 0x40}},
    {16, {0x90, 0x3E, 0x40}},  // status byte restored
    {16, {0xFF, 0x2F, 0x00}},
};

const Bytes kEot = {0xFF, 0x2F, 0x00};
const Bytes kEotChunk = TrackChunk({0x00, 0xFF, 0x2F, 0x00});  // 12 bytes

Bytes Chunk(const std::string& id, std::uint32_t length, const Bytes& body) {
  Bytes out(id.begin(), id.end());
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(length >> shift));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Truncate(const Bytes& bytes, std::size_t n) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// A 128-byte MacBinary header: zero except for the bytes given.
Bytes MacBinary(std::initializer_list<std::pair<int, std::uint8_t>> set = {},
                std::size_t size = 128) {
  Bytes out(size, 0x00);
  for (const auto& [offset, value] : set)
    out[static_cast<std::size_t>(offset)] = value;
  return out;
}

TEST_F(Reader, ParsesTheSmallestExample) {
  ASSERT_TRUE(ParseImage(kExample));
  EXPECT_EQ(CurrentSequence.format, 0);
  EXPECT_EQ(CurrentSequence.division, 0x0060);
  EXPECT_EQ(SnapshotSequence(), std::vector<Track>{kExampleEvents});
}

TEST_F(Reader, MacBinaryPrefix) {
  Bytes everyIgnoredByteSet = MacBinary({}, 128);
  for (std::size_t i = 1; i < 128; ++i)
    everyIgnoredByteSet[i] = i == 74 || i == 82 ? 0x00 : 0xFF;
  struct Case {
    const char* why;
    Bytes prefix;
    bool ok;
  };
  const Case cases[] = {
      {"zero prefix", MacBinary(), true},
      {"only bytes 0, 74 and 82 are examined", everyIgnoredByteSet, true},
      {"byte 0 not zero", MacBinary({{0, 0x01}}), false},
      {"byte 74 not zero", MacBinary({{74, 0x01}}), false},
      {"byte 82 not zero", MacBinary({{82, 0x80}}), false},
      {"header chunk one byte early", MacBinary({}, 127), false},
      {"header chunk one byte late", MacBinary({}, 129), false},
      {"a track chunk where the header chunk belongs", Concat({MacBinary(), kEotChunk}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ParseImage(Concat({c.prefix, kExample})), c.ok);
    if (c.ok) {
      EXPECT_EQ(SnapshotSequence(), std::vector<Track>{kExampleEvents});
    }
  }
}

TEST_F(Reader, EveryTruncationFails) {
  GenerateOptions small;
  small.tracks = 2;
  small.eventsPerTrack = 40;
  const Bytes generated = GenerateSmf(7, small);
  for (const Bytes& whole : {kExample, Concat({MacBinary(), kExample}), generated}) {
    for (std::size_t n = 0; n < whole.size(); ++n) {
      SCOPED_TRACE(n);
      EXPECT_FALSE(ParseImage(Truncate(whole, n)));
    }
  }
}

TEST_F(Reader, HeaderAndChunkStructure) {
  struct Case {
    const char* why;
    Bytes image;
    bool ok;
    std::uint16_t format, division;  // what the sequence holds afterwards
    std::size_t tracks;
  };
  const Case cases[] = {
      {"empty image", {}, false, 0, 0, 0},
      {"header length 10 passes over four extra bytes",
       Concat({{'M', 'T', 'h', 'd', 0, 0, 0, 10, 0, 1, 0, 1, 0, 0x60},
               {'M', 'T', 'r', 'k'},
               kEotChunk}),
       true, 1, 0x60, 1},
      {"header length 5", Concat({Header(1, 1, 0x60, 5), kEotChunk}), false, 0, 0, 0},
      {"header length past the end of the image", Truncate(Header(1, 0, 0x60, 7), 14), false, 1,
       0x60, 0},
      {"format 3 leaves format 0", Concat({Header(3, 1, 0x60), kEotChunk}), false, 0, 0, 0},
      {"format 2 is the loader's business", Concat({Header(2, 1, 0x60), kEotChunk}), true, 2, 0x60,
       1},
      {"chunk count 0 reads nothing after the header", Concat({Header(1, 0, 0x60), {'?'}}), true, 1,
       0x60, 0},
      {"division 0", Concat({Header(0, 1, 0), kEotChunk}), true, 0, 0, 1},
      {"division 25 frames per second", Concat({Header(0, 1, 0xE728), kEotChunk}), true, 0, 0xE728,
       1},
      {"division high byte 0xE4 keeps the format read before it",
       Concat({Header(1, 1, 0xE428), kEotChunk}), false, 1, 0, 0},
      {"division high byte 0x80", Concat({Header(1, 1, 0x8000), kEotChunk}), false, 1, 0, 0},
      {"a foreign chunk uses up one of the announced chunks",
       Concat({Header(1, 2, 0x60), Chunk("XFIR", 3, {1, 2, 3}), kEotChunk, kEotChunk}), true, 1,
       0x60, 1},
      {"a foreign chunk of length 0", Concat({Header(1, 2, 0x60), Chunk("abcd", 0, {}), kEotChunk}),
       true, 1, 0x60, 1},
      {"a foreign chunk past the end of the image",
       Concat({Header(1, 1, 0x60), Chunk("XFIR", 4, {1, 2, 3})}), false, 1, 0x60, 0},
      {"a header chunk among the chunks",
       Concat({Header(1, 2, 0x60), kEotChunk, Header(0, 1, 0x60)}), false, 1, 0x60, 1},
      {"fewer chunks than announced", Concat({Header(1, 3, 0x60), kEotChunk, kEotChunk}), false, 1,
       0x60, 2},
      {"bytes after the last announced chunk are not read", Concat({kExample, {0xDE, 0xAD}}), true,
       0, 0x60, 1},
      {"an empty track chunk fails and its track stays",
       Concat({Header(1, 3, 0x60), kEotChunk, Chunk("MTrk", 0, {}), kEotChunk}), false, 1, 0x60, 2},
      {"running status does not carry into the next track",
       Concat({Header(1, 2, 0x60), TrackChunk({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
               TrackChunk({0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00})}),
       false, 1, 0x60, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CurrentSequence.format = 2;  // a parse starts from a cleared sequence
    CurrentSequence.division = 0x1234;
    EXPECT_EQ(ParseImage(c.image), c.ok);
    EXPECT_EQ(CurrentSequence.format, c.format);
    EXPECT_EQ(CurrentSequence.division, c.division);
    EXPECT_EQ(CurrentSequence.tracks.size(), c.tracks);
  }
}

TEST(Division, Classified) {
  struct Case {
    const char* why;
    std::uint16_t division;
    int code;
  };
  const Case cases[] = {
      {"ticks per quarter 0", 0x0000, 0},
      {"ticks per quarter 0x7FFF", 0x7FFF, 0},
      {"24 fps", 0xE850, 1},
      {"25 fps, low byte not examined", 0xE700, 2},
      {"29.97 fps", 0xE3FF, 3},
      {"30 fps", 0xE228, 4},
      {"-28 is no frame rate", 0xE428, 5},
      {"-23 is no frame rate", 0xE928, 5},
      {"high byte 0x80", 0x8000, 5},
      {"high byte 0xFF", 0xFF00, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ClassifyDivision(c.division), c.code);
  }
}

constexpr std::uint32_t kBodySize = 0xFFFFFFFF;  // length field equal to the body's size

struct TrackCase {
  const char* why;
  const char* body;  // the track chunk's data, in hex, one event per group
  bool ok;
  Track events;                        // stored afterwards, also after a failure
  std::uint32_t declared = kBodySize;  // the chunk's length field
};

const TrackCase kTrackCases[] = {
    {"end of track alone", "00 FF2F00", true, {{0, kEot}}},
    {"running status with one data byte",
     "00 C005  00 07  00 FF2F00",
     true,
     {{0, Hex("C0 05")}, {0, Hex("C0 07")}, {0, kEot}}},
    {"running status follows the latest status byte",
     "00 903C40  05 803C00  00 3E00  00 FF2F00",
     true,
     {{0, Hex("90 3C 40")}, {5, Hex("80 3C 00")}, {5, Hex("80 3E 00")}, {5, kEot}}},
    {"a data byte first in a track", "00 3C40  00 FF2F00", false, {}},
    {"a data byte after sysex",
     "00 903C40  00 F0017F  00 017F  00 FF2F00",
     false,
     {{0, Hex("90 3C 40")}, {0, Hex("F0 01 7F")}}},
    {"a data byte after a meta event",
     "00 903C40  00 FF0100  00 0100  00 FF2F00",
     false,
     {{0, Hex("90 3C 40")}, {0, Hex("FF 01 00")}}},
    {"data bytes are taken as they are",
     "00 903C90  00 FF2F00",
     true,
     {{0, Hex("90 3C 90")}, {0, kEot}}},
    {"largest delta time", "FFFFFF7F FF2F00", true, {{0x0FFFFFFF, kEot}}},
    {"delta time of five bytes", "8080808000 FF2F00", false, {}},
    {"sysex keeps its length field",
     "00 F0 03 4310F7  00 FF2F00",
     true,
     {{0, Hex("F0 03 43 10 F7")}, {0, kEot}}},
    {"empty sysex", "00 F000  00 FF2F00", true, {{0, Hex("F0 00")}, {0, kEot}}},
    {"F7 with a length in more bytes than needed",
     "00 F7 8002 0102  00 FF2F00",
     true,
     {{0, Hex("F7 80 02 01 02")}, {0, kEot}}},
    {"sysex length of five bytes", "00 F0 8080808000  00 FF2F00", false, {}},
    {"tempo stored byte for byte",
     "00 FF5103 07A120  00 FF2F00",
     true,
     {{0, Hex("FF 51 03 07 A1 20")}, {0, kEot}}},
    {"tempo of length 2", "00 FF5102 07A1  00 FF2F00", false, {}},
    {"meta length in more bytes than needed stays so",
     "00 FF51 8003 07A120  00 FF2F00",
     true,
     {{0, Hex("FF 51 80 03 07 A1 20")}, {0, kEot}}},
    {"empty text", "00 FF0100  00 FF2F00", true, {{0, Hex("FF 01 00")}, {0, kEot}}},
    {"meta type 0x80", "00 FF8000  00 FF2F00", false, {}},
    {"meta type 0x7F takes any length",
     "00 FF7F01 00  00 FF2F00",
     true,
     {{0, Hex("FF 7F 01 00")}, {0, kEot}}},
    {"end of track with length 1", "00 FF2F01 00", false, {}},
    {"bytes after end of track inside the chunk", "00 FF2F00  00", false, {{0, kEot}}},
    {"an event that ends the chunk but is not end of track",
     "00 903C40  00 FF2F00",
     false,
     {{0, Hex("90 3C 40")}},
     4},
    {"the chunk ends without end of track", "00 903C40", false, {{0, Hex("90 3C 40")}}},
    {"a delta time with no event after it", "00 903C40  00", false, {{0, Hex("90 3C 40")}}},
    {"an event that runs past the chunk's end is stored, then fails",
     "00 903C40  00 FF2F00",
     false,
     {{0, Hex("90 3C 40")}},
     3},
    {"end of track past the chunk's end", "00 FF2F00", false, {{0, kEot}}, 3},
    {"chunk length beyond the image", "00 FF2F00", false, {{0, kEot}}, 10},
};

TEST_F(Reader, TrackEvents) {
  for (const TrackCase& c : kTrackCases) {
    SCOPED_TRACE(c.why);
    const Bytes body = Hex(c.body);
    const auto length =
        c.declared != kBodySize ? c.declared : static_cast<std::uint32_t>(body.size());
    EXPECT_EQ(ParseImage(Concat({Header(0, 1, 0x60), Chunk("MTrk", length, body)})), c.ok);
    EXPECT_EQ(SnapshotSequence(), std::vector<Track>{c.events});
  }
}

TEST_F(Reader, FixedLengthMetaTypes) {
  const std::pair<std::uint8_t, std::uint32_t> kFixed[] = {{0x00, 2}, {0x20, 1}, {0x51, 3},
                                                           {0x54, 5}, {0x58, 4}, {0x59, 2}};
  for (const auto& [type, required] : kFixed) {
    for (const std::uint32_t n : {required - 1, required, required + 1}) {
      SCOPED_TRACE(testing::Message() << "type " << int{type} << " length " << n);
      Bytes body = {0x00, 0xFF, type, static_cast<std::uint8_t>(n)};
      body.resize(body.size() + n, 0x01);
      body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
      EXPECT_EQ(ParseImage(Concat({Header(0, 1, 0x60), TrackChunk(body)})), n == required);
    }
  }
}

TEST_F(Reader, StatusBytesOutsideTracksFail) {
  for (int status = 0xF1; status <= 0xFE; ++status) {
    if (status == 0xF7)
      continue;  // sysex continuation, allowed
    SCOPED_TRACE(status);
    const Bytes body = {0x00, 0x90, 0x3C, 0x40, 0x00, static_cast<std::uint8_t>(status),
                        0x00, 0xFF, 0x2F, 0x00};
    EXPECT_FALSE(ParseImage(Concat({Header(0, 1, 0x60), TrackChunk(body)})));
    EXPECT_EQ(SnapshotSequence(), (std::vector<Track>{{{0, {0x90, 0x3C, 0x40}}}}));
  }
}

TEST_F(Reader, TimesWrapModulo2To32) {
  // Sixteen deltas of 0x0FFFFFFF reach 0xFFFFFFF0; a delta of 0x20 then wraps to 0x10.
  Bytes body;
  for (int i = 0; i < 16; ++i)
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00});
  body.insert(body.end(), {0x20, 0xFF, 0x2F, 0x00});
  ASSERT_TRUE(ParseImage(Concat({Header(0, 1, 0x60), TrackChunk(body)})));
  const ttSmfTrack& track = CurrentSequence.tracks.front();
  ASSERT_EQ(track.size(), 17u);
  EXPECT_EQ(std::prev(track.end(), 2)->time, 0xFFFFFFF0u);
  EXPECT_EQ(track.back().time, 0x10u);
}

TEST_F(Reader, FailureInTheSecondOfThreeTracksKeepsWhatWasRead) {
  const Track first = {{0, {0xC0, 0x05}}, {96, kEot}};
  const Bytes image = Concat({
      Header(1, 3, 0x60),
      TrackChunk(TrackBody(first)),
      TrackChunk({0x00, 0x90, 0x3C, 0x40,  // note on
                  0x10, 0x3C, 0x00,        // running status: note on, velocity 0
                  0x00, 0xF8,              // timing clock: not allowed in a file
                  0x00, 0xFF, 0x2F, 0x00}),
      TrackChunk(TrackBody(first)),
  });
  EXPECT_FALSE(ParseImage(image));
  EXPECT_EQ(CurrentSequence.format, 1);
  EXPECT_EQ(CurrentSequence.division, 0x60);
  const std::vector<Track> want = {first, {{0, {0x90, 0x3C, 0x40}}, {16, {0x90, 0x3C, 0x00}}}};
  EXPECT_EQ(SnapshotSequence(), want);
}

}  // namespace
}  // namespace smftest
