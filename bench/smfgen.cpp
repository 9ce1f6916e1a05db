// smfgen: writes a large synthetic Standard MIDI File for the benchmarks and
// for trying the converter out. The same arguments always give the same bytes.
//
// Every track is one "voice" on one channel: at tick 0 a track name, a text
// event, a part sysex, a program change and two controllers (the first track
// also the only tempo event, a time and a key signature and a reset sysex);
// then chords on a grid with overlapping note-offs (8n or 9n velocity 0, per
// voice), now and then a controller, a short pitch-bend sweep or a marker;
// last an end-of-track a little after the last event. Channel events use
// running status as real files do; meta and sysex events cancel it.
//
// --events counts what the reader will count: every event of every track
// chunk, end-of-track events included. Format 0 merges the voices by time into
// one track (at equal ticks lower voices first) with a single end-of-track.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kTempo = 500000;  // 120 BPM
constexpr std::uint16_t kDivision = 480;

// splitmix64: small, fast, and the same sequence on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n), n > 0.
  std::uint32_t Below(std::uint32_t n) {
    return static_cast<std::uint32_t>((Next() >> 32) * n >> 32);
  }

 private:
  std::uint64_t state_;
};

struct Event {
  std::uint32_t tick = 0;
  std::uint8_t status = 0;
  std::uint8_t length = 0;  // bytes after the status byte
  std::uint8_t data[40] = {};

  bool IsEndOfTrack() const { return status == 0xFF && data[0] == 0x2F; }
};

Event Channel(std::uint32_t tick, int status, int a, int b = -1) {
  Event e;
  e.tick = tick;
  e.status = static_cast<std::uint8_t>(status);
  e.data[0] = static_cast<std::uint8_t>(a);
  e.length = 1;
  if (b >= 0) {
    e.data[1] = static_cast<std::uint8_t>(b);
    e.length = 2;
  }
  return e;
}

// Meta (status FF) or sysex (F0) event; payload lengths stay below 128 here.
Event Long(std::uint32_t tick, std::uint8_t status, int metaType, const std::string& payload) {
  Event e;
  e.tick = tick;
  e.status = status;
  std::uint8_t* p = e.data;
  if (metaType >= 0)
    *p++ = static_cast<std::uint8_t>(metaType);
  const std::size_t n = std::min<std::size_t>(payload.size(), sizeof e.data - 2);
  *p++ = static_cast<std::uint8_t>(n);
  std::memcpy(p, payload.data(), n);
  e.length = static_cast<std::uint8_t>(p + n - e.data);
  return e;
}

// One voice, produced event by event in time order with exactly `quota` events.
class Voice {
 public:
  Voice(std::uint64_t seed, unsigned index, std::uint32_t quota)
      : random_(seed * 0x100000001B3ull + index + 1) {
    channel_ = static_cast<int>(index % 16);
    if (channel_ == 9)
      channel_ = static_cast<int>((index / 16) % 9);  // percussion only as an exception
    grid_ = kDivision / (1u << random_.Below(3));     // quarter, eighth or sixteenth
    offAsNoteOn_ = random_.Below(2) == 0;
    root_ = 36 + static_cast<int>(random_.Below(48));

    if (index == 0) {
      const char tempo[] = {static_cast<char>(kTempo >> 16), static_cast<char>(kTempo >> 8),
                            static_cast<char>(kTempo)};
      Queue(Long(0, 0xFF, 0x51, std::string(tempo, 3)));
      Queue(Long(0, 0xFF, 0x58, std::string("\x04\x02\x18\x08", 4)));
      Queue(Long(0, 0xFF, 0x59, std::string("\x00\x00", 2)));
      Queue(Long(0, 0xF0, -1, std::string("\x7E\x7F\x09\x01\xF7", 5)));
    }
    Queue(Long(0, 0xFF, 0x03, "Voice " + std::to_string(index)));
    Queue(Long(0, 0xFF, 0x01, "smfgen track " + std::to_string(index)));
    std::string part("\x41\x10\x42\x12\x40\x10\x15\x00\x00\xF7", 10);
    part[5] = static_cast<char>(0x10 | channel_);
    part[8] = static_cast<char>(random_.Below(128));
    Queue(Long(0, 0xF0, -1, part));
    Queue(Channel(0, 0xC0 | channel_, static_cast<int>(random_.Below(128))));
    Queue(Channel(0, 0xB0 | channel_, 7, 64 + static_cast<int>(random_.Below(64))));
    Queue(Channel(0, 0xB0 | channel_, 10, static_cast<int>(random_.Below(128))));
    // The end-of-track is always left; the prologue gives way to a tiny quota.
    const std::uint32_t body = quota > 0 ? quota - 1 : 0;
    if (queue_.size() > body)
      queue_.resize(body);
    remaining_ = body - static_cast<std::uint32_t>(queue_.size());
    now_ = grid_ * random_.Below(4);
  }

  // The next event; false after the end-of-track was given.
  bool Next(Event* out) {
    while (head_ == queue_.size()) {
      if (done_)
        return false;
      queue_.clear();
      head_ = 0;
      Step();
    }
    *out = queue_[head_++];
    return true;
  }

 private:
  struct Off {
    std::uint32_t tick;
    std::uint8_t key;
  };

  void Queue(const Event& e) {
    queue_.push_back(e);
    last_ = std::max(last_, e.tick);
  }

  void NoteOff(const Off& off) {
    const int status = (offAsNoteOn_ ? 0x90 : 0x80) | channel_;
    Queue(Channel(off.tick, status, off.key, offAsNoteOn_ ? 0 : 64));
  }

  // Gives the note-offs due up to `tick`, so that the track stays in time order.
  void ReleaseUntil(std::uint32_t tick) {
    std::size_t due = 0;
    while (due < pending_.size() && pending_[due].tick <= tick)
      NoteOff(pending_[due++]);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(due));
    remaining_ -= static_cast<std::uint32_t>(due);
  }

  // Adds the events of the next chord step, or the end of the voice.
  void Step() {
    const std::uint32_t free = remaining_ - static_cast<std::uint32_t>(pending_.size());
    if (free == 0) {
      for (const Off& off : pending_)
        NoteOff(off);
      pending_.clear();
      Queue(Long(last_ + random_.Below(kDivision), 0xFF, 0x2F, std::string()));
      remaining_ = 0;
      done_ = true;
      return;
    }
    ReleaseUntil(now_);

    const std::uint32_t r = random_.Below(1000);
    if (free < 2 || r < 20) {
      Queue(Channel(now_, 0xB0 | channel_, r < 10 ? 1 : 11, static_cast<int>(random_.Below(128))));
      --remaining_;
    } else if (r < 25 && free >= 8) {
      // A short bend up and back to the centre, within one grid step.
      for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint32_t value = i < 3 ? 8192 + 1200 * i : 8192;
        ReleaseUntil(now_ + grid_ * i / 4);
        Queue(Channel(now_ + grid_ * i / 4, 0xE0 | channel_, static_cast<int>(value & 0x7F),
                      static_cast<int>(value >> 7)));
      }
      remaining_ -= 4;
    } else if (r < 27) {
      Queue(Long(now_, 0xFF, 0x06, "bar " + std::to_string(now_ / (4 * kDivision))));
      --remaining_;
    } else {
      // Mostly one or two notes; each note-on also owes its note-off.
      const std::uint32_t size = std::min(1 + random_.Below(4) * random_.Below(4) / 3, free / 2);
      const std::uint32_t duration = grid_ * (1 + random_.Below(4));
      const int key = root_ + static_cast<int>(random_.Below(25)) - 12;
      const int velocity = 40 + static_cast<int>(random_.Below(88));
      static const int kChord[] = {0, 4, 7, 12};
      for (std::uint32_t j = 0; j < size; ++j) {
        const int k = std::clamp(key + kChord[j], 0, 127);
        Queue(Channel(now_, 0x90 | channel_, k, velocity));
        const Off off{now_ + duration, static_cast<std::uint8_t>(k)};
        auto at = std::upper_bound(pending_.begin(), pending_.end(), off,
                                   [](const Off& a, const Off& b) { return a.tick < b.tick; });
        pending_.insert(at, off);
      }
      remaining_ -= size;
    }
    now_ += grid_ * (1 + random_.Below(3));
  }

  Random random_;
  int channel_ = 0;
  std::uint32_t grid_ = kDivision;
  bool offAsNoteOn_ = false;
  int root_ = 60;
  std::uint32_t now_ = 0;
  std::uint32_t last_ = 0;
  std::uint32_t remaining_ = 0;  // events still to come, end-of-track not counted
  std::vector<Off> pending_;     // note-offs by tick
  std::vector<Event> queue_;
  std::size_t head_ = 0;
  bool done_ = false;
};

// One track chunk's body in memory, so that its length is known before it is written.
class TrackBytes {
 public:
  void Add(const Event& e) {
    Delta(e.tick - now_);
    now_ = e.tick;
    if (e.status < 0xF0) {
      if (e.status != running_)
        bytes_.push_back(e.status);
      running_ = e.status;
    } else {
      bytes_.push_back(e.status);
      running_ = 0;
    }
    bytes_.insert(bytes_.end(), e.data, e.data + e.length);
    ++events_;
  }
  bool WriteChunk(std::FILE* out) const {
    const auto n = static_cast<std::uint32_t>(bytes_.size());
    const unsigned char prefix[8] = {'M',
                                     'T',
                                     'r',
                                     'k',
                                     static_cast<unsigned char>(n >> 24),
                                     static_cast<unsigned char>(n >> 16),
                                     static_cast<unsigned char>(n >> 8),
                                     static_cast<unsigned char>(n)};
    return std::fwrite(prefix, 1, 8, out) == 8 &&
           std::fwrite(bytes_.data(), 1, bytes_.size(), out) == bytes_.size();
  }
  std::uint64_t events() const { return events_; }
  std::uint64_t size() const { return bytes_.size() + 8; }
  std::uint32_t now() const { return now_; }

 private:
  void Delta(std::uint32_t v) {
    if (v >= 0x200000)
      bytes_.push_back(static_cast<std::uint8_t>(0x80 | (v >> 21)));
    if (v >= 0x4000)
      bytes_.push_back(static_cast<std::uint8_t>(0x80 | ((v >> 14) & 0x7F)));
    if (v >= 0x80)
      bytes_.push_back(static_cast<std::uint8_t>(0x80 | ((v >> 7) & 0x7F)));
    bytes_.push_back(static_cast<std::uint8_t>(v & 0x7F));
  }

  std::vector<std::uint8_t> bytes_;
  std::uint32_t now_ = 0;
  std::uint8_t running_ = 0;
  std::uint64_t events_ = 0;
};

const char kUsage[] =
    "usage: smfgen [--format 0|1] [--tracks N] [--events M] [--seed S] OUT\n"
    "  writes a synthetic SMF with M events in total (default 100000) over N\n"
    "  voices (default 16); format 1 (default) has one track per voice.\n";

bool Number(const char* text, unsigned long long max, unsigned long long* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v > max)
    return false;
  *value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long format = 1, tracks = 16, events = 100000, seed = 1;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    unsigned long long* target = nullptr;
    unsigned long long max = 0;
    if (arg == "--format") {
      target = &format, max = 1;
    } else if (arg == "--tracks") {
      target = &tracks, max = 65535;
    } else if (arg == "--events") {
      target = &events, max = 2000000000ull;
    } else if (arg == "--seed") {
      target = &seed, max = ~0ull;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (path == nullptr && (arg.empty() || arg[0] != '-')) {
      path = argv[i];
      continue;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
    if (i + 1 >= argc || !Number(argv[++i], max, target) || (target == &tracks && tracks == 0)) {
      std::fprintf(stderr, "smfgen: bad value for %s\n", arg.c_str());
      return 2;
    }
  }
  if (path == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  // Format 0 drops every voice's end-of-track but one; the voices make up for it.
  const std::uint64_t voiceEvents = format == 0 ? events + tracks - 1 : events;
  std::vector<Voice> voices;
  voices.reserve(tracks);
  for (unsigned k = 0; k < tracks; ++k) {
    const std::uint64_t share = voiceEvents / tracks + (k < voiceEvents % tracks ? 1 : 0);
    voices.emplace_back(seed, k, static_cast<std::uint32_t>(share));
  }

  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "smfgen: %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
  const unsigned chunks = format == 0 ? 1u : static_cast<unsigned>(tracks);
  const unsigned char header[14] = {'M',
                                    'T',
                                    'h',
                                    'd',
                                    0,
                                    0,
                                    0,
                                    6,
                                    0,
                                    static_cast<unsigned char>(format),
                                    static_cast<unsigned char>(chunks >> 8),
                                    static_cast<unsigned char>(chunks),
                                    static_cast<unsigned char>(kDivision >> 8),
                                    static_cast<unsigned char>(kDivision & 0xFF)};
  bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;
  std::uint64_t total = sizeof header;
  std::uint64_t written = 0;
  Event e;
  if (format == 1) {
    for (Voice& voice : voices) {
      TrackBytes track;
      while (voice.Next(&e))
        track.Add(e);
      ok = ok && track.WriteChunk(out);
      total += track.size();
      written += track.events();
    }
  } else {
    // Merge by (tick, voice): the heap holds each voice's next event.
    std::vector<Event> next(voices.size());
    using Key = std::pair<std::uint32_t, unsigned>;
    std::priority_queue<Key, std::vector<Key>, std::greater<Key>> heap;
    for (unsigned k = 0; k < voices.size(); ++k) {
      if (voices[k].Next(&next[k]))
        heap.push({next[k].tick, k});
    }
    TrackBytes track;
    Event endOfTrack = Long(0, 0xFF, 0x2F, std::string());
    while (!heap.empty()) {
      const unsigned k = heap.top().second;
      heap.pop();
      if (next[k].IsEndOfTrack()) {
        endOfTrack.tick = std::max(endOfTrack.tick, next[k].tick);
      } else {
        track.Add(next[k]);
      }
      if (voices[k].Next(&next[k]))
        heap.push({next[k].tick, k});
    }
    endOfTrack.tick = std::max(endOfTrack.tick, track.now());
    track.Add(endOfTrack);
    ok = ok && track.WriteChunk(out);
    total += track.size();
    written += track.events();
  }
  if (std::fclose(out) != 0)
    ok = false;
  if (!ok) {
    std::fprintf(stderr, "smfgen: %s: write failed\n", path);
    return 1;
  }
  std::printf("%s: format %llu, %u track%s, %llu events, %llu bytes\n", path, format, chunks,
              chunks == 1 ? "" : "s", static_cast<unsigned long long>(written),
              static_cast<unsigned long long>(total));
  return 0;
}
