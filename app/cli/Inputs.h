#pragma once
// The files a command line names: each input as given, and with --out-dir
// the SMFs in a folder given as an input (with -r those of its subfolders
// too, the tree mirrored under --out-dir).

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"

struct ttInputFile {
  std::string path;
  std::string output;             // empty in a dry run without -o or --out-dir
  std::string subfolder;          // under --out-dir, the folders the output goes in: "a/b/"
  std::uint32_t folderError = 0;  // a folder that could not be read: path names it
};

// Every file to convert or inspect, in the order of the command line; a
// folder's files in byte order of their names.
std::vector<ttInputFile> ListInputs(const ttCliOptions& options);

// Creates the subfolders of --out-dir the output goes in; false after the
// system's text for the error.
bool MakeOutputFolders(const ttCliOptions& options, const ttInputFile& file);
