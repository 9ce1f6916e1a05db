#pragma once
// Shared by the core tests: every test starts and ends on an empty
// CurrentSequence. Every image a test parses is parsed from an exact-size heap
// copy (a sanitizer sees a read past the end), side by side whenever it is
// taken, and also goes through the validator and the command line's file
// reader without repairs, which must give the reader's verdict (and events).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "SmfFileReader.h"
#include "SmfImage.h"
#include "SmfValidator.h"
#include "SourceLoading.h"
#include "ttSmfParser.h"
#include "ttSmfSequence.h"

namespace smftest {

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentSequence.Clear(); }
  void TearDown() override { CurrentSequence.Clear(); }
};

// Events from "time:hex" groups: "0:903C40 16:FF2F00".
inline Track Events(const std::string& text) {
  Track out;
  std::istringstream in(text);
  for (std::string group; in >> group;) {
    const std::size_t colon = group.find(':');
    out.push_back({static_cast<std::uint32_t>(std::stoul(group.substr(0, colon))),
                   Hex(group.substr(colon + 1))});
  }
  return out;
}

// Tracks of Events, split by '|': "0:FF2F00 | 5:C005 5:FF2F00".
inline std::vector<Track> EventTracks(const std::string& text) {
  std::vector<Track> out;
  std::istringstream in(text);
  for (std::string track; std::getline(in, track, '|');)
    out.push_back(Events(track));
  return out;
}

// The image BuildSmfImage makes of CurrentSequence (empty when it refuses).
inline Bytes BuildImage() {
  ttByteArray out;
  const std::uint32_t n = BuildSmfImage(out);
  EXPECT_EQ(n, out.length) << "the returned count is the array's final length";
  return Bytes(out.data, out.data + out.length);
}

inline ttSmfTrack MakeTrack(const Track& events) {
  ttSmfTrack track;
  for (const TimedEvent& e : events) {
    track.push_back(ttSmfEvent{e.time, ttByteArray()});
    track.back().bytes.Store(e.bytes.data(), static_cast<std::uint32_t>(e.bytes.size()), 0);
  }
  return track;
}

inline Track EventsOf(const ttSmfTrack& track) {
  Track out;
  for (const ttSmfEvent& e : track)
    out.push_back({e.time, Bytes(e.bytes.data, e.bytes.data + e.bytes.length)});
  return out;
}

inline std::vector<Track> SnapshotSequence() {
  std::vector<Track> out;
  for (const ttSmfTrack& track : CurrentSequence.tracks)
    out.push_back(EventsOf(track));
  return out;
}

inline bool ParseImage(const Bytes& image) {
  const auto size = static_cast<std::uint32_t>(image.size());
  std::unique_ptr<std::uint8_t[]> copy(size == 0 ? nullptr : new std::uint8_t[size]);
  std::copy(image.begin(), image.end(), copy.get());
  const ttSmfCheck check = ValidateSmfImage(copy.get(), size);
  ttSmfLayout layout;
  const bool read = ReadSmfFile(copy.get(), size, false, layout).status == ttSmfReadStatus::kRead;
  const std::vector<Track> events = SnapshotSequence();
  ttSmfParser parser;
  const bool accepted = parser.Parse(copy.get(), size);
  EXPECT_EQ(parser.sideBySide, accepted) << "a file the reader takes is read side by side";
  EXPECT_EQ(check.fault == ttSmfFault::kOk, accepted)
      << "the validator says " << SmfFaultName(check.fault) << " at byte " << check.offset;
  EXPECT_EQ(read, accepted) << "the file reader without repairs differs";
  if (read && accepted) {
    EXPECT_EQ(events, SnapshotSequence()) << "the file reader without repairs differs";
  }
  return accepted;
}

// Loads `file` as in.mid through the recording platform; on success every
// event is in the first track, which Loaded() gives.
inline bool LoadSource(RecordingPlatform& platform, const Bytes& file) {
  platform.files["in.mid"] = file;
  CurrentSequence.Clear();
  return LoadSourceSmf(nullptr, "in.mid");
}
inline Track Loaded() {
  return EventsOf(CurrentSequence.tracks.front());
}

}  // namespace smftest
