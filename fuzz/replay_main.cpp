// Runs a fuzz target's entry point without libFuzzer, so that any compiler
// (and a debugger) can replay inputs: with no arguments, the generated seed
// corpus; otherwise each file, and each file in each folder, given.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "Seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<FuzzSeed> inputs = argc == 1 ? MakeSeeds() : std::vector<FuzzSeed>();
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files{argv[i]};
    if (fs::is_directory(files[0]))
      files.assign(fs::directory_iterator(files[0]), fs::directory_iterator());
    for (const fs::path& file : files) {
      if (!fs::is_regular_file(file) && !fs::is_directory(argv[i])) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return 1;
      }
      if (fs::is_regular_file(file))
        inputs.push_back({file.string(), smftest::ReadFile(file.string())});
    }
  }
  for (const FuzzSeed& input : inputs) {
    std::fprintf(stderr, "replay: %s\n", input.name.c_str());
    LLVMFuzzerTestOneInput(input.bytes.data(), input.bytes.size());
  }
  // A finding aborts inside the entry point; reaching here means none.
  std::printf("replayed %zu inputs without a finding\n", inputs.size());
  return 0;
}
