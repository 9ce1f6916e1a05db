#include "Streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>  // std::bad_alloc
#include <vector>

#include "Messages.h"
#include "PosixPlatform.h"

namespace {

// A descriptor no open() returns: reads come from the bytes taken in.
constexpr ttFile kStandardInput = -2;

ttPlatform Posix;

// Standard input, read whole on the first open: a pipe has no size to ask
// and cannot be read twice. More than 4 GiB is never kept: the size then
// says 2^32 and loading refuses the file as too large.
struct StandardInput {
  bool read = false;
  std::uint32_t error = 0;
  std::vector<std::uint8_t> bytes;
  std::uint64_t size = 0;
  std::size_t position = 0;
};
StandardInput Input;

std::uint32_t ReadStandardInput() {
  constexpr std::uint64_t kLimit = 0xFFFFFFFFu;
  std::uint8_t block[65536];
  for (;;) {
    const ssize_t got = ::read(0, block, sizeof block);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return static_cast<std::uint32_t>(errno);
    if (got == 0)
      return 0;
    const auto n = static_cast<std::uint64_t>(got);
    if (Input.size + n > kLimit) {
      Input.bytes.clear();
      Input.bytes.shrink_to_fit();
      Input.size = kLimit + 1;
      return 0;
    }
    try {
      Input.bytes.insert(Input.bytes.end(), block, block + got);
    } catch (const std::bad_alloc&) {
      // Nothing half read may stand for the input: it is refused whole.
      Input.bytes.clear();
      Input.bytes.shrink_to_fit();
      return ENOMEM;
    }
    Input.size += n;
  }
}

std::uint32_t OpenRead(const char* path, ttFile* file) {
  if (!IsStandardStream(path))
    return Posix.openRead(path, file);
  if (!Input.read) {
    Input.read = true;
    Input.error = ReadStandardInput();
  }
  if (Input.error != 0)
    return Input.error;
  Input.position = 0;
  *file = kStandardInput;
  return 0;
}

std::uint32_t FileSize(ttFile file, std::uint64_t* size) {
  if (file != kStandardInput)
    return Posix.fileSize(file, size);
  *size = Input.size;
  return 0;
}

std::uint32_t ReadFile(ttFile file, void* data, std::uint32_t n, std::uint32_t* got) {
  if (file != kStandardInput)
    return Posix.readFile(file, data, n, got);
  const std::size_t left = Input.bytes.size() - Input.position;
  const std::size_t count = n < left ? n : left;
  if (count != 0)
    std::memcpy(data, Input.bytes.data() + Input.position, count);
  Input.position += count;
  *got = static_cast<std::uint32_t>(count);
  return 0;
}

void CloseFile(ttFile file) {
  if (file != kStandardInput)
    Posix.closeFile(file);
}

// Asked only when a system error is about to be shown: the file failed,
// it was not refused.
bool SystemErrorText(std::uint32_t code, std::string* text) {
  NoteSystemError();
  return Posix.systemErrorText(code, text);
}

}  // namespace

bool IsStandardStream(const std::string& path) {
  return path == "-";
}

ttPlatform CommandLinePlatform() {
  Posix = PosixPlatform();
  ttPlatform table = Posix;
  table.openRead = OpenRead;
  table.fileSize = FileSize;
  table.readFile = ReadFile;
  table.closeFile = CloseFile;
  table.systemErrorText = SystemErrorText;
  table.messageBox = PrintMessage;
  return table;
}

bool WriteStandardOutput(ttWindow window, const std::uint8_t* data, std::uint32_t size) {
  std::fflush(stdout);  // what stdio still holds goes first
  const std::uint32_t error = Posix.writeAll(1, data, size);
  if (error != 0) {
    ShowSystemError(window, error);
    return false;
  }
  return true;
}
