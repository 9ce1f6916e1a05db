// Tempo maps flattened and scaled, divisions changed, exact conversions, note
// lengths and the figures of a report: one table over the modes, and the
// 128-bit arithmetic under them checked against the compiler's own type.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "SmfTestKit.h"
#include "TempoConversion.h"
#include "TempoMapConversion.h"

namespace smftest {
namespace {

// "flatten tempo=1000000 exact": each word, a bare one as 1.
std::map<std::string, double> Words(const char* text) {
  std::map<std::string, double> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    const std::size_t eq = word.find('=');
    out[word.substr(0, eq)] = eq == std::string::npos ? 1 : std::stod(word.substr(eq + 1));
  }
  return out;
}

struct MapRow {
  const char* why;
  std::uint16_t division;
  const char* source;  // format 1 when it has several tracks
  const char* ask;     // flatten|scale (else refuse), tempo=, division=, exact, min=, keep
  ttMapResult result;
  const char* want;    // the tracks after
  const char* expect;  // division= (else the source's), largest= (us), zero=, lengthened= (else 0);
                       // refusals: tick= tempo=, or slower= faster=
};

constexpr auto kOk = ttMapResult::kOk;
// Tempos: 07A120 500000 (120 BPM), 0F4240 1000000, 1E8480 2000000, 03D090
// 250000, 0927C0 600000. Notes: 903C40 on, 803C40 off.
const MapRow kRows[] = {
    {"flatten: each event at its real time under the new tempo, the later tempo event gone", 480,
     "0:FF510307A120 0:903C40 480:FF51030F4240 480:803C40 960:903C40 960:FF2F00", "flatten", kOk,
     "0:FF510307A120 0:903C40 480:803C40 1440:903C40 1440:FF2F00", "largest=0"},
    {"scale: every tempo times new / first, ticks through the new map", 480,
     "0:FF510307A120 0:903C40 480:FF51030F4240 480:803C40 960:903C40 960:FF2F00",
     "scale tempo=1000000", kOk,
     "0:FF51030F4240 0:903C40 240:FF51031E8480 240:803C40 480:903C40 480:FF2F00", ""},
    {"no tempo at tick 0: 120 BPM until the first; the new tempo added at the front", 480,
     "0:903C40 100:FF510303D090 300:FF2F00", "scale tempo=1000000", kOk,
     "0:FF51030F4240 0:903C40 50:FF510307A120 150:FF2F00", ""},
    {"a coarser grid: nearest tick, halves up; a note made zero ticks long", 4,
     "0:FF510307A120 1:903C40 2:803C40 6:FF2F00", "division=2", kOk,
     "0:FF510307A120 1:903C40 1:803C40 3:FF2F00", "division=2 largest=125000 zero=1"},
    // The tempo event lands half a tick late (0.25 s at tick 1, 0.5 s); the
    // stretch after it starts from its real time, not from the rounded tick:
    // 0.75 s goes to tick 1, not 2.
    {"a tempo event's rounding does not carry into the events after it", 2,
     "0:FF510307A120 1:FF51030F4240 2:903C40 3:803C40 3:FF2F00", "scale division=1", kOk,
     "0:FF510307A120 1:FF51030F4240 1:903C40 2:803C40 2:FF2F00", "division=1 largest=250000"},
    {"tracks kept: each through the map of all, the tempo event left where it is", 480,
     "0:903C40 960:FF2F00 | 0:FF510307A120 480:FF51030F4240 480:FF2F00", "flatten keep", kOk,
     "0:903C40 1440:FF2F00 | 0:FF510307A120 480:FF2F00", ""},
    {"tracks kept: notes pair within their own track", 480,
     "0:903C40 10:FF2F00 | 0:FF510307A120 5:803C40 100:FF2F00", "division=48 min=2 keep", kOk,
     "0:903C40 1:FF2F00 | 0:FF510307A120 1:803C40 10:FF2F00", "division=48"},
    {"exact: no tick moves, the division takes the change", 480,
     "0:FF510307A120 0:903C40 7:803C40 7:FF2F00", "tempo=600000 exact", kOk,
     "0:FF51030927C0 0:903C40 7:803C40 7:FF2F00", "division=576 largest=0"},
    // Key 41 was zero ticks long already; key 42 meets its next note-on on
    // its own tick; key 43 would end after the end of track.
    {"min-note: lengthened, never past the next note-on of its key nor the end", 480,
     "0:903C40 3:803C40 5:903C40 6:803C40 100:903C40 101:803C40 200:903C41 200:803C41 "
     "300:903C42 301:803C42 301:903C42 350:803C42 395:903C43 396:803C43 410:FF2F00",
     "division=48 min=2", kOk,
     "0:FF510307A120 0:903C40 1:803C40 1:903C40 3:803C40 10:903C40 12:803C40 20:903C41 "
     "20:803C41 30:903C42 30:803C42 30:903C42 35:803C42 40:903C43 41:803C43 41:FF2F00",
     "division=48 zero=5 lengthened=4"},
    {"refuse: a tempo change is refused", 480, "0:FF510307A120 9:FF51030F4240 9:FF2F00",
     "division=96", ttMapResult::kTempoMap, "", ""},
    {"a tempo of 0", 480, "0:FF5103000000 9:FF2F00", "flatten", ttMapResult::kUnsupported, "", ""},
    {"a scaled tempo beyond 24 bits", 480, "0:FF510307A120 10:FF5103FFFFFF 20:FF2F00",
     "scale tempo=1000000", ttMapResult::kScaledTempo, "", "tick=10 tempo=33554430"},
    {"exact and scaled: a tempo may reach 16777215 exactly", 480,
     "0:FF510307A120 10:FF5103555555 20:FF2F00", "scale tempo=1500000 exact", kOk,
     "0:FF510316E360 10:FF5103FFFFFF 20:FF2F00", "division=1440 largest=0"},
    {"exact: no whole division; the nearest exact tempos", 480, "0:FF510307A120 9:FF2F00",
     "tempo=618556 exact", ttMapResult::kNotExact, "", "slower=618750 faster=615625"},
    {"exact: a scaled tempo would not be whole; the nearest exact tempos for the whole map", 480,
     "0:FF510307A120 10:FF5103049E81 20:FF2F00", "scale tempo=600000 exact", ttMapResult::kNotExact,
     "", "slower=1000000 faster=500000"},
    {"exact: a division of 32767 is taken", 32767, "0:FF510307A120 9:FF2F00", "tempo=500000 exact",
     kOk, "0:FF510307A120 9:FF2F00", "division=32767"},
    {"exact: the division would be 32768", 16384, "0:FF510307A120 9:FF2F00", "tempo=1000000 exact",
     ttMapResult::kNotExact, "", "slower=0 faster=984375"},
    {"exact cannot flatten a tempo change", 480, "0:FF510307A120 9:FF51030F4240 9:FF2F00",
     "flatten tempo=600000 exact", ttMapResult::kExactFlatten, "", ""},
    {"an output tick beyond 32 bits", 1, "0:FF5103FFFFFF 200000000:FF2F00", "flatten tempo=1",
     ttMapResult::kTimeOverflow, "", ""},
};

class TempoMapConversion : public SequenceTest {};

TEST_F(TempoMapConversion, Modes) {
  for (const MapRow& row : kRows) {
    SCOPED_TRACE(row.why);
    auto ask = Words(row.ask);
    ttMapRequest request;
    request.mode = ask["flatten"] ? ttTempoMapMode::kFlatten
                   : ask["scale"] ? ttTempoMapMode::kScale
                                  : ttTempoMapMode::kRefuse;
    request.tempo = static_cast<std::uint32_t>(ask["tempo"]);
    request.division = static_cast<std::uint32_t>(ask["division"]);
    request.exact = ask["exact"] != 0;
    request.minNote = static_cast<std::uint32_t>(ask["min"]);
    const std::vector<Track> source = EventTracks(row.source);
    RecordingPlatform platform;
    platform.files["in.mid"] = Smf(source.size() > 1 ? 1 : 0, row.division, source);
    bool merge = ask["keep"] == 0;
    ASSERT_TRUE(LoadSourceSmfWith(
        nullptr, "in.mid",
        [](ttWindow w, void* m) { return AcceptSourceTracks(w, *static_cast<bool*>(m)); }, &merge));
    ttTempoMap map;
    ScanTempoMap(CurrentSequence, &map);
    ttConversionFigures figures;
    const ttMapOutcome outcome = ConvertWithTempoMap(CurrentSequence, map, request, &figures);
    ASSERT_EQ(outcome.result, row.result);
    const std::map<std::string, double> actual = {{"division", CurrentSequence.division},
                                                  {"largest", figures.LargestErrorMicroseconds()},
                                                  {"zero", figures.zeroLengthNotes},
                                                  {"lengthened", figures.lengthenedNotes},
                                                  {"tick", outcome.tick},
                                                  {"tempo", outcome.tempo},
                                                  {"slower", outcome.slower},
                                                  {"faster", outcome.faster}};
    std::map<std::string, double> expected = Words(row.expect);
    if (row.result == kOk) {
      EXPECT_EQ(SnapshotSequence(), EventTracks(row.want));
      expected.emplace("division", row.division);
      expected.emplace("zero", 0);
      expected.emplace("lengthened", 0);
    }
    for (const auto& [key, value] : expected)
      EXPECT_EQ(actual.at(key), value) << key;
  }
}

// The plain conversion's figures are measured after it; measuring moves nothing.
TEST_F(TempoMapConversion, PlainFiguresMoveNothing) {
  RecordingPlatform platform;
  // At division 4, 120 to 60 BPM: ticks halve, the note ends on its own tick.
  ASSERT_TRUE(
      LoadSource(platform, Smf(0, 4, {Events("0:FF510307A120 1:903C40 2:803C40 6:FF2F00")})));
  std::vector<std::uint32_t> sourceTimes;
  for (const ttSmfEvent& event : CurrentSequence.tracks.front())
    sourceTimes.push_back(event.time);
  ASSERT_EQ(ConvertTempo(60), ttConvertResult::kOk);
  ttConversionFigures figures;
  MeasurePlainConversion(CurrentSequence.tracks.front(), sourceTimes, 500000, 1000000, 4, &figures);
  EXPECT_EQ(SnapshotSequence(), EventTracks("0:FF51030F4240 1:903C40 1:803C40 3:FF2F00"));
  EXPECT_EQ(figures.zeroLengthNotes, 1u);
  EXPECT_EQ(figures.LargestErrorMicroseconds(), 125000);
  EXPECT_EQ(figures.MeanErrorMicroseconds(), 125000 / 4);
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
