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

  std::map<std::string, std::vector<std::uint8_t>> files;  // by path

  // Error codes injected per step (0: the step succeeds).
  std::uint32_t openError = 0, sizeError = 0, readError = 0;
  std::uint32_t createError = 0, writeError = 0, closeError = 0, replaceError = 0;
  std::uint64_t reportedSize = 0;  // when set, the size of every opened file

  // Answers of the open and save dialogs, in order; an empty string cancels.
  // While dialogError is set, each dialog takes its answer and fails with it.
  std::deque<std::string> openAnswers, saveAnswers;
  std::uint32_t dialogError = 0;
  int openDialogCalls = 0, saveDialogCalls = 0;
  std::map<int, std::string> fields;  // the dialog's fields by control id

  // Codes the system has no text for; any other gets SystemText(code).
  std::vector<std::uint32_t> unknownCodes;
  static std::string SystemText(std::uint32_t code);  // "system text N\r\n"

  std::vector<RecordedMessage> messages;
  std::vector<std::string> Texts() const;  // of the messages, in order
  // Temporary files that exist right now (created, not yet renamed or removed).
  std::vector<std::string> liveTemps;
  // Files opened (openRead, createTemp) and not yet closed (closeFile, closeWritten).
  int openFiles = 0;

 private:
  const ttPlatform* previous_;
  ttPlatform table_;
};
