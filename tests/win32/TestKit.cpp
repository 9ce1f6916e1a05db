#include "TestKit.h"

#include <cstdio>

namespace wintest {

namespace {
int passed = 0;
int failed = 0;

DWORD WINAPI Watchdog(LPVOID parameter) {
  Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter)) * 1000);
  std::printf("FAIL watchdog: no result in time (a dialog or message box left open?)\n");
  std::printf("%d passed, %d failed\n", passed, failed + 1);
  std::fflush(stdout);
  ExitProcess(2);
}
}  // namespace

void Check(bool ok, const std::string& name, const std::string& detail) {
  ok ? ++passed : ++failed;
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
              detail.c_str());
  std::fflush(stdout);
}

void CheckBytes(const std::string& name, const std::string& got, const std::string& want) {
  Check(got == want, name,
        got == want ? std::string() : "got [" + Hex(got) + "] want [" + Hex(want) + "]");
}

int Finish() {
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

void StartWatchdog(unsigned seconds) {
  CloseHandle(
      CreateThread(nullptr, 0, Watchdog, reinterpret_cast<LPVOID>(UINT_PTR{seconds}), 0, nullptr));
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (const char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x ",
                  static_cast<unsigned>(static_cast<unsigned char>(c)));
    out += buffer;
  }
  if (!out.empty())
    out.pop_back();
  return out;
}

std::wstring W(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &out[0], length);
  out.resize(static_cast<std::size_t>(length) - 1);
  return out;
}

std::string J(const char* utf8) {
  const std::wstring wide = W(utf8);
  const int length = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(932, 0, wide.c_str(), -1, &out[0], length, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length) - 1);
  return out;
}

std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0800, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text = length != 0 ? std::string(buffer, length) : std::string();
  if (buffer != nullptr)
    LocalFree(buffer);
  return text;
}

namespace {
std::string BigEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFFu);
  }
  return out;
}
std::string VarLen(std::uint32_t value) {
  std::string out(1, static_cast<char>(value & 0x7Fu));
  while ((value >>= 7) != 0) {
    out.insert(out.begin(), static_cast<char>(0x80u | (value & 0x7Fu)));
  }
  return out;
}
}  // namespace

const char kEndOfTrack[] = "\xFF\x2F";  // with the terminating zero: FF 2F 00

std::string TempoEvent(std::uint32_t microseconds) {
  return std::string("\xFF\x51\x03", 3) + BigEndian(microseconds, 3);
}

std::string Smf(std::uint16_t format, std::uint16_t division, const std::vector<Track>& tracks) {
  std::string out = "MThd" + BigEndian(6, 4) + BigEndian(format, 2) +
                    BigEndian(static_cast<std::uint32_t>(tracks.size()), 2) +
                    BigEndian(division, 2);
  for (const Track& track : tracks) {
    std::string body;
    std::uint32_t previous = 0;
    for (const TimedEvent& event : track) {
      body += VarLen(event.time - previous) + event.bytes;
      previous = event.time;
    }
    out += "MTrk" + BigEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
  }
  return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path, bool* exists) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (exists != nullptr)
    *exists = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE)
    return {};
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
    out.append(buffer, got);
  CloseHandle(file);
  return out;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..")
      names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::string MakeTestFolder(const char* tag) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  // 表 and ソ end in 0x5C, the byte of the path separator.
  const std::string folder = std::string(temp) + J(u8"テンポ表ソ_") + tag + "_" +
                             std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void RemoveTree(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    const std::string path = folder + name;
    if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path + "\\");
    } else {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  }
  RemoveDirectoryA(folder.c_str());
}

std::string WindowsPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

}  // namespace wintest
