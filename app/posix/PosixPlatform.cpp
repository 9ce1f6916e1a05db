#include "PosixPlatform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string.h>  // strerrordesc_np
#include <cerrno>
#include <cstdlib>  // mkstemp
#include <cstring>  // strerror
#include <string>

namespace {

int Descriptor(ttFile file) {
  return static_cast<int>(file);
}

std::uint32_t LastError() {
  return static_cast<std::uint32_t>(errno);
}

std::uint32_t OpenRead(const char* path, ttFile* file) {
  // Non-blocking, so that a FIFO with no writer cannot hold the open for ever
  // (nor a terminal become the controlling one); only a regular file is read.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return LastError();
  struct stat info {};
  std::uint32_t error = 0;
  if (::fstat(fd, &info) != 0) {
    error = LastError();
  } else if (S_ISDIR(info.st_mode)) {
    // A folder opens for reading on POSIX; reading it fails with EISDIR, the
    // message a user expects for it, so it is reported here at once.
    error = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    error = kErrorNotRegularFile;
  } else {
    // Reads block as usual from here (a regular file under a mandatory
    // lock would otherwise fail with EAGAIN).
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
      error = LastError();
  }
  if (error != 0) {
    ::close(fd);
    return error;
  }
  *file = fd;
  return 0;
}

std::uint32_t FileSize(ttFile file, std::uint64_t* size) {
  struct stat info {};
  if (::fstat(Descriptor(file), &info) != 0)
    return LastError();
  *size = static_cast<std::uint64_t>(info.st_size);
  return 0;
}

std::uint32_t ReadFile(ttFile file, void* data, std::uint32_t n, std::uint32_t* got) {
  // read() may return less than asked (pipes, signals, large counts): loop
  // until the end of the file or n bytes.
  auto* bytes = static_cast<char*>(data);
  std::uint32_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(Descriptor(file), bytes + done, n - done);
    if (r < 0) {
      if (errno == EINTR)
        continue;
      return LastError();
    }
    if (r == 0)
      break;
    done += static_cast<std::uint32_t>(r);
  }
  *got = done;
  return 0;
}

void CloseFile(ttFile file) {
  ::close(Descriptor(file));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

std::uint32_t CreateTemp(const char* target, std::string* tempPath, ttFile* file) {
  std::string target_path(target);
  const std::size_t slash = target_path.rfind('/');
  const std::string name = slash == std::string::npos ? target_path : target_path.substr(slash + 1);
  // Hidden and in the target's own folder, so that the rename stays on one
  // file system and is atomic.
  std::string pattern = FolderOf(target_path) + "/." + name + ".XXXXXX";
  const int fd = ::mkstemp(&pattern[0]);
  if (fd < 0)
    return LastError();
  // mkstemp makes the file private (0600). A file that replaces another keeps
  // the old one's permissions, as if written in place; a new one gets those a
  // newly created file would have.
  struct stat old {};
  if (::stat(target, &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  }
  // Swapped, not copied: nothing may allocate (and throw) once the file
  // exists, or it would be left behind with no one to remove it.
  tempPath->swap(pattern);
  *file = fd;
  return 0;
}

std::uint32_t WriteAll(ttFile file, const void* data, std::uint32_t n) {
  const auto* bytes = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(Descriptor(file), bytes + done, n - done);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      return LastError();
    }
    if (w == 0)
      return ENOSPC;  // no progress: the device takes no more
    done += static_cast<std::uint32_t>(w);
  }
  return 0;
}

std::uint32_t CloseWritten(ttFile file) {
  // fsync before the rename: otherwise a crash soon after could leave an
  // empty file where the old one was.
  std::uint32_t error = 0;
  if (::fsync(Descriptor(file)) != 0 && errno != EINVAL && errno != EROFS)
    error = LastError();
  if (::close(Descriptor(file)) != 0 && error == 0)
    error = LastError();
  return error;
}

std::uint32_t ReplaceFile(const char* source, const char* target) {
  if (::rename(source, target) != 0)
    return LastError();
  return 0;
}

void RemoveFile(const char* path) {
  ::unlink(path);
}

bool PathExists(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0;
}

bool SystemErrorText(std::uint32_t code, std::string* text) {
  // strerror follows LC_MESSAGES: the front ends set the locale from the
  // environment, so the text comes in the user's system language.
  // strerrordesc_np knows which codes exist; strerror alone would make up an
  // "unknown error" text instead of letting the caller fall back to its own.
  if (code > 0x7FFFFFFF || ::strerrordesc_np(static_cast<int>(code)) == nullptr)
    return false;
  const char* message = std::strerror(static_cast<int>(code));
  if (message == nullptr || *message == '\0')
    return false;
  *text = message;
  return true;
}

}  // namespace

ttPlatform PosixPlatform() {
  ttPlatform table{};
  table.openRead = OpenRead;
  table.fileSize = FileSize;
  table.readFile = ReadFile;
  table.closeFile = CloseFile;
  table.createTemp = CreateTemp;
  table.writeAll = WriteAll;
  table.closeWritten = CloseWritten;
  table.replaceFile = ReplaceFile;
  table.removeFile = RemoveFile;
  table.pathExists = PathExists;
  table.systemErrorText = SystemErrorText;
  return table;
}
