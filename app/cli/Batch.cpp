#include "Batch.h"

#include <sys/stat.h>

#include <cstdio>
#include <new>  // std::bad_alloc
#include <set>
#include <string>
#include <utility>

#include "Messages.h"
#include "Pipeline.h"
#include "Report.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// The files this run wrote, by device and inode: two spellings of one path,
// or a link to it, name the same file.
class WrittenFiles {
 public:
  bool Holds(const std::string& path) const {
    struct stat s {};
    return ::stat(path.c_str(), &s) == 0 && files_.count({s.st_dev, s.st_ino}) != 0;
  }
  void Add(const std::string& path) {
    struct stat s {};
    if (::stat(path.c_str(), &s) == 0)
      files_.insert({s.st_dev, s.st_ino});
  }

 private:
  std::set<std::pair<dev_t, ino_t>> files_;
};

std::string OutputInFolder(const std::string& folder, const std::string& input) {
  const std::size_t slash = input.rfind('/');
  const std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
  if (!folder.empty() && folder.back() == '/')
    return folder + name;
  return folder + "/" + name;
}

// Runs one file's work. Running out of memory on one file (a huge source,
// a low limit) is that file's failure: what it had taken is given back, the
// message names the file, and the next file is tried.
template <typename Work>
bool ForEachFile(const std::string& path, Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    CurrentSequence.Clear();
    ResetConversionState();
    Tell(path, TT_TEXT_OUT_OF_MEMORY);
    return false;
  }
}

bool Convert(const ttCliOptions& options, const std::string& input, const std::string& output,
             WrittenFiles* written) {
  if (!options.dryRun) {
    // --force replaces what was there before the run, never what this run
    // wrote: two inputs of one name would otherwise leave only the last.
    if (written->Holds(output)) {
      char text[1024];
      std::snprintf(text, sizeof text, TT_TEXT_OUTPUT_WRITTEN_THIS_RUN, output.c_str());
      Tell(input, text);
      return false;
    }
    if (!options.force && Platform->pathExists(output.c_str())) {
      Tell(output, TT_TEXT_OUTPUT_EXISTS);
      return false;
    }
  }
  ttFileReport report;
  const bool converted = ConvertFile(options, input, output, &report);
  if (report.written)
    written->Add(output);
  if (converted && options.Reporting())
    PrintReport(options, report);
  return converted;
}

bool Inspect(const ttCliOptions& options, const std::string& input) {
  ttFileInfo info;
  if (!InspectFile(options, input, &info))
    return false;
  PrintInfo(options, input, info);
  return true;
}

}  // namespace

int RunBatch(const ttCliOptions& options) {
  int status = kExitOk;
  WrittenFiles written;
  for (const std::string& input : options.inputs) {
    const std::string output = !options.output.empty()   ? options.output
                               : !options.outDir.empty() ? OutputInFolder(options.outDir, input)
                                                         : std::string();
    const bool done = ForEachFile(input, [&] {
      return options.info ? Inspect(options, input) : Convert(options, input, output, &written);
    });
    if (!done) {
      status = kExitFailed;
      PrintRefusal(options, input, LastMessage(), LastHint());
    }
  }
  return status;
}
