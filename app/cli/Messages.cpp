#include "Messages.h"

#include <cstdio>

#include "Locale.h"

namespace {

std::string Last;
std::string LastHintText;
bool ProgressShown = false;
bool Quiet = false;
bool SystemErrorPending = false;
bool LastWasFailure = false;

void PrintLine(const std::string& subject, const std::string& text) {
  ClearProgress();
  std::fprintf(stderr, "smftempo: %s: %s\n", subject.c_str(), text.c_str());
}

}  // namespace

void PrintMessage(ttWindow owner, const char* text, const char* /*caption*/, unsigned /*style*/) {
  bool failure = false;
  std::string line(SharedText(text, &failure));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  PrintLine(owner != nullptr ? static_cast<const char*>(owner) : "", line);
  Last = line;
  LastHintText.clear();
  LastWasFailure = failure || SystemErrorPending;
  SystemErrorPending = false;
}

ttWindow About(const std::string& subject) {
  return const_cast<void*>(static_cast<const void*>(subject.c_str()));
}

void Tell(const std::string& subject, const std::string& text) {
  PrintMessage(About(subject), text.c_str(), nullptr, 0);
}

void Hint(const std::string& subject, const std::string& text) {
  PrintLine(subject, text);
  LastHintText = text;
}

void Remark(const std::string& subject, const std::string& text) {
  if (!Quiet)
    PrintLine(subject, text);
}

void ShowProgress(const std::string& subject, const char* stage) {
  if (Quiet)
    return;
  std::fprintf(stderr, "\r\033[Ksmftempo: %s: %s", subject.c_str(), stage);
  ProgressShown = true;
}

void ClearProgress() {
  if (ProgressShown)
    std::fprintf(stderr, "\r\033[K");
  ProgressShown = false;
}

void SetQuiet(bool quiet) {
  Quiet = quiet;
}

void Summary(std::size_t converted, std::size_t refused, std::size_t failed) {
  if (Quiet)
    return;
  ClearProgress();
  std::fprintf(stderr, "smftempo: ");
  std::fprintf(stderr, Tr("%zu converted, %zu refused, %zu failed"), converted, refused, failed);
  std::fprintf(stderr, "\n");
}

void NoteSystemError() {
  SystemErrorPending = true;
}

bool LastFailed() {
  return LastWasFailure;
}

const std::string& LastMessage() {
  return Last;
}

const std::string& LastHint() {
  return LastHintText;
}
