// The model-free validator against the reader: the same verdict on every
// image, the right fault where it refuses, and the save that it guards.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "RobustKit.h"
#include "SaveFile.h"
#include "SmfValidator.h"
#include "Texts.h"
#include "ttSmfParser.h"

namespace {

using smftest::Bytes;
using smftest::Concat;
using smftest::EndOfTrack;
using smftest::Header;
using smftest::NoteOn;
using smftest::TrackChunk;

// Both verdicts on an exact-size copy, so that a read past the end is seen.
struct Verdicts {
  bool reader;
  ttSmfCheck validator;
};
Verdicts Judge(const Bytes& image) {
  const auto size = static_cast<std::uint32_t>(image.size());
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size == 0 ? 1 : size]);
  std::copy(image.begin(), image.end(), copy.get());
  ttSmfParser parser;
  const bool reader = parser.Parse(copy.get(), size);
  CurrentSequence.Clear();
  return {reader, ValidateSmfImage(copy.get(), size)};
}

Bytes Truncated(const Bytes& image, std::size_t size) {
  return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes OneTrack(const Bytes& body) {
  return Concat({Header(0, 1, 96), TrackChunk(body)});
}

TEST(SmfValidator, NamesTheFaultWhereTheReaderRefuses) {
  const Bytes eot = {0x00, 0xFF, 0x2F, 0x00};
  Bytes macBinary(128, 0x00);
  macBinary[82] = 0x01;
  const struct {
    const char* why;
    Bytes image;
    ttSmfFault fault;
  } kRows[] = {
      {"one track with running status",
       OneTrack({0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kOk},
      {"behind a MacBinary header", Concat({Bytes(128, 0x00), OneTrack(eot)}), ttSmfFault::kOk},
      {"bytes after the last announced chunk are not read",
       Concat({OneTrack(eot), Bytes{'M', 'T', 'h', 'd', 0xFF}}), ttSmfFault::kOk},
      {"no chunk announced", Header(0, 0, 96), ttSmfFault::kOk},
      {"empty image", {}, ttSmfFault::kTruncated},
      {"ends inside the header", Truncated(Header(0, 1, 96), 13), ttSmfFault::kTruncated},
      {"MacBinary byte 82 not zero", Concat({macBinary, OneTrack(eot)}), ttSmfFault::kBadHeader},
      {"header length 5", Concat({Header(0, 0, 96, 5)}), ttSmfFault::kBadHeader},
      {"format 3", Header(3, 0, 96), ttSmfFault::kBadFormat},
      {"SMPTE -28 frames", Header(0, 0, 0xE428), ttSmfFault::kBadDivision},
      {"a second header chunk", Concat({Header(0, 1, 96), Header(0, 0, 96)}),
       ttSmfFault::kHeaderInChunks},
      {"65,535 chunks announced, none there", Header(1, 0xFFFF, 96), ttSmfFault::kTruncated},
      {"foreign chunk longer than the image",
       Concat({Header(0, 1, 96), Bytes{'X', 'X', 'X', 'X', 0x0F, 0xFF, 0xFF, 0xFF, 1, 2}}),
       ttSmfFault::kTruncated},
      {"track chunk of length 0", OneTrack({}), ttSmfFault::kEmptyTrack},
      {"delta time of five bytes", OneTrack({0x80, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kLongVarLen},
      {"data byte first", OneTrack({0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kNoRunningStatus},
      {"data byte after a meta event",
       OneTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F,
                 0x00}),
       ttSmfFault::kNoRunningStatus},
      {"timing clock in a track", OneTrack({0x00, 0xF8, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kBadStatus},
      {"meta type 0x80", OneTrack({0x00, 0xFF, 0x80, 0x00, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kBadMetaType},
      {"tempo of two bytes", OneTrack({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1, 0x00, 0xFF, 0x2F, 0x00}),
       ttSmfFault::kBadMetaLength},
      {"end of track of length 1", OneTrack({0x00, 0xFF, 0x2F, 0x01, 0x00}),
       ttSmfFault::kBadMetaLength},
      {"bytes after the end of track", OneTrack({0x00, 0xFF, 0x2F, 0x00, 0x00}),
       ttSmfFault::kBadEndOfTrack},
      {"chunk ends without end of track", OneTrack({0x00, 0x90, 0x3C, 0x40}),
       ttSmfFault::kBadEndOfTrack},
      {"event runs past its chunk into the next bytes",
       Concat({Header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 3, 0x00, 0xFF, 0x2F, 0x00}}),
       ttSmfFault::kBadEndOfTrack},
      {"sysex length near 0x0FFFFFFF", OneTrack({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01}),
       ttSmfFault::kTruncated},
      {"meta length near 0x0FFFFFFF in a chunk that claims it",
       Concat({Header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0x10, 0, 0, 0},
               Bytes{0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}}),
       ttSmfFault::kTruncated},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    const Verdicts v = Judge(row.image);
    EXPECT_EQ(SmfFaultName(v.validator.fault), std::string(SmfFaultName(row.fault)));
    EXPECT_EQ(v.reader, row.fault == ttSmfFault::kOk);
  }
}

// Mutations of valid files reach every refusal the reader has; the validator
// must give the reader's verdict on each one.
TEST(SmfValidator, AgreesWithTheReaderOnGeneratedAndMutatedImages) {
  std::mt19937 rng(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  int accepted = 0;
  int refused = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    smftest::GenerateOptions options;
    options.format = static_cast<std::uint16_t>(seed % 3);
    options.tracks = 1 + static_cast<int>(seed % 3);
    options.eventsPerTrack = 3 + static_cast<int>(seed % 20);
    options.runningStatus = seed % 2 == 0;
    const Bytes original = smftest::GenerateSmf(seed, options);
    for (int round = 0; round < 300; ++round) {
      Bytes image = original;
      for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
        const std::size_t at = pick(image.size());
        switch (pick(5)) {
          case 0:
            image[at] = static_cast<std::uint8_t>(rng());
            break;
          case 1:
            image[at] ^= static_cast<std::uint8_t>(1u << pick(8));
            break;
          case 2:
            image.erase(image.begin() + static_cast<std::ptrdiff_t>(at));
            break;
          case 3:
            image.insert(image.begin() + static_cast<std::ptrdiff_t>(at), 0x80);
            break;
          default:
            image.resize(at);
            break;
        }
        if (image.empty())
          break;
      }
      const Verdicts v = Judge(image);
      ASSERT_EQ(v.reader, v.validator.fault == ttSmfFault::kOk)
          << "seed " << seed << " round " << round << ": " << SmfFaultName(v.validator.fault);
      (v.reader ? accepted : refused) += 1;
    }
  }
  // Both verdicts must be well represented, or the agreement says little.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 5000);
}

TEST(SmfValidator, TruncationAtEveryByteIsRefusedLikeTheReaderDoes) {
  smftest::GenerateOptions options;
  options.tracks = 2;
  options.eventsPerTrack = 30;
  const Bytes image = smftest::GenerateSmf(3, options);
  for (std::size_t size = 0; size < image.size(); ++size) {
    const Verdicts v = Judge(Truncated(image, size));
    ASSERT_FALSE(v.reader) << size;
    ASSERT_NE(v.validator.fault, ttSmfFault::kOk) << size;
  }
  EXPECT_EQ(Judge(image).validator.fault, ttSmfFault::kOk);
}

// The writer writes what it is given; a sequence the reader could never have
// made must not reach the disk as a file the reader refuses.
TEST(SaveGuard, AnImageTheReaderWouldRefuseIsAnInternalErrorAndWritesNothing) {
  const struct {
    const char* why;
    void (*spoil)(ttSmfTrack& track);
  } kRows[] = {
      {"the end-of-track event is gone", [](ttSmfTrack& t) { t.pop_back(); }},
      {"an event after the end of track",
       [](ttSmfTrack& t) {
         t.push_back(ttSmfEvent{t.back().time, t.front().bytes});
       }},
      {"a timing clock among the events",
       [](ttSmfTrack& t) {
         ttSmfEvent clock{0, ttByteArray()};
         const std::uint8_t f8 = 0xF8;
         clock.bytes.Store(&f8, 1, 0);
         t.push_front(clock);
       }},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    robust::Session session;
    session.platform.files["out.mid"] = {1, 2, 3};
    session.Drop();
    ASSERT_TRUE(SourceLoaded);
    row.spoil(CurrentSequence.tracks.front());
    session.Save("90");
    EXPECT_EQ(session.platform.Texts(), std::vector<std::string>{TT_TEXT_INTERNAL_ERROR});
    EXPECT_EQ(session.platform.files["out.mid"], (Bytes{1, 2, 3}));
    EXPECT_TRUE(session.platform.liveTemps.empty());
    EXPECT_EQ(session.platform.files.size(), 2u);

    ttByteArray image;
    std::uint32_t size = 1;
    EXPECT_FALSE(BuildOutputImage(robust::kWindow, image, size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(image.data, nullptr);
  }
}

}  // namespace
