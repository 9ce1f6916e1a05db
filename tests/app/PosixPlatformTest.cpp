// The POSIX seam against the real file system, in a fresh temporary folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "PosixPlatform.h"
#include "SaveFile.h"
#include "SmfBuilder.h"
#include "Texts.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Shown;  // the texts of the message boxes

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.messageBox = [](ttWindow, const char* text, const char*, unsigned) {
      Shown.push_back(text);
    };
    Platform = &table_;
    Shown.clear();
    std::string pattern = (fs::temp_directory_path() / "tt-posix-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    Platform = previous_;
    fs::remove_all(folder_);
  }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.insert(entry.path().filename());
    return names;
  }

  fs::path folder_;
  ttPlatform table_ = PosixPlatform();
  const ttPlatform* previous_ = Platform;
};

}  // namespace

TEST_F(PosixPlatformTest, ReadsAWholeFile) {
  smftest::Bytes bytes(300001);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7);
  const std::string path = Path("in.mid");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  ttFile file = 0;
  ASSERT_EQ(Platform->openRead(path.c_str(), &file), 0u);
  std::uint64_t size = 0;
  EXPECT_EQ(Platform->fileSize(file, &size), 0u);
  EXPECT_EQ(size, bytes.size());
  smftest::Bytes read(bytes.size() + 10);
  std::uint32_t got = 0;
  EXPECT_EQ(Platform->readFile(file, read.data(), static_cast<std::uint32_t>(read.size()), &got),
            0u);
  Platform->closeFile(file);
  read.resize(got);
  EXPECT_EQ(read, bytes);
}

TEST_F(PosixPlatformTest, FailuresCarryTheSystemsCodeAndText) {
  fs::create_directory(Path("folder"));
  std::ofstream(Path("file")).put('x');
  const struct {
    const char* why;
    std::string path;
    std::uint32_t code;
  } kRows[] = {
      {"missing", Path("missing.mid"), ENOENT},
      {"a folder opens, but is no file", Path("folder"), EISDIR},
      {"below a file", Path("file/x.mid"), ENOTDIR},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    ttFile file = 0;
    EXPECT_EQ(Platform->openRead(row.path.c_str(), &file), row.code);
    std::string text;
    ASSERT_TRUE(Platform->systemErrorText(row.code, &text));
    EXPECT_EQ(text, std::strerror(static_cast<int>(row.code)));
  }
  std::string text;
  for (std::uint32_t unknown : {999999u, 0xFFFFFFFFu})
    EXPECT_FALSE(Platform->systemErrorText(unknown, &text)) << unknown;
  ShowSystemError(nullptr, 999999);
  EXPECT_EQ(Shown, std::vector<std::string>{TT_TEXT_UNEXPECTED_ERROR});
}

TEST_F(PosixPlatformTest, SavingReplacesOrLeavesTheTargetAsItWas) {
  const smftest::Bytes data = {'n', 'e', 'w'};
  const mode_t previousMask = ::umask(022);
  const struct {
    const char* why;
    const char* target;
    unsigned oldMode;  // 0: no file there before
    int error;         // 0: saved
  } kRows[] = {
      {"a new file gets the usual mode", "new.mid", 0, 0},
      {"an existing file keeps its mode", "old.mid", 0640, 0},
      {"a missing folder", "missing/x.mid", 0, ENOENT},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    Shown.clear();
    const std::string target = Path(row.target);
    if (row.oldMode != 0) {
      std::ofstream(target).put('x');
      ::chmod(target.c_str(), row.oldMode);
    }
    std::set<std::string> expected = Entries();
    const bool saved = WriteFileReplacing(nullptr, target.c_str(), data.data(), 3);
    EXPECT_EQ(saved, row.error == 0);
    if (saved) {
      EXPECT_EQ(smftest::ReadFile(target), data);
      struct stat info {};
      EXPECT_EQ(::stat(target.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777u, row.oldMode != 0 ? row.oldMode : 0644u);
      EXPECT_TRUE(Shown.empty());
      expected.insert(fs::path(target).filename());
    } else {
      EXPECT_EQ(Shown, std::vector<std::string>{std::strerror(row.error)});
    }
    EXPECT_EQ(Entries(), expected);  // no temporary file left behind
  }
  ::umask(previousMask);
}
