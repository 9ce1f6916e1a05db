// smfbench: runs the converter's job on one file stage by stage, with the
// same functions the programs use, and prints each stage's time, events per
// second, nanoseconds per event, CPU time, page faults and the resident
// memory after it.
//
//   smfbench [--bpm BPM] IN [OUT]
//
// OUT defaults to IN.bench.mid, removed afterwards. Figures only: the program
// fails only when the job itself fails.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PosixPlatform.h"
#include "SaveFile.h"
#include "SmfImage.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "ttSmfParser.h"

namespace {

using Clock = std::chrono::steady_clock;

double MiB(double bytes) {
  return bytes / (1024.0 * 1024.0);
}

// Resident set now, from /proc; 0 where it cannot be read.
double ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr)
    return 0;
  unsigned long pages = 0, resident = 0;
  const int n = std::fscanf(f, "%lu %lu", &pages, &resident);
  std::fclose(f);
  return n == 2 ? static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) : 0;
}

double PeakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;  // Linux reports KiB
}

void Message(ttWindow, const char* text, const char*, unsigned) {
  std::fprintf(stderr, "smfbench: %s\n", text);
}

// User and system time of this process: on a busy machine the wall time of a
// stage also holds other programs' turns.
double CpuMs() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double SystemMs() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) * 1e3 +
         static_cast<double>(usage.ru_stime.tv_usec) / 1e3;
}

// Page faults so far: minor (a page mapped on first touch, zeroed by the
// system) and major (one read from disk). A minor fault costs about a
// microsecond of system time, so a stage that touches fresh memory a 4 KiB
// page at a time shows it here and in the system share.
struct Faults {
  long minor;
  long major;
};

Faults FaultsNow() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return {usage.ru_minflt, usage.ru_majflt};
}

struct Stage {
  const char* name;
  double ms;
  double cpuMs;
  double systemMs;
  long minorFaults;
  long majorFaults;
  double resident;
};

class Stages {
 public:
  Stages()
      : last_(Clock::now()), lastCpu_(CpuMs()), lastSystem_(SystemMs()), lastFaults_(FaultsNow()) {}
  void Done(const char* name) {
    const auto now = Clock::now();
    const double cpu = CpuMs();
    const double system = SystemMs();
    const Faults faults = FaultsNow();
    stages_.push_back({name, std::chrono::duration<double, std::milli>(now - last_).count(),
                       cpu - lastCpu_, system - lastSystem_, faults.minor - lastFaults_.minor,
                       faults.major - lastFaults_.major, ResidentBytes()});
    last_ = Clock::now();  // the /proc read is not part of the next stage
    lastCpu_ = CpuMs();
    lastSystem_ = SystemMs();
    lastFaults_ = FaultsNow();
  }
  void Print(double events) const {
    std::printf("%-14s %10s %10s %12s %10s %10s %10s %8s %10s\n", "stage", "ms", "ns/event",
                "Mevents/s", "cpu ms", "of it sys", "minflt", "majflt", "RSS MiB");
    double total = 0;
    double totalCpu = 0;
    long totalMinor = 0;
    long totalMajor = 0;
    for (const Stage& s : stages_) {
      total += s.ms;
      totalCpu += s.cpuMs;
      totalMinor += s.minorFaults;
      totalMajor += s.majorFaults;
      std::printf("%-14s %10.1f %10.2f %12.1f %10.1f %10.1f %10ld %8ld %10.1f\n", s.name, s.ms,
                  s.ms * 1e6 / events, s.ms > 0 ? events / (s.ms * 1e3) : 0.0, s.cpuMs, s.systemMs,
                  s.minorFaults, s.majorFaults, MiB(s.resident));
    }
    std::printf("%-14s %10.1f %10.2f %12.1f %10.1f %10s %10ld %8ld\n", "total", total,
                total * 1e6 / events, total > 0 ? events / (total * 1e3) : 0.0, totalCpu, "",
                totalMinor, totalMajor);
  }

 private:
  Clock::time_point last_;
  double lastCpu_;
  double lastSystem_;
  Faults lastFaults_;
  std::vector<Stage> stages_;
};

int Fail(const char* what, const char* path) {
  std::fprintf(stderr, "smfbench: %s: %s\n", path, what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  double bpm = 90.0;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bpm") == 0 && i + 1 < argc) {
      bpm = std::atof(argv[++i]);
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.empty() || paths.size() > 2) {
    std::fputs("usage: smfbench [--bpm BPM] IN [OUT]\n", stderr);
    return 2;
  }
  const std::string& input = paths[0];
  const bool keepOutput = paths.size() == 2;
  const std::string output = keepOutput ? paths[1] : input + ".bench.mid";

  ttPlatform table = PosixPlatform();
  table.messageBox = Message;
  Platform = &table;

  Stages stages;

  // read: the whole file in one block, as loading does.
  ttFile file = 0;
  std::uint64_t size = 0;
  if (Platform->openRead(input.c_str(), &file) != 0)
    return Fail("cannot open", input.c_str());
  if (Platform->fileSize(file, &size) != 0 || size > 0xFFFFFFFFu) {
    return Fail("cannot size", input.c_str());
  }
  const auto wanted = static_cast<std::uint32_t>(size);
  ttByteArray image;
  image.Resize(wanted, 4);
  std::uint32_t got = 0;
  const std::uint32_t readError = Platform->readFile(file, image.data, wanted, &got);
  Platform->closeFile(file);
  if (readError != 0)
    return Fail("cannot read", input.c_str());
  stages.Done("read");

  {
    ttSmfParser parser;
    if (!parser.Parse(image.data, got))
      return Fail("not a valid SMF", input.c_str());
  }
  stages.Done("parse");

  // Counted outside the timed stages: one walk in memory order.
  double events = 0;
  const std::size_t tracks = CurrentSequence.tracks.size();
  for (const ttSmfTrack& track : CurrentSequence.tracks)
    events += static_cast<double>(track.size());
  // merge: the rest of loading, the checks, the merge and the tempo search.
  ResetConversionState();
  if (!AcceptParsedSource(nullptr))
    return Fail("not convertible", input.c_str());
  image.Resize(0, 1);  // loading gives the file image back once the sequence is whole
  stages.Done("merge");

  if (!ConvertLoadedSource(nullptr, bpm))
    return Fail("conversion refused", input.c_str());
  stages.Done("convert");

  ttByteArray out;
  std::uint32_t outSize = 0;
  if (!BuildOutputImage(nullptr, out, outSize))
    return Fail("cannot be written", input.c_str());
  stages.Done("measure+emit");

  if (!WriteFileReplacing(nullptr, output.c_str(), out.data, outSize)) {
    return Fail("write failed", output.c_str());
  }
  stages.Done("write");

  const double peakBeforeRelease = PeakResidentBytes();
  out.Resize(0, 1);
  CurrentSequence.Clear();
  ResetConversionState();
  stages.Done("release");

  std::printf("%s: %.0f events in %zu track%s, %.1f MB in, %.1f MB out, %.4g BPM -> %.4g BPM\n",
              input.c_str(), events, tracks, tracks == 1 ? "" : "s",
              static_cast<double>(size) / 1e6, static_cast<double>(outSize) / 1e6, SourceBpm, bpm);
  stages.Print(events);
  std::printf("peak RSS %.1f MiB, %.1f bytes/event\n", MiB(peakBeforeRelease),
              peakBeforeRelease / events);
  if (!keepOutput)
    Platform->removeFile(output.c_str());
  return 0;
}
