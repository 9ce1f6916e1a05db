// The command line's reading and writing of whole files: what besides the
// events a file keeps through a read and a write, the RIFF container, and
// each repair on the smallest file that needs it.

#include <gtest/gtest.h>

#include <algorithm>  // std::copy
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SmfFileReader.h"
#include "SmfFileWriter.h"
#include "SmfTestKit.h"

namespace smftest {
namespace {

using FileTest = SequenceTest;
using S = ttSmfReadStatus;

ttSmfReadStatus Read(const Bytes& file, bool repair, ttSmfLayout& layout) {
  return ReadSmfFile(file.data(), static_cast<std::uint32_t>(file.size()), repair, layout).status;
}

// The image of CurrentSequence with `layout`, checked as saving checks it.
Bytes Write(const ttSmfLayout& layout) {
  ttByteArray out;
  out.Resize(100, 0);
  EXPECT_EQ(BuildSmfFileImage(layout, out), out.length);
  EXPECT_EQ(out.capacity, out.length) << "one exact allocation, whatever was held";
  EXPECT_EQ(ValidateSmfFileImage(out.data, out.length).fault, ttSmfFault::kOk);
  return Bytes(out.data, out.data + out.length);
}

std::string Ids(const std::vector<ttSmfNote>& notes) {
  std::string out;
  for (const ttSmfNote& note : notes)
    out += (out.empty() ? "" : " ") + std::string(SmfNoteId(note.kind));
  return out;
}

TEST_F(FileTest, ChunksAndHeaderBytesKeptAroundTheTracks) {
  const std::vector<Track> tracks = {Events("0:FF510307A120 0:FF2F00"),
                                     Events("0:903C40 96:803C40 96:FF2F00"),
                                     Events("5:C005 7:FF2F00")};
  const Bytes junk = SmfChunk("Junk", {1, 2, 3}), between = SmfChunk("ABCD", {});
  const Bytes after = SmfChunk("XFIH", {9, 8, 7, 6, 5}), extra = {0xAB, 0xCD};
  auto header = [&](std::uint16_t count) {
    Bytes h = Header(1, count, 480, 8);
    std::copy(extra.begin(), extra.end(), h.end() - 2);
    return h;
  };
  auto chunk = [&](int t) { return TrackChunk(TrackBody(tracks[static_cast<std::size_t>(t)])); };
  // The header counts every chunk up to the last track chunk, not the one
  // after it: written back one for one, the file comes back byte for byte.
  const Bytes source = Concat({header(5), junk, chunk(0), chunk(1), between, chunk(2), after});
  const struct {
    const char* why;
    Bytes source;
    bool repair;
    std::ptrdiff_t tracks;  // kept, from the first
    Bytes written;
  } kRows[] = {
      {"tracks one for one", source, false, 3, source},
      {"one track, as after a merge: what stood after the first track chunk follows it", source,
       false, 1, Concat({header(2), junk, chunk(0), between, after})},
      {"a header that counts the track chunks alone, read with repairs",
       Concat({header(3), junk, chunk(0), chunk(1), between, chunk(2), after}), true, 3, source},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    ttSmfLayout layout;
    ASSERT_EQ(Read(row.source, row.repair, layout), S::kRead);
    EXPECT_EQ(SnapshotSequence(), tracks);
    EXPECT_EQ(layout.headerExtra, extra);
    CurrentSequence.tracks.resize(static_cast<std::size_t>(row.tracks));
    EXPECT_EQ(Write(layout), row.written);
  }
}

TEST_F(FileTest, RmidReadAndWrittenAgain) {
  const Track track = Events("0:C005 0:FF2F00");  // an SMF of 29 bytes: odd, padded
  const Bytes smf = Smf(0, 96, {track});
  const Bytes info = Concat({{'I', 'N', 'F', 'O'},
                             RiffChunk("INAM", {'S', 'o', 'n', 'g'}),
                             RiffChunk("ICMT", Bytes(301, 'c'))});  // sizes over 255, odd
  const Bytes odd = RiffChunk("DISP", {1, 0, 0, 0, 'x'});  // padded, before and after the SMF
  const Bytes rmid = Rmid({RiffChunk("LIST", info), odd, RiffChunk("data", smf), odd});
  ttSmfLayout layout;
  ASSERT_EQ(Read(rmid, false, layout), S::kRead);
  EXPECT_EQ(layout.container, ttSmfContainer::kRiff);
  EXPECT_EQ(SnapshotSequence(), std::vector<Track>{track});
  EXPECT_EQ(Write(layout), rmid) << "sizes and pad bytes as a RIFF file has them";
  layout.container = ttSmfContainer::kPlain;
  EXPECT_EQ(Write(layout), smf);

  // The last chunk's pad byte missing, counted in the RIFF size or not:
  // nothing is lost, nothing to repair or tell.
  auto riffSize = [](Bytes file, std::uint32_t size) {
    for (int i = 0; i < 4; ++i)
      file[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    return file;
  };
  const Bytes padless(rmid.begin(), rmid.end() - 1);
  const auto size = static_cast<std::uint32_t>(rmid.size() - 8);
  for (const Bytes& file : {padless, riffSize(padless, size - 1)}) {
    ASSERT_EQ(Read(file, false, layout), S::kRead);
    EXPECT_TRUE(layout.notes.empty() && layout.repairs.empty());
    EXPECT_EQ(Write(layout), rmid);
  }

  // The validator takes a RIFF file only as the writer makes it.
  Bytes noData = rmid, badSmf = rmid;
  const std::size_t data = 12 + 8 + info.size() + odd.size();
  noData[data] = 'D';                    // "Data" is not "data"
  badSmf[data + 8 + 14 + 8 + 1] = 0xF8;  // a status no track may hold
  const std::pair<Bytes, ttSmfFault> kBroken[] = {
      {riffSize(rmid, size + 1), ttSmfFault::kBadHeader},
      {riffSize(padless, size - 1), ttSmfFault::kTruncated},
      {noData, ttSmfFault::kBadHeader},
      {badSmf, ttSmfFault::kBadStatus}};
  for (const auto& [file, fault] : kBroken)
    EXPECT_EQ(ValidateSmfFileImage(file.data(), static_cast<std::uint32_t>(file.size())).fault,
              fault);
}

TEST_F(FileTest, EachRepairOnlyWhenAsked) {
  const Bytes h1 = Header(0, 1, 96);
  auto track = [&](const char* hex) { return Concat({h1, TrackChunk(Hex(hex))}); };
  // A track chunk announcing 100 bytes where the file ends after `hex`.
  const Bytes cut100 = Hex("4D54726B 00000064");
  auto cut = [&](const char* hex) { return Concat({h1, cut100, Hex(hex)}); };
  // The RIFF chunk announcing 1000 bytes and its data chunk 500.
  Bytes rmidCut = Rmid({RiffChunk("data", track("00 FF2F00"))});
  rmidCut[4] = 0xE8, rmidCut[5] = 0x03, rmidCut[16] = 0xF4, rmidCut[17] = 0x01;
  const Bytes sysex = Concat({Hex("F08200"), Bytes(256, 0x11)});  // the chunk's length over 255
  const std::string sysexEvent = "0:F08200" + std::string(512, '1');
  const std::string kEot = "0:FF2F00";
  // One track chunk more than a header can count: the last one is never read.
  Bytes tooMany = Header(1, 0xFFFF, 96);
  std::string tooManyEvents = kEot;
  for (int i = 0; i < 0x10000; ++i) {
    const Bytes chunk = TrackChunk(Hex("00 FF2F00"));
    tooMany.insert(tooMany.end(), chunk.begin(), chunk.end());
    tooManyEvents += i > 0 && i < 0xFFFF ? " | " + kEot : "";
  }
  const struct {
    const char* why;
    Bytes file;
    ttSmfReadStatus plain;
    const char* repairs;          // ids of the repairs made when asked; nullptr: refused
    std::string events;           // then read; "|" between tracks
    const char* first = nullptr;  // the first note or repair as told without repairs
    const char* said = nullptr;   // ids of the notes told without repairs, if not `repairs`
  } kRows[] = {
      {"running status (pitch bend) resumed after a meta event",
       track("00 E03C40  00 FF0100  00 3E40  00 FF2F00"), S::kRepairable,
       "running-status-after-meta", "0:E03C40 0:FF0100 0:E03E40 0:FF2F00",
       "track 1, byte 31: running status resumed after a meta event; the status before it "
       "continues"},
      {"and after sysex events, in the first of two tracks",
       Concat({Header(1, 2, 96),
               TrackChunk(Concat(
                   {Hex("00 903C40  00"), sysex, Hex("00 3E40  00 F7017F  00 3E00  00 FF2F00")})),
               TrackChunk(Hex("00 FF2F00"))}),
       S::kRepairable, "running-status-after-sysex",
       "0:903C40 " + sysexEvent + " 0:903E40 0:F7017F 0:903E00 0:FF2F00 | 0:FF2F00",
       "track 1, byte 287: running status resumed after a system-exclusive event (2 times, the "
       "first here); the status before it continues"},
      {"no end of track", track("00 903C40  10 803C00"), S::kRepairable, "end-of-track-added",
       "0:903C40 16:803C00 16:FF2F00",
       "track 1, byte 30: no end-of-track event; one was added at tick 16"},
      {"an empty track chunk", track(""), S::kRepairable, "end-of-track-added", kEot},
      {"a chunk length past the end of the file", cut("00 903C40  00 FF2F00"), S::kRepairable,
       "chunk-past-end", "0:903C40 0:FF2F00",
       "byte 14: chunk \"MTrk\" announces 100 bytes, the file holds 8: read to the end of the "
       "file"},
      {"and the last event cut off", cut("00 903C40  10 803C"), S::kRepairable,
       "chunk-past-end incomplete-event-dropped end-of-track-added", "0:903C40 0:FF2F00"},
      {"RIFF sizes past the end of the file", rmidCut, S::kRepairable,
       "chunk-past-end chunk-past-end", kEot,
       "byte 0: chunk \"RIFF\" announces 1000 bytes, the file holds 38: read to the end of the "
       "file"},
      {"bytes after the end of track", track("00 FF2F00  00 903C40"), S::kRepairable,
       "bytes-after-end-of-track", kEot,
       "track 1, byte 26: 4 bytes after the end-of-track event dropped"},
      {"more chunks announced than present",
       Concat({Header(0, 2, 96), TrackChunk(Hex("00 FF2F00"))}), S::kRepairable, "track-count",
       kEot, "the header announces 2 chunks; the file's 1 track chunk read"},
      {"a track chunk after the announced chunks, cut short: not read, told",
       Concat({h1, SmfChunk("Junk", {}), cut100, Hex("00 FF2F00")}), S::kRead,
       "chunk-past-end track-count", kEot,
       "byte 22: 1 track chunk after the 1 chunk the header announces not read",
       "track-chunks-ignored"},
      {"65,536 track chunks: the last not read, also when repairs are asked", tooMany, S::kRead, "",
       tooManyEvents, nullptr, "track-chunks-ignored"},
      {"bytes after the last chunk: not read, told", Concat({track("00 FF2F00"), {0x2A}}), S::kRead,
       "trailing-bytes", kEot, "byte 26: 1 byte after the last chunk ignored",
       "trailing-bytes-ignored"},
      {"a MacBinary header: told", Concat({Bytes(128, 0x00), track("00 FF2F00")}), S::kRead, "",
       kEot, "the SMF stands behind a 128-byte MacBinary header, which is not written back",
       "macbinary"},
      {"a status byte no track may hold", track("00 F8  00 FF2F00"), S::kRefused, nullptr, ""},
      {"an end of track of length 1, after a repairable defect",
       track("00 903C40  00 FF0100  00 3E40  00 FF2F0100"), S::kRefused, nullptr, ""},
      {"a data byte with no status before it at all", track("00 FF0100  00 3E40  00 FF2F00"),
       S::kRefused, nullptr, ""},
      {"an event past its chunk's own end", Concat({track("00 903C"), {0x40}}), S::kRefused,
       nullptr, ""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    ttSmfLayout layout;
    EXPECT_EQ(Read(row.file, false, layout), row.plain);
    std::vector<ttSmfNote> said = layout.notes;
    said.insert(said.end(), layout.repairs.begin(), layout.repairs.end());
    EXPECT_EQ(Ids(said), row.said != nullptr      ? row.said
                         : row.repairs != nullptr ? row.repairs
                                                  : "");
    if (row.first != nullptr) {
      EXPECT_EQ(DescribeSmfNote(said.front()), row.first);
    }
    const ttSmfReadStatus repaired = Read(row.file, true, layout);
    if (row.repairs == nullptr) {
      EXPECT_EQ(repaired, S::kRefused);
      continue;
    }
    ASSERT_EQ(repaired, S::kRead);
    EXPECT_EQ(Ids(layout.repairs), row.repairs);
    EXPECT_EQ(SnapshotSequence(), EventTracks(row.events));
  }
}

}  // namespace
}  // namespace smftest
