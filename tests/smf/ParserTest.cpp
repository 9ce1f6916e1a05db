// The reader: golden bytes, the structures it must refuse, and what stays in
// CurrentSequence when it does (nothing is rolled back).

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using Reader = SequenceTest;

// The smallest file that uses running status: 3E 40 on the status of 90 3C 40.
const Bytes kExample = Concat({Header(0, 1, 96), TrackChunk(Hex("00 903C40  10 3E40  00 FF2F00"))});
const Bytes kEotChunk = TrackChunk(Hex("00 FF2F00"));

Bytes Chunk(const std::string& id, std::uint32_t length, const Bytes& body) {
  return Concat({ChunkHead(id, length), body});
}
Bytes Truncate(const Bytes& bytes, std::size_t n) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// A MacBinary header of `size` bytes, `fill` but for bytes 0, 74 and 82 (the
// only ones examined), then `set` at `offset`.
Bytes MacBinary(std::size_t offset = 0, std::uint8_t set = 0, std::uint8_t fill = 0,
                std::size_t size = 128) {
  Bytes out(size, fill);
  out[0] = out[74] = out[82] = 0;
  out[offset] = set;
  return out;
}

TEST_F(Reader, TheSmallestExampleBehindEachPrefix) {
  const struct {
    const char* why;
    Bytes prefix;
    bool ok;
  } kRows[] = {
      {"no prefix", {}, true},
      {"zero MacBinary prefix", MacBinary(), true},
      {"only bytes 0, 74 and 82 are examined", MacBinary(0, 0, 0xFF), true},
      {"byte 0 not zero", MacBinary(0, 0x01), false},
      {"byte 74 not zero", MacBinary(74, 0x01), false},
      {"byte 82 not zero", MacBinary(82, 0x80), false},
      {"header chunk one byte early", MacBinary(0, 0, 0, 127), false},
      {"header chunk one byte late", MacBinary(0, 0, 0, 129), false},
      {"a track chunk where the header chunk belongs", Concat({MacBinary(), kEotChunk}), false},
  };
  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ParseImage(Concat({c.prefix, kExample})), c.ok);
    if (c.ok) {
      EXPECT_EQ(CurrentSequence.format, 0);
      EXPECT_EQ(CurrentSequence.division, 96);
      EXPECT_EQ(SnapshotSequence(), std::vector<Track>{Events("0:903C40 16:903E40 16:FF2F00")});
    }
  }
}

TEST_F(Reader, EveryTruncationFails) {
  GenerateOptions small;
  small.tracks = 2;
  small.eventsPerTrack = 40;
  for (const Bytes& whole : {kExample, Concat({MacBinary(), kExample}), GenerateSmf(7, small)}) {
    for (std::size_t n = 0; n < whole.size(); ++n)
      EXPECT_FALSE(ParseImage(Truncate(whole, n))) << n;
  }
}

TEST_F(Reader, HeaderAndChunkStructure) {
  const Bytes h1 = Header(1, 1, 96), h2 = Header(1, 2, 96), h3 = Header(1, 3, 96);
  const Bytes eot = kEotChunk;
  const struct {
    const char* why;
    Bytes image;
    bool ok;
    std::uint16_t format, division;  // what the sequence holds afterwards
    std::size_t tracks;
  } kRows[] = {
      {"empty image", {}, false, 0, 0, 0},
      {"header length 10: four bytes passed over", Concat({Header(1, 1, 96, 10), eot}), true, 1, 96,
       1},
      {"header length 5", Concat({Header(1, 1, 96, 5), eot}), false, 0, 0, 0},
      {"header length past the image", Truncate(Header(1, 0, 96, 7), 14), false, 1, 96, 0},
      {"format 3 leaves format 0", Concat({Header(3, 1, 96), eot}), false, 0, 0, 0},
      {"division 0xE4xx keeps the format", Concat({Header(1, 1, 0xE428), eot}), false, 1, 0, 0},
      {"a foreign chunk uses up an announced chunk",
       Concat({h2, Chunk("XFIR", 3, {1, 2, 3}), eot, eot}), true, 1, 96, 1},
      {"a foreign chunk past the image", Concat({h1, Chunk("XFIR", 4, {1, 2, 3})}), false, 1, 96,
       0},
      {"a header chunk among the chunks", Concat({h2, eot, Header(0, 1, 96)}), false, 1, 96, 1},
      {"fewer chunks than announced", Concat({h3, eot, eot}), false, 1, 96, 2},
      {"65,535 chunks announced, none there", Header(1, 0xFFFF, 96), false, 1, 96, 0},
      {"no chunks announced, none there", Header(1, 0, 96), true, 1, 96, 0},
      {"bytes after the last chunk are not read", Concat({kExample, {0xDE, 0xAD}}), true, 0, 96, 1},
      {"an empty track chunk fails, its track stays", Concat({h3, eot, Chunk("MTrk", 0, {}), eot}),
       false, 1, 96, 2},
      {"running status does not carry into the next track",
       Concat({h2, TrackChunk(Hex("00 903C40 00 FF2F00")), TrackChunk(Hex("00 3C40 00 FF2F00"))}),
       false, 1, 96, 2},
  };
  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    CurrentSequence.format = 2;  // a parse starts from a cleared sequence
    CurrentSequence.division = 0x1234;
    EXPECT_EQ(ParseImage(c.image), c.ok);
    EXPECT_EQ(CurrentSequence.format, c.format);
    EXPECT_EQ(CurrentSequence.division, c.division);
    EXPECT_EQ(CurrentSequence.tracks.size(), c.tracks);
  }
}

TEST_F(Reader, TrackEvents) {
  constexpr std::uint32_t kBodySize = 0xFFFFFFFF;  // length field equal to the body's size
  const struct {
    const char* why;
    const char* body;  // the track chunk's data, in hex, one event per group
    bool ok;
    const char* events;                  // stored afterwards, also after a failure
    std::uint32_t declared = kBodySize;  // the chunk's length field
  } kRows[] = {
      {"end of track alone", "00 FF2F00", true, "0:FF2F00"},
      {"running status, one data byte", "00 C005  00 07  00 FF2F00", true,
       "0:C005 0:C007 0:FF2F00"},
      {"running status follows the latest status", "00 903C40  05 803C00  00 3E00  00 FF2F00", true,
       "0:903C40 5:803C00 5:803E00 5:FF2F00"},
      {"a data byte first in a track", "00 3C40  00 FF2F00", false, ""},
      {"a data byte after sysex", "00 903C40  00 F0017F  00 017F  00 FF2F00", false,
       "0:903C40 0:F0017F"},
      {"a data byte after a meta event", "00 903C40  00 FF0100  00 0100  00 FF2F00", false,
       "0:903C40 0:FF0100"},
      {"data bytes are taken as they are", "00 903C90  00 FF2F00", true, "0:903C90 0:FF2F00"},
      {"largest delta time", "FFFFFF7F FF2F00", true, "268435455:FF2F00"},
      {"delta time of five bytes", "8080808000 FF2F00", false, ""},
      {"sysex keeps its length field", "00 F0034310F7  00 FF2F00", true, "0:F0034310F7 0:FF2F00"},
      {"sysex length of five bytes", "00 F0 8080808000  00 FF2F00", false, ""},
      {"sysex announcing 0x0FFFFFFF bytes, one there", "00 F0FFFFFF7F 01", false, ""},
      {"meta announcing 0x0FFFFFFF bytes in a chunk that claims them", "00 FF01FFFFFF7F 01", false,
       "", 0x10000000},
      {"a meta length in more bytes than needed stays so", "00 FF518003 07A120  00 FF2F00", true,
       "0:FF51800307A120 0:FF2F00"},
      {"meta type 0x7F takes any length", "00 FF7F0100  00 FF2F00", true, "0:FF7F0100 0:FF2F00"},
      {"meta type 0x80", "00 FF8000  00 FF2F00", false, ""},
      {"end of track with length 1", "00 FF2F0100", false, ""},
      {"bytes after end of track in the chunk", "00 FF2F00  00", false, "0:FF2F00"},
      {"the chunk ends on an event that is not end of track", "00 903C40  00 FF2F00", false,
       "0:903C40", 4},
      {"a delta time with no event after it", "00 903C40  00", false, "0:903C40"},
      {"an event past the chunk's end is stored, then fails", "00 903C40  00 FF2F00", false,
       "0:903C40", 3},
      {"chunk length beyond the image", "00 FF2F00", false, "0:FF2F00", 10},
  };
  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    const Bytes body = Hex(c.body);
    const auto n = c.declared != kBodySize ? c.declared : static_cast<std::uint32_t>(body.size());
    EXPECT_EQ(ParseImage(Concat({Header(0, 1, 96), Chunk("MTrk", n, body)})), c.ok);
    EXPECT_EQ(SnapshotSequence(), std::vector<Track>{Events(c.events)});
  }
}

TEST_F(Reader, StatusAndMetaLengthRules) {
  // Only sysex (F0, F7) and meta (FF) among the system status bytes.
  for (int status = 0xF1; status <= 0xFE; ++status) {
    const Bytes event = {static_cast<std::uint8_t>(status), 0x00};
    EXPECT_EQ(ParseImage(Smf(0, 96, {{{0, event}, {0, EndOfTrack()}}})), status == 0xF7) << status;
  }
  const std::pair<std::uint8_t, std::uint32_t> kFixed[] = {{0x00, 2}, {0x20, 1}, {0x51, 3},
                                                           {0x54, 5}, {0x58, 4}, {0x59, 2}};
  for (const auto& [type, required] : kFixed) {
    for (const std::uint32_t n : {required - 1, required, required + 1}) {
      const Bytes event = Concat({{0xFF, type, static_cast<std::uint8_t>(n)}, Bytes(n, 0x01)});
      EXPECT_EQ(ParseImage(Smf(0, 96, {{{0, event}, {0, EndOfTrack()}}})), n == required)
          << "meta type " << int{type} << " length " << n;
    }
  }
}

}  // namespace
}  // namespace smftest
