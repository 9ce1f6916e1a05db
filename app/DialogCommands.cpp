#include "DialogCommands.h"

#include <cstdio>  // std::snprintf
#include <new>     // std::bad_alloc

#include "BpmText.h"
#include "ControlIds.h"
#include "SaveFile.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"

bool SourceLoaded = false;

namespace {

// The typed BPM is read into a 128-byte buffer: at most 127 bytes count.
constexpr int kTempoFieldBufferSize = 128;

void ForgetSource() {
  SourceLoaded = false;
  CurrentSequence.Clear();
  ResetConversionState();
}

// Running out of memory while a large file loads is reported and leaves the
// dialog with no source, ready for the next command.
bool LoadReportingMemory(ttWindow window, const char* path) {
  try {
    return LoadSourceSmf(window, path);
  } catch (const std::bad_alloc&) {
    ForgetSource();
    ShowErrorMessage(window, TT_TEXT_OUT_OF_MEMORY);
    return false;
  }
}

// A file dialog that failed, rather than being cancelled (code 0), says so.
void ReportFileDialogError(ttWindow window, std::uint32_t code) {
  if (code == 0)
    return;
  char text[160];
  std::snprintf(text, sizeof text, TT_TEXT_FILE_DIALOG_FAILED, static_cast<unsigned>(code));
  ShowErrorMessage(window, text);
}

}  // namespace

void UpdateSourceDisplay(ttWindow window, const char* path) {
  Platform->setItemText(window, IDC_SOURCE_PATH, SourceLoaded ? path : "");
  Platform->setItemText(window, IDC_SOURCE_BPM,
                        SourceLoaded ? FormatBpmText(SourceBpm).c_str() : "");
}

void RunBrowseCommand(ttWindow window) {
  char path[kPathBufferSize] = {0};
  // What was loaded is gone even if the user cancels the open dialog.
  ForgetSource();
  std::uint32_t error = 0;
  if (Platform->openFileDialog(window, path, &error))
    SourceLoaded = LoadReportingMemory(window, path);
  else
    ReportFileDialogError(window, error);
  UpdateSourceDisplay(window, path);
}

void RunDropCommand(ttWindow window, const char* path) {
  ForgetSource();
  if (path != nullptr)
    SourceLoaded = LoadReportingMemory(window, path);
  UpdateSourceDisplay(window, path != nullptr ? path : "");
}

void RunSaveCommand(ttWindow window) {
  if (!SourceLoaded) {
    ShowErrorMessage(window, TT_TEXT_NO_SOURCE);
    return;
  }
  char text[kTempoFieldBufferSize] = {0};
  if (Platform->getItemText(window, IDC_TARGET_BPM, text, kTempoFieldBufferSize) == 0) {
    ShowErrorMessage(window, TT_TEXT_NO_TEMPO);
    return;
  }
  const double bpm = ParseBpmText(text);
  if (!(bpm >= 1.0)) {
    ShowErrorMessage(window, TT_TEXT_TEMPO_TOO_SMALL);
    return;
  }
  try {
    if (!ConvertLoadedSource(window, bpm))
      return;
    char path[kPathBufferSize] = {0};
    std::uint32_t error = 0;
    if (!Platform->saveFileDialog(window, path, &error)) {
      ReportFileDialogError(window, error);
      return;
    }
    ttByteArray image;
    std::uint32_t size = 0;
    if (!BuildOutputImage(window, image, size))
      return;
    WriteFileReplacing(window, path, image.data, size);
  } catch (const std::bad_alloc&) {
    // The loaded source stays loaded: every conversion starts from it again.
    ShowErrorMessage(window, TT_TEXT_OUT_OF_MEMORY);
  }
}
