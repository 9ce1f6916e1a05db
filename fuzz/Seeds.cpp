#include "Seeds.h"

#include <cstdint>

using namespace smftest;

std::vector<FuzzSeed> MakeSeeds() {
  std::vector<FuzzSeed> seeds;

  // Generated files: formats 0, 1 and 2, one to four tracks, with and without
  // running status and a tempo event; the last six larger, most in SMPTE time.
  static const std::uint16_t kDivisions[] = {480, 0x7FFF, 0xE850, 0xE728, 0xE3FF, 0xE250};
  for (std::uint32_t seed = 1; seed <= 46; ++seed) {
    GenerateOptions o;
    o.format = static_cast<std::uint16_t>(seed % 7 == 0 ? 2 : seed % 3 == 0 ? 0 : 1);
    o.tracks = o.format == 0 && seed % 2 == 0 ? 1 : 1 + static_cast<int>(seed % 4);
    o.eventsPerTrack = seed > 40 ? 400 : 4 + static_cast<int>((seed * 7) % 40);
    o.division = seed > 40 ? kDivisions[seed - 41] : 480;
    o.runningStatus = seed % 2 == 1;
    o.tempo = seed % 4 != 0;
    seeds.push_back({"generated-" + std::to_string(seed), GenerateSmf(seed, o)});
  }
  // One format-0 track chunk each: 903C40 a note, FF2F00 the end of track.
  const std::pair<const char*, const char*> kTracks[] = {
      {"running-status", "00903C40 103E40 00FF2F00"},
      {"sysex", "00F0034310F7 05F700 00F081007F 04FF2F00"},
      {"padded-tempo", "00FF51800307A120 0A903C40 0AFF2F00"},
      {"no-tempo", "00903C40 8360FF2F00"},
      {"tempo-zero", "00FF5103000000 01903C40 01FF2F00"},
      {"slowest-tempo", "00FF5103FFFFFF 8768903C40 8768FF2F00"},
      {"fastest-tempo", "00FF5103000001 8768903C40 8768FF2F00"},
      {"two-tempos", "00FF510307A120 00FF510307A120 01FF2F00"},
      {"late-tempo", "00903C40 0AFF5103061A80 0AFF2F00"},
      {"longest-delta", "00FF510307A120 FFFFFF7F903C40 00FF2F00"},
      {"status-after-meta", "00903C40 00FF0100 003E40 00FF2F00"},
      {"status-after-sysex", "00903C40 00F0017F 003E40 00FF2F00"},
      {"no-end-of-track", "00903C40"},
      {"after-end-of-track", "00FF2F00 00903C"},
  };
  auto track = [](const char* hex) { return Concat({Header(0, 1, 96), TrackChunk(Hex(hex))}); };
  for (const auto& [name, hex] : kTracks)
    seeds.push_back({name, track(hex)});
  seeds.push_back({"macbinary", Concat({Bytes(128, 0x00), track(kTracks[0].second)})});
  const Bytes note = NoteOn(60), eot = EndOfTrack();
  const Bytes small = TrackChunk(TrackBody({{0, note}, {5, eot}}));
  seeds.push_back({"header-length-10", Concat({Header(1, 1, 480, 10), small})});
  seeds.push_back({"only-foreign-chunk", Concat({Header(0, 1, 480), SmfChunk("XYZW", {})})});
  seeds.push_back({"smpte-division", Smf(0, 0xE728, {Track({{0, note}, {10, eot}})})});
  seeds.push_back({"format-2", Smf(2, 96, {Track({{0, eot}}), Track({{0, eot}})})});
  // Seventeen deltas of 0x0FFFFFFF carry the time past 2^32 - 1.
  Track wrapping{{0, Tempo(500000)}};
  std::uint32_t time = 0;
  for (int i = 0; i < 17; ++i)
    wrapping.push_back({time += 0x0FFFFFFF, note});
  wrapping.push_back({time + 1, eot});
  seeds.push_back({"wrapped-times", Smf(1, 96, {wrapping, Track({{3, note}, {5, eot}})})});
  // Bytes after the last chunk are not read: there the input picks a tempo.
  seeds.push_back({"trailing-bytes",
                   Concat({track("00FF510307A120 60903C40 60FF2F00"), {0x00, 0x07, 0xA1, 0x20}})});
  // What the command line's file reading keeps and repairs: chunks around the
  // tracks behind a longer header, a RIFF file, and one file per repair.
  seeds.push_back({"kept-chunks", Concat({Header(1, 3, 96, 8), SmfChunk("Junk", {1, 2, 3}), small,
                                          small, SmfChunk("XFIH", {4})})});
  seeds.push_back(
      {"rmid",
       Rmid({RiffChunk("LIST", Concat({{'I', 'N', 'F', 'O'}, RiffChunk("INAM", {'a', 'b', 'c'})})),
             RiffChunk("data", Smf(0, 96, {Track({{0, note}, {5, eot}})}))})});
  seeds.push_back(
      {"cut-short", Concat({Header(0, 1, 96), SmfChunk("MTrk", Hex("00903C40 00FF"))})});
  seeds.back().bytes[21] = 9;  // announces more bytes than the file holds
  seeds.push_back({"later-track", Concat({Header(0, 1, 96), SmfChunk("Junk", {}), small})});
  std::vector<Track> many(200, Track({{1, note}, {2, eot}}));
  many[0].insert(many[0].begin(), {0, Tempo(600000)});
  seeds.push_back({"many-tracks", Smf(1, 96, many)});
  return seeds;
}
