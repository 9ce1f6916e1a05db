#pragma once
// Builds SMF bytes for tests, so that no binary fixture is needed.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace smftest {

using Bytes = std::vector<std::uint8_t>;

// An event at an absolute tick, its bytes as in the file after the delta time.
struct TimedEvent {
  std::uint32_t time;
  Bytes bytes;
};
using Track = std::vector<TimedEvent>;

inline bool operator==(const TimedEvent& a, const TimedEvent& b) {
  return a.time == b.time && a.bytes == b.bytes;
}
void PrintTo(const TimedEvent& e, std::ostream* os);

Bytes VarLen(std::uint32_t value);
// Bytes from upper-case hex digits; spaces only group them ("00 FF2F00").
Bytes Hex(const std::string& text);
Bytes Concat(std::initializer_list<Bytes> parts);

// "MThd", length, format, count, division (length 6 unless told otherwise).
Bytes Header(std::uint16_t format, std::uint16_t chunks, std::uint16_t division,
             std::uint32_t length = 6);
Bytes TrackChunk(const Bytes& body);                           // "MTrk", length, body
Bytes SmfChunk(const std::string& id, const Bytes& body);      // id, length, body
Bytes ChunkHead(const std::string& id, std::uint32_t length);  // id, any length
// A RIFF chunk: the id, the body's length (little-endian), the body and a
// zero pad byte when its length is odd.
Bytes RiffChunk(const std::string& id, const Bytes& body);
// A RIFF "RMID" file around RIFF chunks.
Bytes Rmid(std::initializer_list<Bytes> chunks);
// Delta times in shortest form between the events, in list order.
Bytes TrackBody(const Track& events);
// A whole file: header announcing the tracks, then one chunk per track.
Bytes Smf(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks);

Bytes Tempo(std::uint32_t microseconds);  // FF 51 03 tt tt tt
Bytes EndOfTrack();                       // FF 2F 00
Bytes NoteOn(std::uint8_t key, std::uint8_t velocity = 100, std::uint8_t channel = 0);

struct GenerateOptions {
  std::uint16_t format = 1;
  int tracks = 4;
  int eventsPerTrack = 500;
  bool runningStatus = true;
  bool tempo = true;  // one tempo event at tick 0 in the first track
  std::uint16_t division = 480;
};
// A valid, realistic file: channel messages of every kind, sysex (F0 and F7),
// meta events of many types, equal ticks, running status where it may be used.
Bytes GenerateSmf(std::uint32_t seed, const GenerateOptions& options);

Bytes ReadFile(const std::string& path);

}  // namespace smftest
