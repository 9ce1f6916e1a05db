// smftempo: the command-line converter. Same loading, checks, conversion and
// writing as the dialog; messages go to stderr as "smftempo: PATH: text".

#include <unistd.h>  // isatty

#include <clocale>
#include <cstdio>
#include <cstdlib>  // std::_Exit
#include <cstring>
#include <new>  // std::bad_alloc
#include <string>
#include <vector>

#include "BpmText.h"
#include "PosixPlatform.h"
#include "SaveFile.h"
#include "SourceLoading.h"
#include "TempoConversion.h"
#include "Texts.h"
#include "ttSmfParser.h"

#ifndef TT_VERSION
#define TT_VERSION "0"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Progress lines are worth it only for files that take a noticeable time.
constexpr std::uint64_t kProgressThreshold = 16u << 20;

const char kUsage[] =
    "usage: smftempo --bpm BPM [--force] -o OUT IN\n"
    "       smftempo --bpm BPM [--force] --out-dir DIR IN...\n"
    "       smftempo --info IN...\n"
    "       smftempo --help | --version\n"
    "\n"
    "Changes the tempo of Standard MIDI Files without moving any event in real time:\n"
    "the tempo event gets the new BPM and every tick time is multiplied by\n"
    "old tempo / new tempo. Format 1 files are merged into one track (format 0).\n"
    "\n"
    "  --bpm BPM      the new tempo in beats per minute (3.5762787 to 60000000)\n"
    "  -o OUT         output file for a single input\n"
    "  --out-dir DIR  convert every input into DIR, under its own name\n"
    "  --force        replace existing output files\n"
    "  --info         print each file's BPM, format, division, tracks and events\n"
    "\n"
    "Exit status: 0 all converted, 1 a file was refused or failed, 2 usage error.\n";

#define TT_TEXT_OUTPUT_EXISTS \
  "出力ファイルが既に存在します。置き換えるには --force を指定してください。"

// The message owner is the name the message is about.
void PrintMessage(ttWindow owner, const char* text, const char* /*caption*/, unsigned /*style*/) {
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  const char* subject = owner != nullptr ? static_cast<const char*>(owner) : "";
  std::fprintf(stderr, "smftempo: %s: %s\n", subject, line.c_str());
}

ttWindow About(const std::string& name) {
  return const_cast<void*>(static_cast<const void*>(name.c_str()));
}

class Progress {
 public:
  Progress(const std::string& path, bool shown) : path_(path), shown_(shown) {}
  ~Progress() {
    if (shown_)
      std::fprintf(stderr, "\r\033[K");
  }
  void Stage(const char* what) {
    if (shown_)
      std::fprintf(stderr, "\r\033[Ksmftempo: %s: %s", path_.c_str(), what);
  }

 private:
  const std::string& path_;
  bool shown_;
};

bool LargeFileOnTerminal(const std::string& path) {
  if (!::isatty(2))
    return false;
  ttFile file = 0;
  if (Platform->openRead(path.c_str(), &file) != 0)
    return false;
  std::uint64_t size = 0;
  const bool large = Platform->fileSize(file, &size) == 0 && size >= kProgressThreshold;
  Platform->closeFile(file);
  return large;
}

int ConvertOne(const std::string& input, const std::string& output, double bpm, bool force) {
  if (!force && Platform->pathExists(output.c_str())) {
    PrintMessage(About(output), TT_TEXT_OUTPUT_EXISTS, nullptr, 0);
    return kExitFailed;
  }
  Progress progress(input, LargeFileOnTerminal(input));
  progress.Stage("読み込み中...");
  CurrentSequence.Clear();
  if (!LoadSourceSmf(About(input), input.c_str()))
    return kExitFailed;
  progress.Stage("変換中...");
  if (!ConvertLoadedSource(About(input), bpm))
    return kExitFailed;
  ttByteArray image;
  std::uint32_t size = 0;
  if (!BuildOutputImage(About(input), image, size))
    return kExitFailed;
  progress.Stage("書き込み中...");
  if (!WriteFileReplacing(About(output), output.c_str(), image.data, size))
    return kExitFailed;
  return kExitOk;
}

// Format, division and counts as the file holds them, before any merge.
struct FileFacts {
  unsigned format = 0;
  unsigned division = 0;
  std::size_t tracks = 0;
  std::size_t events = 0;
};

bool ReadFacts(const std::string& path, FileFacts* facts) {
  ttFile file = 0;
  if (Platform->openRead(path.c_str(), &file) != 0)
    return false;
  std::uint64_t size = 0;
  if (Platform->fileSize(file, &size) != 0 || size > 0xFFFFFFFFu) {
    Platform->closeFile(file);
    return false;
  }
  std::vector<std::uint8_t> image(static_cast<std::size_t>(size));
  std::uint32_t got = 0;
  const std::uint32_t error =
      Platform->readFile(file, image.data(), static_cast<std::uint32_t>(size), &got);
  Platform->closeFile(file);
  if (error != 0)
    return false;
  ttSmfParser parser;
  if (!parser.Parse(image.data(), got))
    return false;
  facts->format = CurrentSequence.format;
  facts->division = CurrentSequence.division;
  facts->tracks = CurrentSequence.tracks.size();
  for (const ttSmfTrack& track : CurrentSequence.tracks)
    facts->events += track.size();
  return true;
}

int Info(const std::string& path) {
  CurrentSequence.Clear();
  if (!LoadSourceSmf(About(path), path.c_str()))
    return kExitFailed;
  const std::string bpm = FormatBpmText(SourceBpm);
  FileFacts facts;
  if (!ReadFacts(path, &facts))
    return kExitFailed;
  std::printf("%s: %s BPM, format %u, division %u, %zu track%s, %zu events\n", path.c_str(),
              bpm.c_str(), facts.format, facts.division, facts.tracks, facts.tracks == 1 ? "" : "s",
              facts.events);
  return kExitOk;
}

// Runs one file's work. Running out of memory on one file (a huge source,
// a low limit) is that file's failure: what it had taken is given back, the
// message names the file, and the next file is tried.
template <typename Work>
int ForEachFile(const std::string& path, Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    CurrentSequence.Clear();
    ResetConversionState();
    PrintMessage(About(path), TT_TEXT_OUT_OF_MEMORY, nullptr, 0);
    return kExitFailed;
  }
}

std::string OutputInFolder(const std::string& folder, const std::string& input) {
  const std::size_t slash = input.rfind('/');
  const std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
  if (!folder.empty() && folder.back() == '/')
    return folder + name;
  return folder + "/" + name;
}

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

int Usage(const char* problem) {
  if (problem != nullptr)
    std::fprintf(stderr, "smftempo: %s\n", problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // System error texts in the user's language; numbers never go through the
  // C library's locale (ParseBpmText reads '.' whatever the locale says).
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  ttPlatform table = PosixPlatform();
  table.messageBox = PrintMessage;
  Platform = &table;

  const char* bpmText = nullptr;
  const char* output = nullptr;
  const char* folder = nullptr;
  bool force = false;
  bool info = false;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char** target) {
      if (i + 1 >= argc)
        return false;
      *target = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    } else if (arg == "--version") {
      std::printf("smftempo %s\n", TT_VERSION);
      return kExitOk;
    } else if (arg == "--bpm") {
      if (!value(&bpmText))
        return Usage("--bpm needs a value");
    } else if (arg == "-o" || arg == "--output") {
      if (!value(&output))
        return Usage("-o needs a file name");
    } else if (arg == "--out-dir") {
      if (!value(&folder))
        return Usage("--out-dir needs a folder");
    } else if (arg == "--force") {
      force = true;
    } else if (arg == "--info") {
      info = true;
    } else if (arg == "--") {
      for (++i; i < argc; ++i)
        inputs.emplace_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty())
    return Usage("no input file");

  int status = kExitOk;
  if (info) {
    if (bpmText != nullptr || output != nullptr || folder != nullptr) {
      return Usage("--info takes no --bpm, -o or --out-dir");
    }
    for (const std::string& input : inputs) {
      if (ForEachFile(input, [&] { return Info(input); }) != kExitOk)
        status = kExitFailed;
    }
    return Finish(status);
  }

  if (bpmText == nullptr)
    return Usage("--bpm is required");
  if ((output == nullptr) == (folder == nullptr))
    return Usage("give either -o or --out-dir");
  if (output != nullptr && inputs.size() != 1)
    return Usage("-o takes exactly one input");

  // The same checks as the dialog's tempo field, in the same order.
  const std::string bpmSubject = "--bpm";
  if (*bpmText == '\0') {
    PrintMessage(About(bpmSubject), TT_TEXT_NO_TEMPO, nullptr, 0);
    return kExitUsage;
  }
  const double bpm = ParseBpmText(bpmText);
  std::uint32_t tempo = 0;
  if (!(bpm >= 1.0)) {
    PrintMessage(About(bpmSubject), TT_TEXT_TEMPO_TOO_SMALL, nullptr, 0);
    return kExitUsage;
  }
  if (!TempoForBpm(bpm, &tempo)) {
    PrintMessage(About(bpmSubject), TT_TEXT_TEMPO_OUT_OF_RANGE, nullptr, 0);
    return kExitUsage;
  }

  for (const std::string& input : inputs) {
    const std::string target = output != nullptr ? output : OutputInFolder(folder, input);
    if (ForEachFile(input, [&] { return ConvertOne(input, target, bpm, force); }) != kExitOk)
      status = kExitFailed;
  }
  return Finish(status);
}
