// Runs a fuzz target's entry point without libFuzzer, so that any compiler
// (and a debugger) can replay inputs: with no arguments, the generated seed
// corpus; otherwise each file, and each file in each folder, given.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "Seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return 1;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  std::fprintf(stderr, "replay: %s\n", path.c_str());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  int failures = 0;
  if (argc == 1) {
    for (const FuzzSeed& seed : MakeSeeds()) {
      LLVMFuzzerTestOneInput(seed.bytes.data(), seed.bytes.size());
      ++count;
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (!entry.is_regular_file())
          continue;
        failures += Replay(entry.path());
        ++count;
      }
    } else {
      failures += Replay(arg);
      ++count;
    }
  }
  // A finding aborts inside the entry point; reaching here means none.
  std::printf("replayed %zu inputs without a finding\n", count);
  return failures == 0 ? 0 : 1;
}
