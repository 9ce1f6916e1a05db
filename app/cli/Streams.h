#pragma once
// The platform table of the command line: the POSIX files, "-" for standard
// input and output, and the messages on stderr.

#include <cstdint>
#include <string>

#include "Platform.h"

// The name that stands for standard input (as an input) or standard output
// (as -o).
bool IsStandardStream(const std::string& path);

// The POSIX table with messages on stderr, where openRead("-") reads
// standard input; each time it is opened again it gives the same bytes.
ttPlatform CommandLinePlatform();

// Writes the whole image to standard output; false after the system's text
// for the error.
bool WriteStandardOutput(ttWindow window, const std::uint8_t* data, std::uint32_t size);
