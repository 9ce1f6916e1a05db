#pragma once
// The seed corpus, made by the project's own code at build or run time so that
// no binary file is committed: generated realistic files of every shape the
// loader meets, and small hand-made files at the edges of the format.

#include <string>
#include <vector>

#include "SmfBuilder.h"

struct FuzzSeed {
  std::string name;
  smftest::Bytes bytes;
};

std::vector<FuzzSeed> MakeSeeds();
