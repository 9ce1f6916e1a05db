#include "SmfBuilder.h"

#include <algorithm>  // std::reverse
#include <fstream>
#include <iterator>
#include <random>

namespace smftest {

Bytes VarLen(std::uint32_t value) {
  Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
  while ((value >>= 7) != 0)
    out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
  return out;
}

Bytes Hex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text) {
    if (c != ' ')
      digits += c;
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

void PrintTo(const TimedEvent& e, std::ostream* os) {
  *os << "{" << e.time << ":" << std::hex;
  for (std::uint8_t b : e.bytes)
    *os << " " << int{b};
  *os << std::dec << "}";
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

static Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}
static Bytes U16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

Bytes Header(std::uint16_t format, std::uint16_t chunks, std::uint16_t division,
             std::uint32_t length) {
  Bytes out = Concat({{'M', 'T', 'h', 'd'}, U32(length), U16(format), U16(chunks), U16(division)});
  if (length > 6)
    out.resize(out.size() + (length - 6), 0);
  return out;
}

Bytes TrackChunk(const Bytes& body) {
  return SmfChunk("MTrk", body);
}

Bytes ChunkHead(const std::string& id, std::uint32_t length) {
  return Concat({Bytes(id.begin(), id.end()), U32(length)});
}

Bytes SmfChunk(const std::string& id, const Bytes& body) {
  return Concat({ChunkHead(id, static_cast<std::uint32_t>(body.size())), body});
}

Bytes RiffChunk(const std::string& id, const Bytes& body) {
  Bytes size = U32(static_cast<std::uint32_t>(body.size()));
  std::reverse(size.begin(), size.end());
  return Concat({Bytes(id.begin(), id.end()), size, body, Bytes(body.size() % 2, 0x00)});
}

Bytes Rmid(std::initializer_list<Bytes> chunks) {
  return RiffChunk("RIFF", Concat({{'R', 'M', 'I', 'D'}, Concat(chunks)}));
}

Bytes TrackBody(const Track& events) {
  Bytes out;
  std::uint32_t previous = 0;
  for (const TimedEvent& e : events) {
    const Bytes delta = VarLen(e.time - previous);
    out.insert(out.end(), delta.begin(), delta.end());
    out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    previous = e.time;
  }
  return out;
}

Bytes Smf(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks) {
  Bytes out = Header(format, static_cast<std::uint16_t>(tracks.size()), division);
  for (const Track& t : tracks) {
    // Appended in place: tests build files of 65,535 tracks.
    const Bytes chunk = TrackChunk(TrackBody(t));
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

Bytes Tempo(std::uint32_t us) {
  Bytes out = Concat({{0xFF, 0x51}, U32(us)});
  out[2] = 0x03;  // the length, over the tempo's unused high byte
  return out;
}
Bytes EndOfTrack() {
  return {0xFF, 0x2F, 0x00};
}
Bytes NoteOn(std::uint8_t key, std::uint8_t velocity, std::uint8_t channel) {
  return {static_cast<std::uint8_t>(0x90 | channel), key, velocity};
}

Bytes GenerateSmf(std::uint32_t seed, const GenerateOptions& o) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto byte7 = [&]() { return static_cast<std::uint8_t>(rng() & 0x7F); };
  auto random7 = [&](std::uint32_t n) {
    Bytes b;
    while (b.size() < n)
      b.push_back(byte7());
    return b;
  };

  Bytes out = Header(o.format, static_cast<std::uint16_t>(o.tracks), o.division);
  for (int t = 0; t < o.tracks; ++t) {
    Bytes body;
    std::uint32_t time = 0;
    std::uint32_t previous = 0;
    int running = -1;
    auto emit = [&](const Bytes& full, bool channel) {
      const Bytes delta = VarLen(time - previous);
      body.insert(body.end(), delta.begin(), delta.end());
      const bool omit = channel && o.runningStatus && running == full[0] && pick(4) != 0;
      body.insert(body.end(), full.begin() + (omit ? 1 : 0), full.end());
      running = channel ? full[0] : -1;
      previous = time;
    };
    if (t == 0 && o.tempo)
      emit(Tempo(300000 + static_cast<std::uint32_t>(pick(400000))), false);
    for (int i = 0; i < o.eventsPerTrack; ++i) {
      // Many equal ticks; now and then a long jump.
      const int r = pick(100);
      if (r >= 30)  // some deltas need three or four bytes
        time += static_cast<std::uint32_t>(pick(r < 95 ? 200 : r < 98 ? 0x4000 : 0x200000));
      const std::uint8_t channel = static_cast<std::uint8_t>(pick(16));
      const int kind = pick(12);
      if (kind < 10) {
        static const std::uint8_t kStatus[] = {0x90, 0x90, 0x90, 0x80, 0x80,
                                               0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
        Bytes e = {static_cast<std::uint8_t>(kStatus[kind] | channel), byte7()};
        if (kStatus[kind] != 0xC0 && kStatus[kind] != 0xD0)
          e.push_back(byte7());
        emit(e, true);
      } else if (kind == 10) {  // sysex, F0 or F7
        const Bytes data = random7(static_cast<std::uint32_t>(pick(300)));
        emit(Concat({{static_cast<std::uint8_t>(pick(2) ? 0xF0 : 0xF7)},
                     VarLen(static_cast<std::uint32_t>(data.size())),
                     data}),
             false);
      } else {
        static const std::uint8_t kTypes[] = {0x01, 0x02, 0x03, 0x05, 0x06, 0x7F, 0x58, 0x59, 0x54};
        const std::uint8_t type = kTypes[pick(9)];
        const Bytes data = random7(type == 0x58   ? 4
                                   : type == 0x59 ? 2
                                   : type == 0x54 ? 5
                                                  : static_cast<std::uint32_t>(pick(140)));
        emit(Concat({{0xFF, type}, VarLen(static_cast<std::uint32_t>(data.size())), data}), false);
      }
    }
    time += static_cast<std::uint32_t>(pick(3) == 0 ? 0 : pick(1000));
    emit(EndOfTrack(), false);
    const Bytes chunk = TrackChunk(body);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace smftest
