#include "Messages.h"

#include <cstdio>

namespace {

std::string Last;

}  // namespace

void PrintMessage(ttWindow owner, const char* text, const char* /*caption*/, unsigned /*style*/) {
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  const char* subject = owner != nullptr ? static_cast<const char*>(owner) : "";
  std::fprintf(stderr, "smftempo: %s: %s\n", subject, line.c_str());
  Last = line;
}

ttWindow About(const std::string& subject) {
  return const_cast<void*>(static_cast<const void*>(subject.c_str()));
}

void Tell(const std::string& subject, const std::string& text) {
  PrintMessage(About(subject), text.c_str(), nullptr, 0);
}

const std::string& LastMessage() {
  return Last;
}
