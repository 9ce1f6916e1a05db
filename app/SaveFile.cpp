#include "SaveFile.h"

#include <string>

#include "SmfImage.h"
#include "SmfValidator.h"
#include "TempoConversion.h"
#include "Texts.h"

const char* SmfLimitText(ttSmfLimit limit) {
  switch (limit) {
    case ttSmfLimit::kDeltaTime:  // rescaled gaps between events too long for a delta time
      return TT_TEXT_TIME_OVERFLOW;
    case ttSmfLimit::kSize:
      return TT_TEXT_OUTPUT_TOO_LARGE;
    case ttSmfLimit::kTrackCount:  // loading merges every track into one: a fault of ours
      break;
  }
  return TT_TEXT_INTERNAL_ERROR;
}

bool ConvertLoadedSource(ttWindow window, double bpm) {
  switch (ConvertTempo(bpm)) {
    case ttConvertResult::kOk:
      return true;
    case ttConvertResult::kTempoOutOfRange:
      ShowErrorMessage(window, TT_TEXT_TEMPO_OUT_OF_RANGE);
      return false;
    case ttConvertResult::kTimeOverflow:
      ShowErrorMessage(window, TT_TEXT_TIME_OVERFLOW);
      return false;
  }
  return false;
}

bool BuildOutputImage(ttWindow window, ttByteArray& image, std::uint32_t& size) {
  ttSmfLimit limit = ttSmfLimit::kDeltaTime;
  size = BuildSmfImage(image, &limit);
  if (size == 0) {
    // Writing it would give a file no reader accepts.
    ShowErrorMessage(window, SmfLimitText(limit));
    return false;
  }
  // Nothing our own reader would refuse may reach the disk. A refusal here is
  // a fault of ours, not of the file, so the user is told so and nothing is
  // written.
  if (size != image.length || ValidateSmfImage(image.data, size).fault != ttSmfFault::kOk) {
    image.Resize(0, 1);
    size = 0;
    ShowErrorMessage(window, TT_TEXT_INTERNAL_ERROR);
    return false;
  }
  return true;
}

bool WriteFileReplacing(ttWindow window, const char* path, const std::uint8_t* data,
                        std::uint32_t size) {
  std::string temp;
  ttFile file = 0;
  std::uint32_t error = Platform->createTemp(path, &temp, &file);
  if (error != 0) {
    ShowSystemError(window, error);
    return false;
  }
  error = Platform->writeAll(file, data, size);
  const std::uint32_t closeError = Platform->closeWritten(file);
  if (error == 0)
    error = closeError;
  // Only a complete file replaces the target, so a failure at any step leaves
  // what was there before.
  if (error == 0)
    error = Platform->replaceFile(temp.c_str(), path);
  if (error != 0) {
    Platform->removeFile(temp.c_str());
    ShowSystemError(window, error);
    return false;
  }
  return true;
}
