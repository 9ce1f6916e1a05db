// Runs a fuzz target's entry point without libFuzzer, so that any compiler
// (and a debugger) can replay inputs: with no arguments, the generated seed
// corpus; otherwise each file, and each file in each folder, given.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "Seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<FuzzSeed> inputs = argc == 1 ? MakeSeeds() : std::vector<FuzzSeed>();
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files{arg};
    if (std::filesystem::is_directory(arg)) {
      files.clear();
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file())
          files.push_back(entry.path());
      }
    }
    for (const std::filesystem::path& file : files) {
      if (!std::filesystem::is_regular_file(file)) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return 1;
      }
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
