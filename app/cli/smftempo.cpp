// smftempo: the command-line converter. Same loading, checks, conversion and
// writing as the dialog by default; tempo maps, division changes, exact
// conversions and reports beyond it. Messages go to stderr as
// "smftempo: PATH: text" in the user's language, reports to stdout.

#include <cstdio>
#include <cstdlib>  // std::_Exit

#include "Batch.h"
#include "Locale.h"
#include "Options.h"
#include "Streams.h"

namespace {

// Ends the process once the files are done, without destroying the last
// loaded sequence: giving back tens of millions of nodes one by one takes
// longer than some of the conversion's own steps, and the system takes the
// whole address space back at once. Sanitizer builds return normally, so that
// the leak check at exit still sees every block.
int Finish(int status) {
#if !defined(__SANITIZE_ADDRESS__)
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
#else
  return status;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  SetUpLanguage();
  const ttPlatform table = CommandLinePlatform();
  Platform = &table;

  ttCliOptions options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed >= 0)
    return parsed;
  return Finish(RunBatch(options));
}
