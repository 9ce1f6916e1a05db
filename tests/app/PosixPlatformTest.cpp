// The POSIX seam against the real file system, in a fresh temporary folder,
// and saving for real when the file system says no: the user sees the
// system's own text; the old file and the folder are as they were.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "PosixPlatform.h"
#include "SaveFile.h"
#include "TempFolder.h"
#include "Texts.h"

namespace fs = std::filesystem;
using smftest::Bytes;

namespace {

std::vector<std::string> Shown;  // the texts of the message boxes
const ttPlatform RealPlatform = PosixPlatform();

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.messageBox = [](ttWindow, const char* text, const char*, unsigned) {
      Shown.push_back(text);
    };
    Platform = &table_;
    Shown.clear();
    ASSERT_TRUE(folder_.Made());
  }
  void TearDown() override { Platform = previous_; }
  std::string Path(const std::string& name) const { return folder_.Path(name); }

  smftest::TempFolder folder_;
  ttPlatform table_ = PosixPlatform();
  const ttPlatform* previous_ = Platform;
};

// Creates the temporary file for real, in the target's folder, but points its
// descriptor at /dev/full: every write then fails as on a full disk.
std::uint32_t CreateTempOnFullDisk(const char* target, std::string* tempPath, ttFile* file) {
  const std::uint32_t error = RealPlatform.createTemp(target, tempPath, file);
  if (error != 0)
    return error;
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0)
    return static_cast<std::uint32_t>(errno);
  ::dup2(full, static_cast<int>(*file));
  ::close(full);
  return 0;
}

}  // namespace

TEST_F(PosixPlatformTest, ReadsARegularFileWholeAndRefusesTheRestWithTheSystemsText) {
  Bytes bytes(300001);  // more than one read() may return
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7);
  folder_.Put("in.mid", bytes);
  fs::create_directory(Path("folder"));
  folder_.Put("file", {'x'});
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const struct {
    const char* why;
    std::string path;
    std::uint32_t code;
  } kRows[] = {
      {"a regular file", Path("in.mid"), 0},
      {"missing", Path("missing.mid"), ENOENT},
      {"a folder opens, but is no file", Path("folder"), EISDIR},
      {"below a file", Path("file/x.mid"), ENOTDIR},
      {"a FIFO without a writer, whose plain open never returns", Path("fifo"),
       kErrorNotRegularFile},
      {"a device that never ends", "/dev/zero", kErrorNotRegularFile},
  };
  const int lowestFree = ::dup(0);  // a descriptor left open by a refusal would take it
  ::close(lowestFree);
  ::alarm(20);  // an open that blocks ends the test with SIGALRM instead of hanging it
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    ttFile file = 0;
    EXPECT_EQ(Platform->openRead(row.path.c_str(), &file), row.code);
    if (row.code == 0) {
      std::uint64_t size = 0;
      EXPECT_EQ(Platform->fileSize(file, &size), 0u);
      EXPECT_EQ(size, bytes.size());
      Bytes read(bytes.size() + 10);
      std::uint32_t got = 0;
      EXPECT_EQ(Platform->readFile(file, read.data(), 300011, &got), 0u);
      Platform->closeFile(file);
      read.resize(got);
      EXPECT_EQ(read, bytes);
      continue;
    }
    Shown.clear();
    ShowSystemError(nullptr, row.code);
    EXPECT_EQ(Shown, std::vector<std::string>{row.code == kErrorNotRegularFile
                                                  ? TT_TEXT_NOT_REGULAR_FILE
                                                  : std::strerror(static_cast<int>(row.code))});
  }
  ::alarm(0);
  const int stillFree = ::dup(0);
  EXPECT_EQ(stillFree, lowestFree);
  ::close(stillFree);
  std::string text;
  for (std::uint32_t unknown : {999999u, 0xFFFFFFFFu})
    EXPECT_FALSE(Platform->systemErrorText(unknown, &text)) << unknown;
}

const Bytes kOld = {'o', 'l', 'd'};

TEST_F(PosixPlatformTest, SavingReplacesOrLeavesTheTargetAsItWas) {
  const mode_t previousMask = ::umask(022);
  const struct {
    const char* why;
    const char* target;
    unsigned oldMode;  // of the old file there; 0: none
    int error;         // 0: saved
    bool fullDisk = false;
  } kRows[] = {
      {"a new file gets the usual mode", "new.mid", 0, 0},
      {"an existing file keeps its mode", "old.mid", 0640, 0},
      {"a missing folder", "missing/x.mid", 0, ENOENT},
      {"a full disk", "full.mid", 0644, ENOSPC, true},
      {"a target that is a folder stays a folder", "folder", 0, EISDIR},
  };
  fs::create_directory(Path("folder"));
  folder_.Put("folder/inside.mid", kOld);
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    Shown.clear();
    const std::string target = Path(row.target);
    if (row.oldMode != 0) {
      folder_.Put(row.target, kOld);
      ::chmod(target.c_str(), row.oldMode);
    }
    table_.createTemp = row.fullDisk ? CreateTempOnFullDisk : RealPlatform.createTemp;
    std::set<std::string> expected = folder_.Entries();
    const Bytes data = {'n', 'e', 'w'};
    const bool saved = WriteFileReplacing(nullptr, target.c_str(), data.data(), 3);
    EXPECT_EQ(saved, row.error == 0);
    if (saved) {
      EXPECT_EQ(smftest::ReadFile(target), data);
      struct stat info {};
      EXPECT_EQ(::stat(target.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777u, row.oldMode != 0 ? row.oldMode : 0644u);
      EXPECT_TRUE(Shown.empty());
      expected.insert(row.target);
    } else {
      EXPECT_EQ(Shown, std::vector<std::string>{std::strerror(row.error)});
      if (row.oldMode != 0) {
        EXPECT_EQ(smftest::ReadFile(target), kOld);
      }
    }
    EXPECT_EQ(folder_.Entries(), expected);  // no temporary file left behind
  }
  EXPECT_EQ(smftest::ReadFile(Path("folder/inside.mid")), kOld);
  ::umask(previousMask);
}

// Root writes into any folder, and CI runs as root: the save then runs in a
// child that gives up root for an ordinary user first, so that the folder's
// permissions apply as they would to the person using the tool.
TEST_F(PosixPlatformTest, AReadOnlyFolderShowsItsTextAndLeavesTheOldFile) {
  fs::create_directory(Path("locked"));
  const std::string target = Path("locked/song.mid");
  folder_.Put("locked/song.mid", kOld);
  ::chmod(target.c_str(), 0644);
  ::chmod(Path("locked").c_str(), 0555);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(3);
    const bool saved = WriteFileReplacing(nullptr, target.c_str(), kOld.data(), 1);
    ::_exit(!saved && Shown == std::vector<std::string>{std::strerror(EACCES)} ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3)
    GTEST_SKIP() << "cannot give up root for an ordinary user here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "saved, or said something else than EACCES's text";
  EXPECT_EQ(smftest::ReadFile(target), kOld);
  EXPECT_EQ(folder_.Entries("locked"), std::set<std::string>{"song.mid"});
}
