#pragma once
// Shared by the Windows test programs: PASS/FAIL lines ending with
// "N passed, M failed", CP932 texts made by Windows' own table
// (not by the compiler's conversion of the program's literals), SMF bytes
// built independently of the program's reader and writer, and files.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace wintest {

inline int passed = 0, failed = 0;

inline std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (const char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x ", static_cast<unsigned char>(c) + 0u);
    out += buffer;
  }
  return out;
}
inline void Check(bool ok, const std::string& name, const std::string& detail = {}) {
  ok ? ++passed : ++failed;
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), ok || detail.empty() ? "" : ": ",
              ok ? "" : detail.c_str());
  std::fflush(stdout);
}
inline int Finish() {
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
inline std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8) {
  std::wstring out(text.size() + 1, L'\0');
  out.resize(static_cast<std::size_t>(
      MultiByteToWideChar(codePage, 0, text.c_str(), -1, &out[0], static_cast<int>(out.size()))));
  out.pop_back();
  return out;
}
inline std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int n = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.pop_back();
  return out;
}
inline std::string J(const char* utf8) {  // UTF-8 to CP932
  return Narrow(Wide(utf8), 932);
}
// The system's text for a code, asked as the program must: system table,
// system default language.
inline std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0800, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  const std::string text = n != 0 ? std::string(buffer, n) : std::string();
  LocalFree(buffer);
  return text;
}

// One-track SMF bytes: events at absolute ticks, shortest delta times, no
// running status.
struct TimedEvent {
  std::uint32_t time;
  std::string bytes;
};
using Track = std::vector<TimedEvent>;
inline std::string BigEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    out += static_cast<char>((value >> shift) & 0xFFu);
  return out;
}
inline std::string TempoEvent(std::uint32_t microseconds) {
  return "\xFF\x51\x03" + BigEndian(microseconds, 3);
}
inline const std::string kEnd("\xFF\x2F\x00", 3);
inline std::string Smf(std::uint16_t format, std::uint16_t division, const Track& track) {
  std::string body;
  std::uint32_t previous = 0;
  for (const TimedEvent& event : track) {
    std::uint32_t delta = event.time - previous;
    std::string varLen(1, static_cast<char>(delta & 0x7Fu));
    while ((delta >>= 7) != 0)
      varLen.insert(varLen.begin(), static_cast<char>(0x80u | (delta & 0x7Fu)));
    body += varLen + event.bytes;
    previous = event.time;
  }
  return "MThd" + BigEndian(6, 4) + BigEndian(format, 2) + BigEndian(1, 2) +
         BigEndian(division, 2) + "MTrk" + BigEndian(static_cast<std::uint32_t>(body.size()), 4) +
         body;
}

// Files, by the C++ library (paths in code page 932).
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
// The names in a folder (ending in a backslash), sorted, "." and ".." left out.
inline std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
      names.push_back(found.cFileName);
  }
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}
// A new temporary folder whose name holds 表 and ソ, CP932 characters whose
// second byte is 0x5C, the separator's; ends with a backslash.
inline std::string MakeTestFolder(const char* tag) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      temp + J(u8"テンポ表ソ_") + tag + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}
inline void RemoveFolder(const std::string& folder) {  // with its files
  for (const std::string& name : ListFolder(folder))
    DeleteFileA((folder + name).c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace wintest
