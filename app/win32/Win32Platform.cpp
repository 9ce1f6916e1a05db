#include "Win32Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "Texts.h"

namespace {

HANDLE ToHandle(ttFile file) {
  return reinterpret_cast<HANDLE>(file);
}
ttFile ToFile(HANDLE handle) {
  return reinterpret_cast<ttFile>(handle);
}
HWND ToWindow(ttWindow window) {
  return static_cast<HWND>(window);
}

std::uint32_t LastError() {
  const DWORD code = GetLastError();
  // A failing call that leaves no code must still count as a failure.
  return code != 0 ? code : ERROR_GEN_FAILURE;
}

std::uint32_t OpenRead(const char* path, ttFile* file) {
  const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return LastError();
  }
  // A pipe or a device (CON, COM1, a named pipe) opens as well, and reading
  // it may block for ever or never end: only a disk file is a source.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return kErrorNotRegularFile;
  }
  *file = ToFile(handle);
  return 0;
}

std::uint32_t FileSize(ttFile file, std::uint64_t* size) {
  DWORD high = 0;
  const DWORD low = GetFileSize(ToHandle(file), &high);
  // INVALID_FILE_SIZE is also a valid low half: only the error code tells.
  if (low == INVALID_FILE_SIZE) {
    const DWORD code = GetLastError();
    if (code != NO_ERROR) {
      return code;
    }
  }
  *size = (std::uint64_t{high} << 32) | low;
  return 0;
}

std::uint32_t ReadFromFile(ttFile file, void* data, std::uint32_t n, std::uint32_t* got) {
  DWORD count = 0;
  if (!ReadFile(ToHandle(file), data, n, &count, nullptr)) {
    return LastError();
  }
  *got = count;
  return 0;
}

void CloseFile(ttFile file) {
  CloseHandle(ToHandle(file));
}

// Length of the folder part of a path, separator included: 0 for a bare name.
// Paths are in the ANSI code page, where the second byte of a double-byte
// character may be 0x5C ('\\') and is no separator.
std::size_t FolderLength(const char* path) {
  std::size_t folder = 0;
  for (std::size_t i = 0; path[i] != '\0'; ++i) {
    const char c = path[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(c)) && path[i + 1] != '\0') {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      folder = i + 1;
    }
  }
  return folder;
}

std::uint32_t CreateTemp(const char* target, std::string* tempPath, ttFile* file) {
  static const char kDigits[] = "0123456789ABCDEF";
  const std::string folder(target, FolderLength(target));
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; ++attempt, seed += 0x9E37u) {
    std::string name = folder + "~tt";
    for (int shift = 28; shift >= 0; shift -= 4) {
      name += kDigits[(seed >> shift) & 0xFu];
    }
    name += ".tmp";
    // CREATE_NEW: never truncate a file that happens to have the same name.
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // Swapped, not copied: nothing may allocate (and throw) once the file
      // exists, or it would be left behind, open, with no one to remove it.
      tempPath->swap(name);
      *file = ToFile(handle);
      return 0;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      return code != 0 ? code : ERROR_GEN_FAILURE;
    }
  }
  return ERROR_FILE_EXISTS;
}

std::uint32_t WriteAll(ttFile file, const void* data, std::uint32_t n) {
  // The whole image in one call.
  DWORD written = 0;
  if (!WriteFile(ToHandle(file), data, n, &written, nullptr)) {
    return LastError();
  }
  // A disk file accepts fewer bytes than asked only when the volume is full.
  return written == n ? 0 : ERROR_DISK_FULL;
}

std::uint32_t CloseWritten(ttFile file) {
  // The data must be on disk before the file is renamed over the old one.
  std::uint32_t code = 0;
  if (!FlushFileBuffers(ToHandle(file))) {
    code = LastError();
  }
  if (!CloseHandle(ToHandle(file)) && code == 0) {
    code = LastError();
  }
  return code;
}

std::uint32_t ReplaceWith(const char* source, const char* target) {
  // Open the target as the save would if it wrote in place: a file that
  // another program holds open without sharing, or a read-only file, then
  // fails with the system's own reason (a sharing violation, access denied)
  // rather than whatever the rename reports for it.
  const HANDLE existing =
      CreateFileA(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    CloseHandle(existing);
  } else {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) {
      return code != 0 ? code : ERROR_GEN_FAILURE;
    }
  }
  if (!MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  return 0;
}

void RemoveFile(const char* path) {
  DeleteFileA(path);
}

bool PathExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool SystemErrorText(std::uint32_t code, std::string* text) {
  // From the system's table, in the system's default language (not the
  // user's), allocated by the system. Inserts such as %1 stay as written:
  // there are no arguments to expand them from.
  constexpr DWORD kFlags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  constexpr DWORD kSystemDefaultLanguage = 0x0800;  // LANG_NEUTRAL, SUBLANG_SYS_DEFAULT
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(kFlags, nullptr, code, kSystemDefaultLanguage,
                                      reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) {
    return false;
  }
  text->assign(buffer, length);
  LocalFree(buffer);
  return true;
}

void ShowMessageBox(ttWindow owner, const char* text, const char* caption, unsigned style) {
  MessageBoxA(ToWindow(owner), text, caption, style);
}

// Two pairs of display text and pattern, each zero-terminated; the literal's
// own terminating zero closes the list.
constexpr char kFilter[] = TT_TEXT_FILTER_MIDI "\0*.mid\0" TT_TEXT_FILTER_ALL "\0*.*\0";

// The structure up to and including lpTemplateName, without the fields that
// Windows 2000 added, as the common dialogs of every Windows version accept it.
constexpr DWORD kOpenFileNameSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
#if !defined(_WIN64)
static_assert(kOpenFileNameSize == 76, "OPENFILENAMEA without the Windows 2000 fields");
#endif

OPENFILENAMEA PrepareFileDialog(ttWindow owner, char* path, DWORD flags) {
  OPENFILENAMEA dialog{};
  dialog.lStructSize = kOpenFileNameSize;
  dialog.hwndOwner = ToWindow(owner);
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = kPathBufferSize;
  dialog.Flags = flags;
  dialog.lpstrDefExt = "mid";
  return dialog;
}

bool RunFileDialog(BOOL(WINAPI* show)(LPOPENFILENAMEA), ttWindow owner, char* path, DWORD flags,
                   std::uint32_t* error) {
  OPENFILENAMEA dialog = PrepareFileDialog(owner, path, flags);
  if (show(&dialog) != 0)
    return true;
  // A cancel and a failure both return 0; only the extended error, 0 for a
  // cancel, tells them apart.
  *error = CommDlgExtendedError();
  return false;
}

bool OpenFileDialog(ttWindow owner, char* path, std::uint32_t* error) {
  return RunFileDialog(CommonDialogs.getOpenFileName, owner, path, kOpenDialogFlags, error);
}

bool SaveFileDialog(ttWindow owner, char* path, std::uint32_t* error) {
  return RunFileDialog(CommonDialogs.getSaveFileName, owner, path, kSaveDialogFlags, error);
}

void SetItemText(ttWindow owner, int id, const char* text) {
  SetDlgItemTextA(ToWindow(owner), id, text);
}

std::uint32_t GetItemText(ttWindow owner, int id, char* buffer, int max) {
  return GetDlgItemTextA(ToWindow(owner), id, buffer, max);
}

ttPlatform MakeWin32Platform() {
  ttPlatform table{};
  table.openRead = OpenRead;
  table.fileSize = FileSize;
  table.readFile = ReadFromFile;
  table.closeFile = CloseFile;
  table.createTemp = CreateTemp;
  table.writeAll = WriteAll;
  table.closeWritten = CloseWritten;
  table.replaceFile = ReplaceWith;
  table.removeFile = RemoveFile;
  table.pathExists = PathExists;
  table.systemErrorText = SystemErrorText;
  table.messageBox = ShowMessageBox;
  table.openFileDialog = OpenFileDialog;
  table.saveFileDialog = SaveFileDialog;
  table.setItemText = SetItemText;
  table.getItemText = GetItemText;
  return table;
}

}  // namespace

ttCommonDialogs CommonDialogs = {GetOpenFileNameA, GetSaveFileNameA};

const ttPlatform kWin32Platform = MakeWin32Platform();
