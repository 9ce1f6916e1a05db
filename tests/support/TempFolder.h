#pragma once
// A fresh folder in the system's temporary folder, open to an unprivileged
// child, and removed with everything in it (read-only entries included) when
// the test ends.

#include <sys/stat.h>

#include <cstdlib>  // mkdtemp
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "SmfBuilder.h"

namespace smftest {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tt-test-XXXXXX").string();
    if (::mkdtemp(&pattern[0]) != nullptr && ::chmod(pattern.c_str(), 0755) == 0)
      path_ = pattern;
  }
  ~TempFolder() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  bool Made() const { return !path_.empty(); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Put(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }
  std::set<std::string> Entries(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_ / sub))
      names.insert(entry.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace smftest
