#pragma once
// The one seam between the portable core and the platform. Every file access,
// file dialog, dialog field and message box of the core goes through the
// table that `Platform` points at, so that each front end supplies its own
// (Win32, POSIX + Qt, POSIX + terminal) and tests supply a recording double.
//
// Calls that can fail return the operating system's error code (a Win32 code
// from GetLastError, or an errno value), 0 on success.

#include <cstdint>
#include <string>

// The owner of message boxes and file dialogs: an HWND, a QWidget*, or
// whatever the front end uses to find its dialog again.
using ttWindow = void*;
// An open file: a HANDLE or a file descriptor, as the implementation likes.
using ttFile = std::intptr_t;

// Paths are narrow strings (code page 932 on Windows, UTF-8 elsewhere) of at
// most 259 bytes plus the terminating zero.
constexpr std::uint32_t kPathBufferSize = 260;

// Message box style: the error icon with only the OK button (MB_ICONERROR).
constexpr unsigned kErrorBoxStyle = 0x10;

// openRead's code for a path that is neither a regular file nor a folder (a
// FIFO, a device): reading one may block for ever or never end. No system
// gives this code (on Windows bit 29 marks codes of applications; errno
// values are small), and ShowSystemError has its own text for it.
constexpr std::uint32_t kErrorNotRegularFile = 0x20000001;

struct ttPlatform {
  // Source files. openRead shares reading with other programs.
  std::uint32_t (*openRead)(const char* path, ttFile* file);
  std::uint32_t (*fileSize)(ttFile file, std::uint64_t* size);
  // Reads up to n bytes; *got receives the count actually read.
  std::uint32_t (*readFile)(ttFile file, void* data, std::uint32_t n, std::uint32_t* got);
  void (*closeFile)(ttFile file);

  // Output files are written beside the target and renamed over it, so that a
  // failed save never damages an existing file. createTemp creates a new,
  // empty file in the target's folder and puts its path in tempPath.
  std::uint32_t (*createTemp)(const char* target, std::string* tempPath, ttFile* file);
  // Writes all n bytes, or fails with a code (a short write is a failure).
  std::uint32_t (*writeAll)(ttFile file, const void* data, std::uint32_t n);
  // Closes a file that was written; a failure to flush it is reported.
  std::uint32_t (*closeWritten)(ttFile file);
  // Replaces target by source atomically where the platform allows.
  std::uint32_t (*replaceFile)(const char* source, const char* target);
  void (*removeFile)(const char* path);
  // True when something (file, folder, ...) exists at the path.
  bool (*pathExists)(const char* path);

  // The system's own text for an error code in the system's default language.
  // False when the system has none.
  bool (*systemErrorText)(std::uint32_t code, std::string* text);
  // Modal message box owned by `owner`.
  void (*messageBox)(ttWindow owner, const char* text, const char* caption, unsigned style);

  // The open and save file dialogs. `path` is a kPathBufferSize buffer that
  // starts empty; true when the user chose a file. False when the user
  // cancelled, *error then 0, or when the dialog failed, *error then the
  // dialog's own code (CommDlgExtendedError's on Windows).
  bool (*openFileDialog)(ttWindow owner, char* path, std::uint32_t* error);
  bool (*saveFileDialog)(ttWindow owner, char* path, std::uint32_t* error);
  // Dialog fields by control id. getItemText behaves as GetDlgItemTextA:
  // copies at most max - 1 bytes and a terminating zero, returns the count.
  void (*setItemText)(ttWindow owner, int id, const char* text);
  std::uint32_t (*getItemText)(ttWindow owner, int id, char* buffer, int max);
};

// The table in use. Front ends set it before any command runs.
extern const ttPlatform* Platform;

// Shows the system's text for `code` in a modal error box owned by `window`;
// nothing for code 0. Falls back to a fixed text when the system has none.
void ShowSystemError(ttWindow window, std::uint32_t code);

// An error box with the system's caption and style, owned by `window`.
void ShowErrorMessage(ttWindow window, const char* text);
