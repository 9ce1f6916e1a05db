#include "Messages.h"

#include <cstdio>

namespace {

std::string Last;
std::string LastHintText;
bool ProgressShown = false;

void PrintLine(const std::string& subject, const std::string& text) {
  ClearProgress();
  std::fprintf(stderr, "smftempo: %s: %s\n", subject.c_str(), text.c_str());
}

}  // namespace

void PrintMessage(ttWindow owner, const char* text, const char* /*caption*/, unsigned /*style*/) {
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  PrintLine(owner != nullptr ? static_cast<const char*>(owner) : "", line);
  Last = line;
  LastHintText.clear();
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
  PrintLine(subject, text);
}

void ShowProgress(const std::string& subject, const char* stage) {
  std::fprintf(stderr, "\r\033[Ksmftempo: %s: %s", subject.c_str(), stage);
  ProgressShown = true;
}

void ClearProgress() {
  if (ProgressShown)
    std::fprintf(stderr, "\r\033[K");
  ProgressShown = false;
}

const std::string& LastMessage() {
  return Last;
}

const std::string& LastHint() {
  return LastHintText;
}
