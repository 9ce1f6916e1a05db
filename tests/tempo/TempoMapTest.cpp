// Tempo maps flattened and scaled, divisions changed, exact conversions,
// note lengths and the figures of a report: one table over the modes, and the
// 128-bit arithmetic under them checked against the compiler's own type.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "SmfTestKit.h"
#include "TempoMapConversion.h"

namespace smftest {
namespace {

constexpr auto kRefuse = ttTempoMapMode::kRefuse;
constexpr auto kFlatten = ttTempoMapMode::kFlatten;
constexpr auto kScale = ttTempoMapMode::kScale;

struct MapRow {
  const char* why;
  std::uint16_t division;
  std::vector<const char*> tracks;  // format 1 when more than one; "time:hex" events
  ttMapRequest request;
  bool keepTracks;
  ttMapResult result;
  std::vector<const char*> want = {};  // the tracks after
  std::uint32_t wantDivision = 0;
  // Figures: the largest error (us, -1 unchecked), notes made zero ticks long
  // and lengthened. Refusals: the outcome's tick and tempo, or slower and faster.
  double largest = -1;
  std::uint64_t zero = 0, lengthened = 0;
  std::uint32_t detail[2] = {0, 0};
};

ttMapRequest Ask(ttTempoMapMode mode, std::uint32_t tempo, std::uint32_t division = 0,
                 bool exact = false, std::uint32_t minNote = 0) {
  ttMapRequest r;
  r.mode = mode;
  r.tempo = tempo;
  r.division = division;
  r.exact = exact;
  r.minNote = minNote;
  return r;
}

// Tempos: 07A120 500000 (120 BPM), 0F4240 1000000, 1E8480 2000000, 03D090
// 250000, 0927C0 600000. Notes: 903C40 on, 803C40 off.
const MapRow kRows[] = {
    {"flatten: each event at its real time under the new tempo, the later tempo event gone",
     480,
     {"0:FF510307A120 0:903C40 480:FF51030F4240 480:803C40 960:903C40 960:FF2F00"},
     Ask(kFlatten, 0),
     false,
     ttMapResult::kOk,
     {"0:FF510307A120 0:903C40 480:803C40 1440:903C40 1440:FF2F00"},
     480,
     0.0},
    {"scale: every tempo times new / first, ticks through the new map",
     480,
     {"0:FF510307A120 0:903C40 480:FF51030F4240 480:803C40 960:903C40 960:FF2F00"},
     Ask(kScale, 1000000),
     false,
     ttMapResult::kOk,
     {"0:FF51030F4240 0:903C40 240:FF51031E8480 240:803C40 480:903C40 480:FF2F00"},
     480},
    {"no tempo at tick 0: 120 BPM until the first; the new tempo added at the front",
     480,
     {"0:903C40 100:FF510303D090 300:FF2F00"},
     Ask(kScale, 1000000),
     false,
     ttMapResult::kOk,
     {"0:FF51030F4240 0:903C40 50:FF510307A120 150:FF2F00"},
     480},
    {"a coarser grid: nearest tick, halves up; a note made zero ticks long",
     4,
     {"0:FF510307A120 1:903C40 2:803C40 6:FF2F00"},
     Ask(kRefuse, 0, 2),
     false,
     ttMapResult::kOk,
     {"0:FF510307A120 1:903C40 1:803C40 3:FF2F00"},
     2,
     125000,
     1},
    // The tempo event lands half a tick late (0.25 s at tick 1, 0.5 s); the
    // stretch after it starts from its real time, not from the rounded tick:
    // 0.75 s goes to tick 1, not 2.
    {"a tempo event's rounding does not carry into the events after it",
     2,
     {"0:FF510307A120 1:FF51030F4240 2:903C40 3:803C40 3:FF2F00"},
     Ask(kScale, 0, 1),
     false,
     ttMapResult::kOk,
     {"0:FF510307A120 1:FF51030F4240 1:903C40 2:803C40 2:FF2F00"},
     1,
     250000},
    {"tracks kept: each through the map of all, the tempo event left where it is",
     480,
     {"0:903C40 960:FF2F00", "0:FF510307A120 480:FF51030F4240 480:FF2F00"},
     Ask(kFlatten, 0),
     true,
     ttMapResult::kOk,
     {"0:903C40 1440:FF2F00", "0:FF510307A120 480:FF2F00"},
     480},
    {"tracks kept: notes pair within their own track",
     480,
     {"0:903C40 10:FF2F00", "0:FF510307A120 5:803C40 100:FF2F00"},
     Ask(kRefuse, 0, 48, false, 2),
     true,
     ttMapResult::kOk,
     {"0:903C40 1:FF2F00", "0:FF510307A120 1:803C40 10:FF2F00"},
     48},
    {"exact: no tick moves, the division takes the change",
     480,
     {"0:FF510307A120 0:903C40 7:803C40 7:FF2F00"},
     Ask(kRefuse, 600000, 0, true),
     false,
     ttMapResult::kOk,
     {"0:FF51030927C0 0:903C40 7:803C40 7:FF2F00"},
     576,
     0.0},
    // Key 41 was zero ticks long already; key 42 meets its next note-on on
    // its own tick; key 43 would end after the end of track.
    {"min-note: lengthened, never past the next note-on of its key nor the end",
     480,
     {"0:903C40 3:803C40 5:903C40 6:803C40 100:903C40 101:803C40 200:903C41 200:803C41 "
      "300:903C42 301:803C42 301:903C42 350:803C42 395:903C43 396:803C43 410:FF2F00"},
     Ask(kRefuse, 0, 48, false, 2),
     false,
     ttMapResult::kOk,
     {"0:FF510307A120 0:903C40 1:803C40 1:903C40 3:803C40 10:903C40 12:803C40 20:903C41 "
      "20:803C41 30:903C42 30:803C42 30:903C42 35:803C42 40:903C43 41:803C43 41:FF2F00"},
     48,
     -1,
     5,
     4},
    {"refuse: a tempo change is refused",
     480,
     {"0:FF510307A120 9:FF51030F4240 9:FF2F00"},
     Ask(kRefuse, 0, 96),
     false,
     ttMapResult::kTempoMap},
    {"a tempo of 0",
     480,
     {"0:FF5103000000 9:FF2F00"},
     Ask(kFlatten, 0),
     false,
     ttMapResult::kUnsupported},
    {"a scaled tempo beyond 24 bits",
     480,
     {"0:FF510307A120 10:FF5103FFFFFF 20:FF2F00"},
     Ask(kScale, 1000000),
     false,
     ttMapResult::kScaledTempo,
     {},
     0,
     -1,
     0,
     0,
     {10, 33554430}},
    {"exact: no whole division; the nearest exact tempos",
     480,
     {"0:FF510307A120 9:FF2F00"},
     Ask(kRefuse, 618556, 0, true),
     false,
     ttMapResult::kNotExact,
     {},
     0,
     -1,
     0,
     0,
     {618750, 615625}},
    {"exact: a scaled tempo would not be whole; the nearest exact tempos for the whole map",
     480,
     {"0:FF510307A120 10:FF5103049E81 20:FF2F00"},
     Ask(kScale, 600000, 0, true),
     false,
     ttMapResult::kNotExact,
     {},
     0,
     -1,
     0,
     0,
     {1000000, 500000}},
    {"exact: the division would be 32768",
     16384,
     {"0:FF510307A120 9:FF2F00"},
     Ask(kRefuse, 1000000, 0, true),
     false,
     ttMapResult::kNotExact,
     {},
     0,
     -1,
     0,
     0,
     {0, 984375}},
    {"exact cannot flatten a tempo change",
     480,
     {"0:FF510307A120 9:FF51030F4240 9:FF2F00"},
     Ask(kFlatten, 600000, 0, true),
     false,
     ttMapResult::kExactFlatten},
    {"an output tick beyond 32 bits",
     1,
     {"0:FF5103FFFFFF 200000000:FF2F00"},
     Ask(kFlatten, 1),
     false,
     ttMapResult::kTimeOverflow},
};

bool AcceptMerged(ttWindow window, void*) {
  return AcceptSourceTracks(window, true);
}
bool AcceptKept(ttWindow window, void*) {
  return AcceptSourceTracks(window, false);
}

class TempoMapConversion : public SequenceTest {};

TEST_F(TempoMapConversion, Modes) {
  for (const MapRow& row : kRows) {
    SCOPED_TRACE(row.why);
    std::vector<Track> tracks;
    for (const char* t : row.tracks)
      tracks.push_back(Events(t));
    RecordingPlatform platform;
    platform.files["in.mid"] = Smf(tracks.size() > 1 ? 1 : 0, row.division, tracks);
    ASSERT_TRUE(
        LoadSourceSmfWith(nullptr, "in.mid", row.keepTracks ? AcceptKept : AcceptMerged, nullptr));
    ttTempoMap map;
    ScanTempoMap(CurrentSequence, &map);
    ttConversionFigures figures;
    const ttMapOutcome outcome = ConvertWithTempoMap(CurrentSequence, map, row.request, &figures);
    ASSERT_EQ(outcome.result, row.result);
    if (row.result != ttMapResult::kOk) {
      const bool exact = row.result == ttMapResult::kNotExact;
      EXPECT_EQ(exact ? outcome.slower : outcome.tick, row.detail[0]);
      EXPECT_EQ(exact ? outcome.faster : outcome.tempo, row.detail[1]);
      continue;
    }
    std::vector<Track> want;
    for (const char* t : row.want)
      want.push_back(Events(t));
    EXPECT_EQ(SnapshotSequence(), want);
    EXPECT_EQ(CurrentSequence.division, row.wantDivision);
    if (row.largest >= 0) {
      EXPECT_DOUBLE_EQ(figures.LargestErrorMicroseconds(), row.largest);
    }
    EXPECT_EQ(figures.zeroLengthNotes, row.zero);
    EXPECT_EQ(figures.lengthenedNotes, row.lengthened);
  }
}

#ifdef __SIZEOF_INT128__
TEST(Uint128, AgreesWithTheCompilersType) {
  __extension__ typedef unsigned __int128 Native;
  const auto native = [](const ttUint128& x) { return (Native{x.high} << 64) | x.low; };
  std::mt19937_64 random(7);
  const std::uint64_t edges[] = {0, 1, 2, 0xFFFFFFFFu, 0x100000000u, ~std::uint64_t{0}};
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t a = i < 36 ? edges[i % 6] : random() >> (random() % 64);
    const std::uint64_t b = i < 36 ? edges[i / 6] : random() >> (random() % 64);
    const ttUint128 product = MultiplyWide(a, b);
    ASSERT_EQ(native(product), Native{a} * b) << a << " " << b;
    const ttUint128 other{random() >> 1, random()};
    ASSERT_EQ(native(AddWide(product, other)), native(product) + native(other));
    ASSERT_EQ(native(SubtractWide(product, other)), native(product) - native(other));
    std::uint64_t q = 0, r = 0;
    const std::uint64_t d = b | 1;
    ASSERT_EQ(DivideWide(product, d, &q, &r), product.high < d);
    if (product.high < d) {
      ASSERT_EQ(q, static_cast<std::uint64_t>(native(product) / d));
      ASSERT_EQ(r, static_cast<std::uint64_t>(native(product) % d));
    }
  }
}
#endif

}  // namespace
}  // namespace smftest
