#include "Batch.h"

#include <sys/stat.h>
#include <unistd.h>  // isatty

#include <cstdio>
#include <new>  // std::bad_alloc
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Inputs.h"
#include "Locale.h"
#include "Messages.h"
#include "Pipeline.h"
#include "Report.h"
#include "SourceLoading.h"
#include "Streams.h"
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
  if (!options.dryRun && !IsStandardStream(output)) {
    // --force replaces what was there before the run, never what this run
    // wrote: two inputs of one name would otherwise leave only the last.
    if (written->Holds(output)) {
      char text[1024];
      std::snprintf(text, sizeof text,
                    Tr("The output file %s was written earlier in this run from another input. "
                       "It is not replaced, and this input is not converted."),
                    output.c_str());
      Tell(input, text);
      return false;
    }
    if (!options.force && Platform->pathExists(output.c_str())) {
      Tell(output, Tr("The output file exists already. Give --force to replace it."));
      return false;
    }
  }
  ttFileReport report;
  const bool converted = ConvertFile(options, input, output, &report);
  if (report.written && !IsStandardStream(output))
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
  SetQuiet(options.quiet);
  const std::vector<ttInputFile> files = ListInputs(options);
  // A batch shows how far it got on a terminal and ends with its count.
  const bool batch = files.size() > 1;
  const bool progress = batch && ::isatty(2);
  std::size_t converted = 0;
  std::size_t refused = 0;
  std::size_t failed = 0;
  WrittenFiles written;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const ttInputFile& file = files[i];
    if (progress) {
      const std::string count = std::to_string(i + 1) + "/" + std::to_string(files.size());
      ShowProgress(count, file.path.c_str());
    }
    const bool done = ForEachFile(file.path, [&] {
      if (file.folderError != 0) {
        ShowSystemError(About(file.path), file.folderError);
        return false;
      }
      if (options.info)
        return Inspect(options, file.path);
      return (options.dryRun || MakeOutputFolders(options, file)) &&
             Convert(options, file.path, file.output, &written);
    });
    if (done) {
      ++converted;
    } else {
      ++(LastFailed() ? failed : refused);
      PrintRefusal(options, file.path, LastMessage(), LastHint());
    }
  }
  if (batch && !options.info)
    Summary(converted, refused, failed);
  return refused + failed == 0 ? kExitOk : kExitFailed;
}
