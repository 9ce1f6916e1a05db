#include "RecordingPlatform.h"

#include <algorithm>
#include <cstring>

namespace {

RecordingPlatform* Active = nullptr;

// Paths of the files opened so far; a ttFile is an index here.
std::vector<std::string> OpenFiles;

std::vector<std::uint8_t>& ContentsOf(ttFile file) {
  return Active->files[OpenFiles.at(static_cast<std::size_t>(file))];
}

ttFile Open(const std::string& path) {
  ++Active->openFiles;
  OpenFiles.push_back(path);
  return static_cast<ttFile>(OpenFiles.size() - 1);
}

void Forget(const std::string& path) {
  auto& temps = Active->liveTemps;
  temps.erase(std::remove(temps.begin(), temps.end(), path), temps.end());
}

bool Answer(std::deque<std::string>& answers, char* path, std::uint32_t* error) {
  *error = Active->dialogError;
  if (answers.empty())
    return false;
  const std::string answer = answers.front().substr(0, kPathBufferSize - 1);
  answers.pop_front();
  if (answer.empty() || *error != 0)
    return false;
  std::strcpy(path, answer.c_str());
  return true;
}

}  // namespace

RecordingPlatform::RecordingPlatform() : previous_(Platform), table_{} {
  table_.openRead = [](const char* path, ttFile* file) -> std::uint32_t {
    if (Active->openError != 0)
      return Active->openError;
    if (Active->files.count(path) == 0)
      return 2;  // "file not found" on every platform we run on
    *file = Open(path);
    return 0;
  };
  table_.fileSize = [](ttFile file, std::uint64_t* size) {
    if (Active->sizeError == 0)
      *size = Active->reportedSize != 0 ? Active->reportedSize : ContentsOf(file).size();
    return Active->sizeError;
  };
  table_.readFile = [](ttFile file, void* data, std::uint32_t n, std::uint32_t* got) {
    const std::vector<std::uint8_t>& bytes = ContentsOf(file);
    if (Active->readError == 0) {
      *got = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(bytes.size()));
      std::copy_n(bytes.begin(), *got, static_cast<std::uint8_t*>(data));
    }
    return Active->readError;
  };
  table_.closeFile = [](ttFile) { --Active->openFiles; };
  table_.createTemp = [](const char* target, std::string* tempPath, ttFile* file) {
    if (Active->createError != 0)
      return Active->createError;
    *tempPath = std::string(target) + ".tmp" + std::to_string(OpenFiles.size());
    Active->files[*tempPath] = {};
    Active->liveTemps.push_back(*tempPath);
    *file = Open(*tempPath);
    return 0u;
  };
  table_.writeAll = [](ttFile file, const void* data, std::uint32_t n) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (Active->writeError == 0)
      ContentsOf(file).assign(bytes, bytes + n);
    return Active->writeError;
  };
  table_.closeWritten = [](ttFile) {
    --Active->openFiles;
    return Active->closeError;
  };
  table_.replaceFile = [](const char* source, const char* target) {
    if (Active->replaceError != 0)
      return Active->replaceError;
    Active->files[target] = Active->files[source];
    Active->files.erase(source);
    Forget(source);
    return 0u;
  };
  table_.removeFile = [](const char* path) {
    Active->files.erase(path);
    Forget(path);
  };
  table_.pathExists = [](const char* path) { return Active->files.count(path) != 0; };
  table_.systemErrorText = [](std::uint32_t code, std::string* text) {
    const auto& unknown = Active->unknownCodes;
    *text = SystemText(code);
    return std::find(unknown.begin(), unknown.end(), code) == unknown.end();
  };
  table_.messageBox = [](ttWindow owner, const char* text, const char* caption, unsigned style) {
    Active->messages.push_back(RecordedMessage{owner, text, caption, style});
  };
  table_.openFileDialog = [](ttWindow, char* path, std::uint32_t* error) {
    ++Active->openDialogCalls;
    return Answer(Active->openAnswers, path, error);
  };
  table_.saveFileDialog = [](ttWindow, char* path, std::uint32_t* error) {
    ++Active->saveDialogCalls;
    return Answer(Active->saveAnswers, path, error);
  };
  table_.setItemText = [](ttWindow, int id, const char* text) { Active->fields[id] = text; };
  table_.getItemText = [](ttWindow, int id, char* buffer, int max) {
    const std::string& text = Active->fields[id];
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(max - 1));
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<std::uint32_t>(count);
  };
  Active = this;
  OpenFiles.clear();
  Platform = &table_;
}

RecordingPlatform::~RecordingPlatform() {
  Platform = previous_;
  Active = nullptr;
}

std::vector<std::string> RecordingPlatform::Texts() const {
  std::vector<std::string> texts;
  for (const RecordedMessage& m : messages)
    texts.push_back(m.text);
  return texts;
}

std::string RecordingPlatform::SystemText(std::uint32_t code) {
  return "system text " + std::to_string(code) + "\r\n";
}
