#pragma once
// Converting the loaded source and writing the result, shared by the dialog's
// save command and the command-line converter. Each step shows its own
// refusal (owned by `window`) and returns false.

#include <cstdint>

#include "Platform.h"
#include "SmfImage.h"  // ttSmfLimit
#include "ttByteArray.h"

// Checks that the BPM gives a tempo a tempo event can hold and converts
// CurrentSequence, always starting from the loaded source.
bool ConvertLoadedSource(ttWindow window, double bpm);

// The user's words for the limit of the format that made the writer refuse
// a sequence. The track count is an internal error: loading merges every
// track into one, so the dialogs never reach it.
const char* SmfLimitText(ttSmfLimit limit);

// Builds the output image of CurrentSequence into `image`; `size` receives
// its length. Refuses a sequence that cannot be written as an SMF, and an
// image that our own reader would not accept (an internal error: the image
// is released and nothing may be written).
bool BuildOutputImage(ttWindow window, ttByteArray& image, std::uint32_t& size);

// Writes data[0..size) to a new file beside `path` and renames it over `path`.
// On failure removes the new file, leaves any existing file at `path` as it
// was and shows the system's text for the error.
bool WriteFileReplacing(ttWindow window, const char* path, const std::uint8_t* data,
                        std::uint32_t size);
