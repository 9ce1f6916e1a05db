#pragma once
// The Windows test programs' PASS/FAIL lines ending with "N passed, M failed",
// CP932 texts made by Windows' own table (not by the compiler), SMF bytes, files.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "SmfBuilder.h"

namespace wintest {

inline int passed = 0, failed = 0;

inline void Check(bool ok, const std::string& name, const std::string& detail = {}) {
  ok ? ++passed : ++failed;
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), ok || detail.empty() ? "" : ": ",
              ok ? "" : detail.c_str());
  std::fflush(stdout);
}
inline int Finish() {
  std::printf("%d passed, %d failed\n", passed, failed);
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
  std::string out(wide.size() * 3 + 1, '\0');  // UTF-8 takes at most 3 bytes a unit
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(
      codePage, 0, wide.c_str(), -1, &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
  out.pop_back();
  return out;
}
inline std::string J(const char* utf8) {  // UTF-8 to CP932
  return Narrow(Wide(utf8), 932);
}
inline std::string Smf(std::uint16_t format, std::uint16_t division, const smftest::Track& track) {
  const smftest::Bytes bytes = smftest::Smf(format, division, {track});
  return {bytes.begin(), bytes.end()};
}
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace wintest
