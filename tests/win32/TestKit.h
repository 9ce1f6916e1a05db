#pragma once
// What the Windows test programs share: checks that print PASS/FAIL lines and
// end with "N passed, M failed", expected texts written as UTF-8 and turned
// into code page 932 by Windows itself (independently of the compiler's
// conversion of the program's literals), files, and a watchdog.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

void Check(bool ok, const std::string& name, const std::string& detail = {});
void CheckBytes(const std::string& name, const std::string& got, const std::string& want);
// Prints the summary line; returns the process exit code (0: nothing failed).
int Finish();
// Ends the process with a failure if it has not finished after `seconds`
// (a dialog or message box left open would otherwise block until ctest's
// timeout, with no summary).
void StartWatchdog(unsigned seconds);

std::string Hex(const std::string& bytes);
// UTF-8 text to the CP932 bytes that Windows' own code page 932 table gives.
std::string J(const char* utf8);
std::wstring W(const char* utf8);

// The system's text for an error code, asked the way the program must ask:
// system table, system default language.
std::string SystemText(DWORD code);

// SMF bytes built here, independently of the program's reader and writer:
// events at absolute ticks, delta times in shortest form, no running status.
struct TimedEvent {
  std::uint32_t time;
  std::string bytes;
};
using Track = std::vector<TimedEvent>;
std::string Smf(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks);
std::string TempoEvent(std::uint32_t microseconds);  // FF 51 03 and 24 bits
extern const char kEndOfTrack[];                     // FF 2F 00

bool WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; `exists` is false when it cannot be opened.
std::string ReadBytes(const std::string& path, bool* exists = nullptr);
// The names in a folder, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder);

// A new folder under the temporary folder, its name made of CP932 characters
// whose second byte is 0x5C; ends with a backslash. Removed by RemoveTree.
std::string MakeTestFolder(const char* tag);
void RemoveTree(const std::string& folder);

// A Unix path as Wine sees it (drive Z: is the Unix root); other paths as given.
std::string WindowsPath(const std::string& path);

}  // namespace wintest
