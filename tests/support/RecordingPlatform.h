#pragma once
// A test double for the platform seam: files live in memory, every failure
// can be injected by step, file dialogs answer from queues, dialog fields are
// a map, and every message box is recorded. Constructing one installs it as
// Platform; destroying it puts the previous table back.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "Platform.h"

struct RecordedMessage {
  ttWindow owner;
  std::string text;
  std::string caption;
  unsigned style;
};

class RecordingPlatform {
 public:
  RecordingPlatform();
  virtual ~RecordingPlatform();
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  // Files by path. A path in `folders` exists but cannot be read as a file.
  std::map<std::string, std::vector<std::uint8_t>> files;

  // Error codes injected per step (0: the step succeeds).
  std::uint32_t openError = 0;
  std::uint32_t sizeError = 0;
  std::uint32_t readError = 0;
  std::uint32_t createError = 0;
  std::uint32_t writeError = 0;
  std::uint32_t closeError = 0;
  std::uint32_t replaceError = 0;
  // When set, the size reported for every opened file.
  std::uint64_t reportedSize = 0;

  // Answers of the open and save dialogs, in order; an empty string cancels.
  std::deque<std::string> openAnswers;
  std::deque<std::string> saveAnswers;
  // Texts of the dialog's fields by control id.
  std::map<int, std::string> fields;

  // What the system would say for a code: "system text N\r\n" for any code
  // not in unknownCodes.
  std::vector<std::uint32_t> unknownCodes;

  std::vector<RecordedMessage> messages;
  // Paths of temporary files that exist right now (created, not yet renamed
  // or removed).
  std::vector<std::string> liveTemps;
  int saveDialogCalls = 0;
  int openDialogCalls = 0;

  // The texts of the recorded messages, in order.
  std::vector<std::string> Texts() const;

  static std::string SystemText(std::uint32_t code);

 private:
  const ttPlatform* previous_;
  ttPlatform table_;
};
