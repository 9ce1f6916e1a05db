// Saving for real on Linux when the file system says no: a folder the user
// may not write to, a target that is a folder, a full disk. The user sees
// the system's own text; the old file and the folder are as they were.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>  // mkdtemp
#include <cstring>  // strerror
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "PosixPlatform.h"
#include "SaveFile.h"
#include "SmfBuilder.h"

namespace {

namespace fs = std::filesystem;
using smftest::Bytes;

std::vector<std::string> Shown;
void Record(ttWindow, const char* text, const char*, unsigned) {
  Shown.emplace_back(text);
}

ttPlatform RealPlatform;

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

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

class PosixFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "smftempo-robust-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    folder_ = pattern;
    ::chmod(folder_.c_str(), 0755);  // reachable by the unprivileged child below
    RealPlatform = PosixPlatform();
    table_ = RealPlatform;
    table_.messageBox = Record;
    previous_ = Platform;
    Platform = &table_;
    Shown.clear();
  }
  void TearDown() override {
    Platform = previous_;
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(folder_, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }
  std::string Path(const std::string& name) const { return (fs::path(folder_) / name).string(); }
  std::set<std::string> Entries(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(folder_) / sub))
      names.insert(entry.path().filename().string());
    return names;
  }

  std::string folder_;
  ttPlatform table_{};
  const ttPlatform* previous_ = nullptr;
};

const Bytes kNew = {'M', 'T', 'h', 'd'};
const Bytes kOld = {'o', 'l', 'd'};

TEST_F(PosixFailure, AFullDiskShowsItsTextAndLeavesTheOldFile) {
  const std::string target = Path("song.mid");
  WriteBytes(target, kOld);
  table_.createTemp = CreateTempOnFullDisk;
  EXPECT_FALSE(WriteFileReplacing(nullptr, target.c_str(), kNew.data(), 4));
  EXPECT_EQ(Shown, std::vector<std::string>{std::strerror(ENOSPC)});
  EXPECT_EQ(smftest::ReadFile(target), kOld);
  EXPECT_EQ(Entries(), std::set<std::string>{"song.mid"});  // the temporary file is gone
}

TEST_F(PosixFailure, ATargetThatIsAFolderStaysAFolder) {
  fs::create_directory(Path("song.mid"));
  WriteBytes(Path("song.mid/inside.mid"), kOld);
  EXPECT_FALSE(WriteFileReplacing(nullptr, Path("song.mid").c_str(), kNew.data(), 4));
  EXPECT_EQ(Shown, std::vector<std::string>{std::strerror(EISDIR)});
  EXPECT_EQ(smftest::ReadFile(Path("song.mid/inside.mid")), kOld);
  EXPECT_EQ(Entries(), std::set<std::string>{"song.mid"});
}

// Root writes into any folder, and CI runs as root: the save then runs in a
// child that gives up root for an ordinary user first, so that the folder's
// permissions apply as they would to the person using the tool.
TEST_F(PosixFailure, AReadOnlyFolderShowsItsTextAndLeavesTheOldFile) {
  fs::create_directory(Path("locked"));
  const std::string target = Path("locked/song.mid");
  WriteBytes(target, kOld);
  ::chmod(target.c_str(), 0644);
  ::chmod(Path("locked").c_str(), 0555);

  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(3);
    const bool saved = WriteFileReplacing(nullptr, target.c_str(), kNew.data(), 4);
    const std::string said = Shown.empty() ? "" : Shown.front();
    if (::write(pipe_fds[1], said.data(), said.size()) < 0)
      ::_exit(4);
    ::_exit(saved ? 1 : 0);
  }
  ::close(pipe_fds[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;)
    said.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3)
    GTEST_SKIP() << "cannot give up root for an ordinary user here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save into a read-only folder succeeded";
  EXPECT_EQ(said, std::strerror(EACCES));
  EXPECT_EQ(smftest::ReadFile(target), kOld);
  EXPECT_EQ(Entries("locked"), std::set<std::string>{"song.mid"});
}

}  // namespace
