#pragma once
// Converting the loaded source and writing the result, shared by the dialog's
// save command and the command-line converter.

#include <cstdint>

#include "Platform.h"
#include "ttByteArray.h"

// Checks that the new BPM gives a tempo the tempo event can hold, converts
// CurrentSequence from the loaded source and builds the output image. On a
// refusal shows the message (owned by `window`) and returns false.
bool ConvertAndBuildImage(ttWindow window, double bpm, ttByteArray& image, std::uint32_t& size);

// Writes data[0..size) to a new file beside `path` and renames it over `path`.
// On failure removes the new file, leaves any existing file at `path` as it
// was, shows the system's text for the error and returns false.
bool WriteFileReplacing(ttWindow window, const char* path, const std::uint8_t* data,
                        std::uint32_t size);
