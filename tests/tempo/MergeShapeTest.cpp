// The merge of many tracks works a stretch of time at a time; these shapes of
// time take its rarer ways (gaps, sparse ticks, a tick too full for one
// stretch, empty tracks, times out of order), and each must give what merging
// the tracks one after the other gives.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <list>

#include "SmfTestKit.h"

namespace smftest {
namespace {

// `tracks` tracks of `events` events, event i of track t at tick time(t, i),
// its bytes naming track and position; then an end of track at `end(t)`.
std::list<ttSmfTrack> Shape(int tracks, int events,
                            const std::function<std::uint32_t(int, int)>& time,
                            const std::function<std::uint32_t(int)>& end) {
  std::list<ttSmfTrack> out;
  for (int t = 0; t < tracks; ++t) {
    out.emplace_back();
    for (int i = 0; i < events; ++i) {
      const std::uint8_t data[] = {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i),
                                   static_cast<std::uint8_t>(i >> 8)};
      AppendSmfEvent(out.back(), time(t, i), 0xF0, data, sizeof data);
    }
    const std::uint8_t eot[] = {0x2F, 0x00};
    AppendSmfEvent(out.back(), end(t), 0xFF, eot, sizeof eot);
  }
  return out;
}

bool SameEvents(const ttSmfTrack& a, const ttSmfTrack& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](const ttSmfEvent& x, const ttSmfEvent& y) {
           return x.time == y.time && x.bytes.length == y.bytes.length &&
                  std::equal(x.bytes.data, x.bytes.data + x.bytes.length, y.bytes.data);
         });
}

TEST(MergeShapes, EachGivesTheSequentialMerge) {
  const auto flat = [](std::uint32_t tick) { return [tick](int) { return tick; }; };
  const struct {
    const char* why;
    std::list<ttSmfTrack> tracks;
  } kRows[] = {
      {"ticks far apart, too wide a stretch to count on",
       Shape(
           3, 200,
           [](int t, int i) {
             return static_cast<std::uint32_t>(i) * 5000000u + static_cast<std::uint32_t>(t);
           },
           flat(0xF0000000u))},
      {"two busy passages with a gap of millions of ticks",
       Shape(
           5, 400,
           [](int t, int i) {
             return static_cast<std::uint32_t>(i < 200 ? i + t : 90000000 + i - t);
           },
           flat(90001000u))},
      {"more on one tick than a stretch holds",
       Shape(
           2, 600000, [](int, int i) { return i < 599990 ? 7u : 8u; }, flat(8u))},
      {"tracks holding only their end",
       Shape(
           6, 0, [](int, int) { return 0u; },
           [](int t) { return 10u * static_cast<std::uint32_t>(t % 3); })},
      {"one track's times out of order", Shape(
                                             4, 30,
                                             [](int t, int i) {
                                               return t == 2 && i == 17
                                                          ? 3u
                                                          : static_cast<std::uint32_t>(i * 4 + t);
                                             },
                                             flat(200u))},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    std::list<ttSmfTrack> sequential = row.tracks;
    while (sequential.size() > 1) {
      MergeTracks(sequential.front(), *std::next(sequential.begin()));
      sequential.erase(std::next(sequential.begin()));
    }
    ttSmfSequence merged;
    merged.tracks = row.tracks;
    MergeAllTracks(merged);
    ASSERT_EQ(merged.tracks.size(), 1u);
    EXPECT_TRUE(SameEvents(merged.tracks.front(), sequential.front()));
  }
}

}  // namespace
}  // namespace smftest
