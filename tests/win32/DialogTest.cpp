// The main dialog from template 101, driven in this process with clicks and
// real HDROPs, real files, system texts and message boxes; the file dialogs
// answered through their seam. The commands' rules are tested in tests/app.

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>  // DROPFILES

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "MainDialog.h"
#include "TestKit.h"
#include "Win32Platform.h"

using namespace wintest;

// Allocations fail on demand: the one allocationsLeft counts down to throws.
int allocationsLeft = -1;  // -1: none fails
void* operator new(std::size_t n) {
  if (allocationsLeft >= 0 && allocationsLeft-- == 0)
    throw std::bad_alloc();
  void* block = std::malloc(n != 0 ? n : 1);
  return block != nullptr ? block : throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

// The system's text for a code, asked as the program must (system default language).
std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0800, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  const std::string text = n != 0 ? std::string(buffer, n) : std::string();
  LocalFree(buffer);
  return text;
}
// The names in a folder (ending in a backslash), "." and ".." included.
std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    names.push_back(found.cFileName);
  FindClose(search);
  return names;
}

HWND dialog = nullptr;
std::string folder, source, output, held;

// Each message box shown, as [text|caption], and answered.
std::string boxes;
LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam) {
  const HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && box != dialog) {
    char text[1024] = {}, caption[64] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    GetWindowTextA(box, caption, sizeof caption);
    boxes += "[" + std::string(text) + "|" + caption +
             (GetWindow(box, GW_OWNER) == dialog ? "]" : "|not owned by the dialog]");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The file dialogs answered: the file picked, a cancel (empty), or kFails: the
// real dialog refusing a structure size of 0. Each call checks the OPENFILENAMEA
// (76 bytes on 32-bit: without the Windows 2000 fields).
std::string openAnswer, saveAnswer;
const std::string kFails = "<fails>";
BOOL Answer(OPENFILENAMEA* f, const std::string& answer, DWORD flags,
            BOOL(WINAPI* real)(LPOPENFILENAMEA)) {
  const std::string filter = J(u8"標準 MIDI ファイル (*.mid)") + '\0' + "*.mid" + '\0' +
                             J(u8"全てのファイル (*.*)") + '\0' + "*.*" + '\0' + '\0';
  std::size_t n = 0;
  while (f->lpstrFilter[n] != '\0' || f->lpstrFilter[n + 1] != '\0')
    ++n;
  Check(f->lStructSize == offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(void*) &&
            f->hwndOwner == dialog && f->nFilterIndex == 1 && f->nMaxFile == 260 &&
            f->lpstrFile[0] == '\0' && f->Flags == flags && f->lpstrDefExt != nullptr &&
            std::string(f->lpstrDefExt) == "mid" && std::string(f->lpstrFilter, n + 2) == filter,
        "the OPENFILENAMEA, flags " + std::to_string(flags));
  if (answer == kFails) {
    OPENFILENAMEA refused = *f;
    refused.lStructSize = 0;
    return real(&refused);
  }
  lstrcpynA(f->lpstrFile, answer.c_str(), static_cast<int>(f->nMaxFile));
  return !answer.empty();
}
BOOL WINAPI FakeOpen(LPOPENFILENAMEA f) {
  return Answer(f, openAnswer, 0x1004, GetOpenFileNameA);
}
BOOL WINAPI FakeSave(LPOPENFILENAMEA f) {
  return Answer(f, saveAnswer, 0x806, GetSaveFileNameA);
}

std::string Field(int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}
void Click(int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
void Browse(const std::string& answer) {
  openAnswer = answer;
  Click(IDC_BROWSE);
}
void Save(const char* tempo, const std::string& answer) {
  if (tempo != nullptr)
    SetDlgItemTextA(dialog, IDC_TARGET_BPM, tempo);
  saveAnswer = answer;
  Click(IDC_SAVE_AS);
}
// A drop list as the shell builds it.
void Drop(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths)
    list += path + '\0';
  list += '\0';
  const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  std::memcpy(drop + 1, list.data(), list.size());
  GlobalUnlock(memory);
  SendMessageA(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);  // DragFinish frees it
}
std::string Write(const char* name, const std::string& bytes) {
  WriteBytes(folder + J(name), bytes);
  return folder + J(name);
}

void SaveOverHeldFile() {
  const HANDLE holder =
      CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Save(nullptr, held);
  CloseHandle(holder);
}

// One action, then the fields 1001|1004, the message box and the output file.
struct Step {
  std::string name;
  std::function<void()> act;
  std::string shown, message, file = "old";
};

void RunSteps() {
  const std::string missing = folder + J(u8"無いソ.mid");
  const std::string nowhere = folder + J(u8"無いフォルダ表\\出力.mid");
  const std::string none = "|", loaded = source + "|120.0";
  const std::vector<std::string> three = {source, missing, "NUL"};  // lengths differ
  WriteBytes(output, "old");
  const std::vector<std::string> before = ListFolder(folder);
  const Step steps[] = {
      {"browse", [] { Browse(source); }, loaded, ""},
      {"save, 125 spaces and 120: 127 bytes read, 12 BPM",
       [] { Save((std::string(125, ' ') + "120").c_str(), output); }, loaded, "",
       Smf(0, 480,
           {{0, smftest::Tempo(5000000)}, {0, smftest::NoteOn(60)}, {48, smftest::EndOfTrack()}})},
      {"save dialog cancelled", [] { Save("90", ""); }, loaded, ""},
      {"save dialog fails: said with its code, nothing written", [] { Save("90", kFails); }, loaded,
       J(u8"ファイル ダイアログを表示できませんでした。(エラー コード 0x0001)")},
      {"save into a missing folder: CreateFileA's system text", [&] { Save(nullptr, nowhere); },
       loaded, SystemText(ERROR_PATH_NOT_FOUND)},
      {"save over a file held open without sharing", SaveOverHeldFile, loaded,
       SystemText(ERROR_SHARING_VIOLATION)},
      {"a code the system has no text for", [] { ShowSystemError(dialog, 0x2000FFFF); }, loaded,
       J(u8"予期せぬエラーが発生しました。")},
      {"browse a missing file: CreateFileA's system text", [&] { Browse(missing); }, none,
       SystemText(ERROR_FILE_NOT_FOUND)},
      {"drop of three files: only the first is loaded", [&] { Drop(three); }, loaded, ""},
      {"drop of no items", [] { Drop({}); }, none, ""},
      {"drop of a device: refused at once, not read", [] { Drop({"NUL"}); }, none,
       J(u8"通常のファイルではありません。")},
  };
  for (const Step& step : steps) {
    WriteBytes(output, "old");
    boxes.clear();
    step.act();
    const std::string got = Field(IDC_SOURCE_PATH) + "|" + Field(IDC_SOURCE_BPM) + " " + boxes;
    const std::string want =
        step.shown + " " +
        (step.message.empty() ? "" : "[" + step.message + "|" + J(u8"エラー") + "]");
    Check(got == want && ReadBytes(output) == step.file, step.name,
          "got " + got + "\n  want " + want +
              "\n  output as expected: " + (ReadBytes(output) == step.file ? "yes" : "no"));
  }
  Check(ReadBytes(held) == "held" && ListFolder(folder) == before,
        "failed saves: the old file stays, no temporary file left");
}

// createTemp with each allocation failing in turn leaves no temporary file.
void CreateTempOutOfMemory() {
  const std::vector<std::string> before = ListFolder(folder);
  std::string left;
  for (int n = 0;; ++n) {
    std::string path;
    ttFile file = 0;
    allocationsLeft = n;
    try {
      const std::uint32_t code = kWin32Platform.createTemp(output.c_str(), &path, &file);
      allocationsLeft = -1;
      Check(code == 0 && n > 0 && left.empty(), "createTemp out of memory: no file left", left);
      CloseHandle(reinterpret_cast<HANDLE>(file));
      DeleteFileA(path.c_str());
      return;
    } catch (const std::bad_alloc&) {
      if (ListFolder(folder) != before)
        left += " after allocation " + std::to_string(n);
    }
  }
}

}  // namespace

int main() {
  Check(GetACP() == 932, "environment: code page 932");
  // A folder whose name holds 表 and ソ, CP932 characters whose second byte
  // is 0x5C, the separator's.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  folder = temp + J(u8"テンポ表ソ_") + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  output = folder + J(u8"出力ソ.mid");
  source = Write(
      u8"元曲ソ.mid",
      Smf(0, 480,
          {{0, smftest::Tempo(500000)}, {0, smftest::NoteOn(60)}, {481, smftest::EndOfTrack()}}));
  held = Write(u8"使用中ソ.mid", "held");
  Platform = &kWin32Platform;
  CommonDialogs = {FakeOpen, FakeSave};

  dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDlgProc, 0);
  ShowWindow(dialog, SW_SHOW);
  const HHOOK hook = SetWindowsHookExA(WH_CBT, CatchBox, nullptr, GetCurrentThreadId());
  RunSteps();
  UnhookWindowsHookEx(hook);
  CreateTempOutOfMemory();
  for (const std::string& name : ListFolder(folder))
    DeleteFileA((folder + name).c_str());
  RemoveDirectoryA(folder.c_str());
  return Finish();
}
