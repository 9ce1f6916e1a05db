#include "Inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>  // std::sort
#include <cerrno>
#include <set>
#include <utility>

#include "Messages.h"

namespace {

using FolderId = std::pair<dev_t, ino_t>;

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/')
    return folder + name;
  return folder + "/" + name;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extensions SMFs and RMID files go by, in any case: ".MID" from old
// systems is as common as ".mid".
bool IsMidiName(const std::string& name) {
  for (const char* extension : {".mid", ".midi", ".kar", ".rmi"}) {
    const std::string ext(extension);
    if (name.size() > ext.size() &&
        std::equal(ext.rbegin(), ext.rend(), name.rbegin(), [](char a, char b) {
          return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
        })) {
      return true;
    }
  }
  return false;
}

bool FolderAt(const std::string& path, FolderId* id) {
  struct stat s {};
  if (::stat(path.c_str(), &s) != 0 || !S_ISDIR(s.st_mode))
    return false;
  *id = {s.st_dev, s.st_ino};
  return true;
}

class FolderWalk {
 public:
  FolderWalk(const ttCliOptions& options, std::vector<ttInputFile>* files)
      : options_(options), files_(files) {
    hasOutDir_ = FolderAt(options.outDir, &outDir_);
  }

  void Walk(const std::string& folder, const FolderId& id, const std::string& relative) {
    std::vector<std::string> names;
    if (!Names(folder, &names))
      return;
    // The folders above this one: a link back to one of them would lead
    // round for ever.
    ancestors_.insert(id);
    for (const std::string& name : names) {
      const std::string path = Join(folder, name);
      FolderId sub;
      if (!FolderAt(path, &sub)) {
        // A file, or a name stat cannot follow: converting it tells why.
        if (IsMidiName(name))
          files_->push_back({path, Join(options_.outDir, relative + name), relative, 0});
      } else if (!options_.recursive || (hasOutDir_ && sub == outDir_)) {
        // The output folder inside the tree holds what runs like this wrote.
      } else if (ancestors_.count(sub) != 0) {
        Remark(path, "note: a link to a folder above it: not followed");
      } else {
        Walk(path, sub, relative + name + "/");
      }
    }
    ancestors_.erase(id);
  }

 private:
  bool Names(const std::string& folder, std::vector<std::string>* names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      files_->push_back({folder, "", "", static_cast<std::uint32_t>(errno)});
      return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name(entry->d_name);
      if (name != "." && name != "..")
        names->push_back(name);
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
  }

  const ttCliOptions& options_;
  std::vector<ttInputFile>* files_;
  std::set<FolderId> ancestors_;
  FolderId outDir_{};
  bool hasOutDir_ = false;
};

}  // namespace

std::vector<ttInputFile> ListInputs(const ttCliOptions& options) {
  std::vector<ttInputFile> files;
  FolderWalk walk(options, &files);
  for (const std::string& input : options.inputs) {
    FolderId id;
    if (!options.outDir.empty() && FolderAt(input, &id)) {
      const std::size_t before = files.size();
      walk.Walk(input, id, "");
      if (files.size() == before)
        Remark(input, "note: no .mid, .midi, .kar or .rmi file in it");
      continue;
    }
    const std::string output = !options.output.empty()   ? options.output
                               : !options.outDir.empty() ? Join(options.outDir, BaseName(input))
                                                         : std::string();
    files.push_back({input, output, "", 0});
  }
  return files;
}

bool MakeOutputFolders(const ttCliOptions& options, const ttInputFile& file) {
  std::size_t end = 0;
  while ((end = file.subfolder.find('/', end)) != std::string::npos) {
    const std::string folder = Join(options.outDir, file.subfolder.substr(0, end));
    ++end;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
      ShowSystemError(About(folder), static_cast<std::uint32_t>(errno));
      return false;
    }
  }
  return true;
}
