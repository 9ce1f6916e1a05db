#include "Seeds.h"

#include <cstdint>

using namespace smftest;

namespace {

Bytes Track1(std::initializer_list<TimedEvent> events) {
  return Smf(0, 96, {Track(events)});
}

// A format-0 file of one track chunk holding `hex`.
Bytes Chunk1(const char* hex) {
  return Concat({Header(0, 1, 96), TrackChunk(Hex(hex))});
}

}  // namespace

std::vector<FuzzSeed> MakeSeeds() {
  std::vector<FuzzSeed> seeds;

  // Generated files: formats 0, 1 and 2, one to four tracks, with and without
  // running status, long deltas and a tempo event.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    GenerateOptions o;
    o.format = static_cast<std::uint16_t>(seed % 7 == 0 ? 2 : seed % 3 == 0 ? 0 : 1);
    o.tracks = o.format == 0 && seed % 2 == 0 ? 1 : 1 + static_cast<int>(seed % 4);
    o.eventsPerTrack = 4 + static_cast<int>((seed * 7) % 40);
    o.runningStatus = seed % 2 == 1;
    o.longDeltas = seed % 3 != 0;
    o.tempo = seed % 4 != 0;
    seeds.push_back({"generated-" + std::to_string(seed), GenerateSmf(seed, o)});
  }
  // Larger ones: SMPTE time, times wrapping past 2^32, lengths in more bytes than needed.
  static const std::uint16_t kDivisions[] = {480, 0x7FFF, 0xE850, 0xE728, 0xE3FF, 0xE250};
  for (std::uint32_t seed = 100; seed < 106; ++seed) {
    GenerateOptions o;
    o.format = static_cast<std::uint16_t>(seed % 3);
    o.tracks = 3;
    o.eventsPerTrack = 400;
    o.division = kDivisions[seed - 100];
    o.hugeDeltas = o.paddedLengths = seed % 2 == 1;
    seeds.push_back({"generated-large-" + std::to_string(seed), GenerateSmf(seed, o)});
  }

  const Bytes note = NoteOn(60);
  const Bytes eot = EndOfTrack();
  // The smallest file with running status: 90 3C 40, then 3E 40 on the same status.
  seeds.push_back({"running-status", Chunk1("00903C40 103E40 00FF2F00")});
  seeds.push_back({"macbinary", Concat({Bytes(128, 0x00), seeds.back().bytes})});
  seeds.push_back(
      {"header-length-10", Concat({Header(1, 1, 480, 10), TrackChunk(TrackBody({{0, eot}}))})});
  seeds.push_back({"foreign-chunk", Concat({Header(1, 2, 480), SmfChunk("XYZW", {1, 2, 3}),
                                            TrackChunk(TrackBody({{0, eot}}))})});
  seeds.push_back({"only-foreign-chunk", Concat({Header(0, 1, 480), SmfChunk("XYZW", {})})});
  seeds.push_back({"sysex", Track1({{0, {0xF0, 0x03, 0x43, 0x10, 0xF7}},
                                    {5, {0xF7, 0x00}},
                                    {5, {0xF0, 0x81, 0x00, 0x7F}},
                                    {9, eot}})});
  seeds.push_back(
      {"padded-tempo",
       Track1({{0, {0xFF, 0x51, 0x80, 0x03, 0x07, 0xA1, 0x20}}, {10, note}, {20, eot}})});
  seeds.push_back({"no-tempo", Track1({{0, note}, {480, eot}})});
  seeds.push_back({"tempo-zero", Track1({{0, Tempo(0)}, {1, note}, {2, eot}})});
  seeds.push_back({"slowest-tempo", Track1({{0, Tempo(0xFFFFFF)}, {1000, note}, {2000, eot}})});
  seeds.push_back({"fastest-tempo", Track1({{0, Tempo(1)}, {1000, note}, {2000, eot}})});
  seeds.push_back({"two-tempos", Track1({{0, Tempo(500000)}, {0, Tempo(500000)}, {1, eot}})});
  seeds.push_back({"late-tempo", Track1({{0, note}, {10, Tempo(400000)}, {20, eot}})});
  seeds.push_back({"smpte-division", Smf(0, 0xE728, {Track({{0, note}, {10, eot}})})});
  seeds.push_back({"format-2", Smf(2, 96, {Track({{0, eot}}), Track({{0, eot}})})});
  seeds.push_back(
      {"longest-delta", Track1({{0, Tempo(500000)}, {0x0FFFFFFF, note}, {0x0FFFFFFF, eot}})});
  // Seventeen deltas of 0x0FFFFFFF carry the time past 2^32 - 1.
  Track wrapping{{0, Tempo(500000)}};
  std::uint32_t time = 0;
  for (int i = 0; i < 17; ++i)
    wrapping.push_back({time += 0x0FFFFFFF, note});
  wrapping.push_back({time + 1, eot});
  seeds.push_back({"wrapped-times", Smf(1, 96, {wrapping, Track({{3, note}, {5, eot}})})});
  // Bytes after the last chunk are not read: there the input picks a tempo.
  seeds.push_back({"trailing-bytes", Concat({Track1({{0, Tempo(500000)}, {96, note}, {192, eot}}),
                                             Bytes{0x00, 0x07, 0xA1, 0x20}})});
  // What the command line's file reading keeps and repairs: chunks around the
  // tracks behind a longer header, a RIFF file, and one file per repair.
  const Bytes small = TrackChunk(TrackBody({{0, note}, {5, eot}}));
  seeds.push_back({"kept-chunks", Concat({Header(1, 3, 96, 8), SmfChunk("Junk", {1, 2, 3}), small,
                                          small, SmfChunk("XFIH", {4})})});
  seeds.push_back(
      {"rmid",
       Rmid({RiffChunk("LIST", Concat({{'I', 'N', 'F', 'O'}, RiffChunk("INAM", {'a', 'b', 'c'})})),
             RiffChunk("data", Smf(0, 96, {Track({{0, note}, {5, eot}})}))})});
  seeds.push_back({"status-after-meta", Chunk1("00903C40 00FF0100 003E40 00FF2F00")});
  seeds.push_back({"status-after-sysex", Chunk1("00903C40 00F0017F 003E40 00FF2F00")});
  seeds.push_back({"no-end-of-track", Chunk1("00903C40")});
  seeds.push_back(
      {"cut-short", Concat({Header(0, 1, 96), SmfChunk("MTrk", Hex("00903C40 00FF"))})});
  seeds.back().bytes[21] = 9;  // announces more bytes than the file holds
  seeds.push_back({"after-end-of-track", Chunk1("00FF2F00 00903C")});
  seeds.push_back({"later-track", Concat({Header(0, 1, 96), SmfChunk("Junk", {}), small})});
  std::vector<Track> many(200, Track({{1, note}, {2, eot}}));
  many[0].insert(many[0].begin(), {0, Tempo(600000)});
  seeds.push_back({"many-tracks", Smf(1, 96, many)});
  return seeds;
}
