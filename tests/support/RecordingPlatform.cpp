#include "RecordingPlatform.h"

#include <algorithm>
#include <cstring>

namespace {

RecordingPlatform* Active = nullptr;

struct OpenFile {
  std::string path;
  std::vector<std::uint8_t> written;
  bool forWriting;
};
std::vector<OpenFile> OpenFiles;

OpenFile& FileOf(ttFile file) {
  return OpenFiles.at(static_cast<std::size_t>(file));
}

std::uint32_t OpenRead(const char* path, ttFile* file) {
  if (Active->openError != 0)
    return Active->openError;
  if (Active->files.count(path) == 0)
    return 2;  // "file not found" on every platform we run on
  OpenFiles.push_back(OpenFile{path, {}, false});
  *file = static_cast<ttFile>(OpenFiles.size() - 1);
  return 0;
}

std::uint32_t FileSize(ttFile file, std::uint64_t* size) {
  if (Active->sizeError != 0)
    return Active->sizeError;
  *size =
      Active->reportedSize != 0 ? Active->reportedSize : Active->files[FileOf(file).path].size();
  return 0;
}

std::uint32_t ReadFile(ttFile file, void* data, std::uint32_t n, std::uint32_t* got) {
  if (Active->readError != 0)
    return Active->readError;
  const std::vector<std::uint8_t>& bytes = Active->files[FileOf(file).path];
  const std::uint32_t count = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(bytes.size()));
  if (count != 0)
    std::memcpy(data, bytes.data(), count);
  *got = count;
  return 0;
}

void CloseFile(ttFile) {}

std::uint32_t CreateTemp(const char* target, std::string* tempPath, ttFile* file) {
  if (Active->createError != 0)
    return Active->createError;
  *tempPath = std::string(target) + ".tmp" + std::to_string(OpenFiles.size());
  Active->files[*tempPath] = {};
  Active->liveTemps.push_back(*tempPath);
  OpenFiles.push_back(OpenFile{*tempPath, {}, true});
  *file = static_cast<ttFile>(OpenFiles.size() - 1);
  return 0;
}

std::uint32_t WriteAll(ttFile file, const void* data, std::uint32_t n) {
  if (Active->writeError != 0)
    return Active->writeError;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  Active->files[FileOf(file).path].assign(bytes, bytes + n);
  return 0;
}

std::uint32_t CloseWritten(ttFile) {
  return Active->closeError;
}

void Forget(const std::string& path) {
  auto& temps = Active->liveTemps;
  temps.erase(std::remove(temps.begin(), temps.end(), path), temps.end());
}

std::uint32_t ReplaceFile(const char* source, const char* target) {
  if (Active->replaceError != 0)
    return Active->replaceError;
  Active->files[target] = Active->files[source];
  Active->files.erase(source);
  Forget(source);
  return 0;
}

void RemoveFile(const char* path) {
  Active->files.erase(path);
  Forget(path);
}

bool PathExists(const char* path) {
  return Active->files.count(path) != 0;
}

bool SystemErrorText(std::uint32_t code, std::string* text) {
  const auto& unknown = Active->unknownCodes;
  if (std::find(unknown.begin(), unknown.end(), code) != unknown.end())
    return false;
  *text = RecordingPlatform::SystemText(code);
  return true;
}

void MessageBox(ttWindow owner, const char* text, const char* caption, unsigned style) {
  Active->messages.push_back(RecordedMessage{owner, text, caption, style});
}

bool Answer(std::deque<std::string>& answers, char* path) {
  if (answers.empty())
    return false;
  const std::string answer = answers.front();
  answers.pop_front();
  if (answer.empty())
    return false;
  std::strncpy(path, answer.c_str(), kPathBufferSize - 1);
  path[kPathBufferSize - 1] = '\0';
  return true;
}

bool OpenFileDialog(ttWindow, char* path) {
  ++Active->openDialogCalls;
  return Answer(Active->openAnswers, path);
}

bool SaveFileDialog(ttWindow, char* path) {
  ++Active->saveDialogCalls;
  return Answer(Active->saveAnswers, path);
}

void SetItemText(ttWindow, int id, const char* text) {
  Active->fields[id] = text;
}

std::uint32_t GetItemText(ttWindow, int id, char* buffer, int max) {
  const std::string& text = Active->fields[id];
  const std::size_t count = std::min(text.size(), static_cast<std::size_t>(max - 1));
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

}  // namespace

RecordingPlatform::RecordingPlatform() : previous_(Platform), table_{} {
  table_.openRead = OpenRead;
  table_.fileSize = FileSize;
  table_.readFile = ReadFile;
  table_.closeFile = CloseFile;
  table_.createTemp = CreateTemp;
  table_.writeAll = WriteAll;
  table_.closeWritten = CloseWritten;
  table_.replaceFile = ReplaceFile;
  table_.removeFile = RemoveFile;
  table_.pathExists = PathExists;
  table_.systemErrorText = SystemErrorText;
  table_.messageBox = MessageBox;
  table_.openFileDialog = OpenFileDialog;
  table_.saveFileDialog = SaveFileDialog;
  table_.setItemText = SetItemText;
  table_.getItemText = GetItemText;
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
