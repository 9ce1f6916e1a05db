// Writes the generated seed corpus into a folder, one file per seed, for
// libFuzzer's corpus and for running the converter over real files.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: smf_seeds FOLDER\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  for (const FuzzSeed& seed : MakeSeeds()) {
    std::ofstream out(std::filesystem::path(argv[1]) / (seed.name + ".mid"), std::ios::binary);
    if (!out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                   static_cast<std::streamsize>(seed.bytes.size()))) {
      std::fprintf(stderr, "smf_seeds: cannot write %s\n", seed.name.c_str());
      return 1;
    }
  }
  return 0;
}
