// The converter against files built to exhaust it, run as a user runs it, in
// a child process whose peak memory the kernel reports: lengths announced
// far beyond the bytes present are refused without taking memory for them,
// huge counts of tiny events cost memory in proportion to the file, and
// running out of memory on one file of a batch fails that file only.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "TempFolder.h"

#if defined(__SANITIZE_ADDRESS__)
#define TT_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TT_UNDER_ASAN 1
#endif
#endif

namespace {

namespace fs = std::filesystem;
using smftest::Bytes;
using smftest::Concat;
const Bytes EOT = smftest::EndOfTrack();

struct ChildRun {
  int status;              // exit status, -1 when killed
  std::uint64_t peakKiB;   // peak resident memory
  std::string stderrText;  // what it said
};

// Runs smftempo with `args`, its stderr going to `errors`; `addressLimit`
// (bytes, 0 for none) caps its address space.
ChildRun Smftempo(const std::vector<std::string>& args, const std::string& errors,
                  std::uint64_t addressLimit = 0) {
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit limit{addressLimit, addressLimit};
    if ((addressLimit != 0 && ::setrlimit(RLIMIT_AS, &limit) != 0) ||
        std::freopen(errors.c_str(), "w", stderr) == nullptr)
      ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(TT_SMFTEMPO)};
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TT_SMFTEMPO, argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  std::ifstream in(errors);
  return ChildRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                  static_cast<std::uint64_t>(usage.ru_maxrss),
                  std::string(std::istreambuf_iterator<char>(in), {})};
}

using smftest::ChunkHead;
const Bytes kHeader1 = smftest::Header(1, 1, 96);

// One track of `events` program changes of two bytes (a one-byte delta, one
// data byte under running status): the most events per byte a file can hold.
Bytes TinyEvents(std::uint32_t events) {
  Bytes body = smftest::Hex("00 FF510307A120 00 C005");
  for (std::uint32_t i = 1; i < events; ++i)
    body.insert(body.end(), {0x01, static_cast<std::uint8_t>(i & 0x7F)});
  return Concat(
      {smftest::Header(0, 1, 96), smftest::TrackChunk(Concat({body, Concat({{0}, EOT})}))});
}

class HostileSizes : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef TT_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer's shadow memory hides the converter's own footprint";
#endif
    ASSERT_TRUE(folder_.Made());
  }
  std::string Put(const std::string& name, const Bytes& bytes) {
    return folder_.Put(name, bytes);
  }
  std::string Out(const std::string& name) {
    return folder_.Path(name);
  }
  ChildRun Run(const std::vector<std::string>& args, std::uint64_t addressLimit = 0) {
    return Smftempo(args, Out("stderr.txt"), addressLimit);
  }
  smftest::TempFolder folder_;
};

// Lengths announced far beyond the bytes present are refused without taking
// memory for them; huge counts of tiny events convert in memory that follows
// the bytes of the file, not an announced length or a count squared.
TEST_F(HostileSizes, MemoryFollowsTheBytesPresent) {
  const struct {
    const char* why;
    Bytes file;
    bool converts = false;  // else refused as no valid SMF
  } kRows[] = {
      {"65,535 chunks announced, none present", smftest::Header(1, 0xFFFF, 96)},
      {"a track chunk announcing 4 GiB - 1",
       Concat({kHeader1, ChunkHead("MTrk", 0xFFFFFFFF), {0x00, 0x90, 0x3C}})},
      {"a foreign chunk announcing 4 GiB - 1", Concat({kHeader1, ChunkHead("XXXX", 0xFFFFFFFF)})},
      {"a sysex announcing 0x0FFFFFFF bytes",
       Concat({kHeader1, ChunkHead("MTrk", 0x0FFFFFFF), smftest::Hex("00 F0FFFFFF7F 01")})},
      {"a meta event announcing 0x0FFFFFFF bytes",
       Concat({kHeader1, ChunkHead("MTrk", 0x0FFFFFFF), smftest::Hex("00 FF01FFFFFF7F 01")})},
      {"a header announcing 4 GiB - 1 bytes",
       Concat({ChunkHead("MThd", 0xFFFFFFFF), {0, 0, 0, 1, 0, 96}})},
      {"two million events of two bytes", TinyEvents(2000000), true},
      {"65,535 tracks to merge",
       smftest::Smf(1, 96, std::vector<smftest::Track>(0xFFFF, {{0, EOT}})), true},
  };
  // What the program takes anyway, measured first: each child starts as a
  // copy of this process, whose memory counts in its peak.
  const ChildRun baseline =
      Run({"--bpm", "90", "-o", Out("base.mid"), Put("small.mid", TinyEvents(10))});
  ASSERT_EQ(baseline.status, 0) << baseline.stderrText;
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    const ChildRun run =
        Run({"--bpm", "90", "--force", "-o", Out("out.mid"), Put("in.mid", row.file)});
    const auto size = static_cast<double>(row.file.size());
    EXPECT_EQ(run.status, row.converts ? 0 : 1) << run.stderrText;
    if (!row.converts) {
      EXPECT_NE(run.stderrText.find("有効な SMF ではありません。"), std::string::npos);
      EXPECT_FALSE(fs::exists(Out("out.mid")));
    }
    const double aboveKiB =
        static_cast<double>(run.peakKiB) - static_cast<double>(baseline.peakKiB);
    if (row.converts) {
      const double perByte = aboveKiB * 1024.0 / size;
      std::printf("[ figure   ] %s: %.0f bytes, peak %.1f bytes of memory per input byte\n",
                  row.why, size, perByte);
      RecordProperty(row.why, std::to_string(perByte));
    }
    // Far above the model's (under 30 bytes a byte), and a mebibyte for what a run takes anyway.
    EXPECT_LT(aboveKiB, 1024.0 + 120.0 * size / 1024.0);
  }
}

// The converter's address space is capped below what the first file needs:
// that file fails with the message, the second one still converts.
TEST_F(HostileSizes, RunningOutOfMemoryFailsOnlyThatFileOfABatch) {
  fs::create_directory(Out("converted"));
  const std::string big = Put("big.mid", TinyEvents(4000000));
  const std::string small = Put("small.mid", TinyEvents(100));
  const ChildRun run =
      Run({"--bpm", "90", "--out-dir", Out("converted"), big, small}, std::uint64_t{160} << 20);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.stderrText.find("smftempo: " + big + ": メモリが不足しています。"),
            std::string::npos)
      << run.stderrText;
  EXPECT_EQ(folder_.Entries("converted"),
            std::set<std::string>{"small.mid"});  // no output, no temporary file
}

}  // namespace
