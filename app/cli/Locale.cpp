#include "Locale.h"

#include <libintl.h>
#include <unistd.h>  // readlink

#include <clocale>
#include <cstring>
#include <string>

#include "Texts.h"

#ifndef TT_LOCALEDIR
#define TT_LOCALEDIR "/usr/local/share/locale"
#endif
#ifndef TT_LOCALEDIR_FROM_BIN
#define TT_LOCALEDIR_FROM_BIN "../share/locale"
#endif

namespace {

constexpr char kDomain[] = "smftempo";

struct SharedEntry {
  const char* core;
  const char* msgid;
  bool failure;
};

// Every core text the command line can print. The catalog's Japanese for
// each msgid is the core's text byte for byte (the tests compare them).
const SharedEntry kShared[] = {
    {TT_TEXT_INVALID_SMF, TR_NOOP("Not a valid SMF."), false},
    {TT_TEXT_UNSUPPORTED_SMF, TR_NOOP("Unsupported SMF format."), false},
    {TT_TEXT_FILE_TOO_LARGE, TR_NOOP("The file is too large. Give an SMF smaller than 4 GiB."),
     false},
    {TT_TEXT_NO_TEMPO, TR_NOOP("Give the new tempo."), false},
    {TT_TEXT_TEMPO_TOO_SMALL, TR_NOOP("The new tempo is too small. Give a value of 1 or more."),
     false},
    {TT_TEXT_TEMPO_OUT_OF_RANGE,
     TR_NOOP("The new tempo is out of range. Give a value from 3.5762787 to 60000000."), false},
    {TT_TEXT_TIME_OVERFLOW,
     TR_NOOP("The converted event times go beyond what an SMF can hold, so the file cannot be "
             "saved."),
     false},
    {TT_TEXT_OUTPUT_TOO_LARGE,
     TR_NOOP("The converted SMF would be 4 GiB or more, so it cannot be saved."), false},
    {TT_TEXT_NOT_REGULAR_FILE, TR_NOOP("Not a regular file."), false},
    {TT_TEXT_INTERNAL_ERROR, TR_NOOP("An internal error stopped the save. Nothing was written."),
     true},
    {TT_TEXT_OUT_OF_MEMORY, TR_NOOP("Out of memory."), true},
    {TT_TEXT_UNEXPECTED_ERROR, TR_NOOP("An unexpected error occurred."), true},
};

// The catalogs' folder: the program's own folder and the relative path from
// the installed program to the installed catalogs, so that a package or an
// install elsewhere finds them as the build tree does; the install's
// absolute path when the program cannot tell where it lies.
std::string CatalogFolder() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path - 1)
    return TT_LOCALEDIR;
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/') + 1) + TT_LOCALEDIR_FROM_BIN;
}

}  // namespace

void SetUpLanguage() {
  // Messages and system error texts in the user's language; numbers never go
  // through the C library's locale (ParseBpmText reads '.' whatever the
  // locale says).
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  ::bindtextdomain(kDomain, CatalogFolder().c_str());
  ::textdomain(kDomain);
}

const char* Tr(const char* msgid) {
  return ::gettext(msgid);
}

const char* SharedText(const char* core, bool* failure) {
  for (const SharedEntry& entry : kShared) {
    if (std::strcmp(core, entry.core) == 0) {
      *failure = entry.failure;
      return Tr(entry.msgid);
    }
  }
  *failure = false;
  return core;
}
