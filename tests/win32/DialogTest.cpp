// The main dialog, created from template 101 in this process and driven with
// clicks, typed text, Enter and real HDROPs. Files and system error texts are
// real; message boxes are recorded and the file dialogs answered through the
// seams. The commands' checks, messages and states are tested on Linux
// (tests/app): here one row per path shows that the Windows front end reaches
// them, beside what only Windows does. Last, the temporary file of a save
// with memory running out at each allocation.

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>  // DROPFILES

#include <algorithm>
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
using smftest::EndOfTrack;
using smftest::Tempo;

// Allocations fail on demand: while allocationsLeft is 0 the next one throws.
int allocationsLeft = -1;  // -1: none fails
void* operator new(std::size_t n) {
  if (allocationsLeft > 0) {
    --allocationsLeft;
  } else if (allocationsLeft == 0) {
    allocationsLeft = -1;
    throw std::bad_alloc();
  }
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

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (const char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x ", static_cast<unsigned char>(c) + 0u);
    out += buffer;
  }
  return out;
}
// The system's text for a code, asked as the program must: system table,
// system default language.
std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0800, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  const std::string text = n != 0 ? std::string(buffer, n) : std::string();
  LocalFree(buffer);
  return text;
}
// The names in a folder (ending in a backslash), sorted, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder) {
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

HWND dialog = nullptr;
std::string boxes;  // the message boxes shown: [text] each, [text|caption] when real

// The OPENFILENAMEA of the first open and save dialog, described; the file
// that the "user" picks, or cancels with an empty answer. kFails makes the
// real common dialog fail: it refuses a structure size of 0 (CDERR_STRUCTSIZE).
std::string openSeen, saveSeen, openAnswer, saveAnswer;
const std::string kFails = "<fails>";

BOOL Answer(std::string& seen, OPENFILENAMEA* f, const std::string& answer,
            BOOL(WINAPI* real)(LPOPENFILENAMEA)) {
  std::size_t n = 0;
  while (f->lpstrFilter[n] != '\0' || f->lpstrFilter[n + 1] != '\0')
    ++n;
  if (seen.empty()) {
    seen = "size " + std::to_string(f->lStructSize) + (f->hwndOwner == dialog ? " owner" : "") +
           " index " + std::to_string(f->nFilterIndex) + " file " + std::to_string(f->nMaxFile) +
           " [" + f->lpstrFile + "] flags " + std::to_string(f->Flags) + " ext " +
           (f->lpstrDefExt ? f->lpstrDefExt : "") + " filter " +
           Hex(std::string(f->lpstrFilter, n + 2));
  }
  if (answer == kFails) {
    OPENFILENAMEA refused = *f;
    refused.lStructSize = 0;
    return real(&refused);
  }
  lstrcpynA(f->lpstrFile, answer.c_str(), static_cast<int>(f->nMaxFile));
  return !answer.empty();
}
BOOL WINAPI FakeOpen(LPOPENFILENAMEA f) {
  return Answer(openSeen, f, openAnswer, GetOpenFileNameA);
}
BOOL WINAPI FakeSave(LPOPENFILENAMEA f) {
  return Answer(saveSeen, f, saveAnswer, GetSaveFileNameA);
}

ttPlatform testPlatform;
std::string folder, source, output, held;

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
// Puts the tempo (unless null) into its field, then saves.
void Save(const char* tempo, const std::string& answer) {
  if (tempo != nullptr)
    SetDlgItemTextA(dialog, IDC_TARGET_BPM, tempo);
  saveAnswer = answer;
  Click(IDC_SAVE_AS);
}
// A drop list as the shell builds it: names, each zero-ended, then one more zero.
void Drop(const std::vector<std::string>& paths, bool wide = false) {
  std::string list;
  for (const std::string& path : paths) {
    const std::wstring name = Wide(path, 932);
    list += wide ? std::string(reinterpret_cast<const char*>(name.c_str()), name.size() * 2 + 2)
                 : path + '\0';
  }
  list.append(4, '\0');
  const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = wide;
  std::memcpy(drop + 1, list.data(), list.size());
  GlobalUnlock(memory);
  SendMessageA(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);  // DragFinish frees it
}
std::string Write(const char* name, const std::string& bytes) {
  WriteBytes(folder + J(name), bytes);
  return folder + J(name);
}

// The real MessageBoxA, read and answered by a hook.
HHOOK hook = nullptr;
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
  return CallNextHookEx(hook, code, wParam, lParam);
}
void RealSystemError(std::uint32_t code) {
  Platform = &kWin32Platform;
  hook = SetWindowsHookExA(WH_CBT, CatchBox, nullptr, GetCurrentThreadId());
  ShowSystemError(dialog, code);
  UnhookWindowsHookEx(hook);
  Platform = &testPlatform;
}

// The source: 120 BPM; odd ticks, so that a save that started from an earlier
// result instead of the loaded file would round differently.
smftest::Track SourceEvents() {
  return {{0, Tempo(500000)},        {0, {0x90, 0x3C, 0x64}},    {481, {0x80, 0x3C, 0x40}},
          {961, {0x90, 0x3E, 0x64}}, {1201, {0x80, 0x3E, 0x40}}, {1201, EndOfTrack()}};
}
// Every tick scaled by 500000 / tempo, halves up; the tempo event carries it.
std::string Converted(std::uint32_t tempo) {
  smftest::Track events = SourceEvents();
  events[0].bytes = Tempo(tempo);
  for (smftest::TimedEvent& event : events)
    event.time = static_cast<std::uint32_t>(event.time * 500000.0 / tempo + 0.5);
  return Smf(0, 480, events);
}

void SaveOverHeldFile() {
  const HANDLE holder =
      CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Save(nullptr, held);
  CloseHandle(holder);
}
void PressEnter() {
  SetDlgItemTextA(dialog, IDC_TARGET_BPM, "60");
  saveAnswer = output;
  SetFocus(GetDlgItem(dialog, IDC_TARGET_BPM));
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
  for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) {
    if (!IsDialogMessageA(dialog, &m))
      DispatchMessageA(&m);
  }
}

// One user action: what is done, then the fields 1001|1004 it leaves (no
// source: "|"), the message box it shows (none when empty) and what the
// output file, "old" before each step, then holds.
struct Step {
  std::string name;
  std::function<void()> act;
  std::string shown, message, file = "old";
};

void RunSteps() {
  const std::string other =
      Write(u8"最大.mid", Smf(0, 96, {{0, Tempo(16777215)}, {0, EndOfTrack()}}));
  const std::vector<std::string> three = {source, other, other};
  const std::string missing = folder + J(u8"無いソ.mid");
  const std::string nowhere = folder + J(u8"無いフォルダ表\\出力.mid");
  const std::string none = "|", loaded = source + "|120.0", error = "|" + J(u8"エラー");
  WriteBytes(output, "old");
  const std::vector<std::string> before = ListFolder(folder);
  const Step steps[] = {
      {"browse", [] { Browse(source); }, loaded, ""},
      {"save, 125 spaces and 120: 127 bytes read, 12 BPM",
       [] { Save((std::string(125, ' ') + "120").c_str(), output); }, loaded, "",
       Converted(5000000)},
      {"save dialog cancelled", [] { Save("90", ""); }, loaded, ""},
      {"save dialog fails: said with its code, nothing written", [] { Save("90", kFails); }, loaded,
       J(u8"ファイル ダイアログを表示できませんでした。(エラー コード 0x0001)")},
      {"Enter in the tempo field saves at 60 BPM, from the loaded file", PressEnter, loaded, "",
       Converted(1000000)},
      {"save into a missing folder: CreateFileA's system text", [&] { Save(nullptr, nowhere); },
       loaded, SystemText(ERROR_PATH_NOT_FOUND)},
      {"save over a file held open without sharing", SaveOverHeldFile, loaded,
       SystemText(ERROR_SHARING_VIOLATION)},
      {"real MessageBoxA, code 5", [] { RealSystemError(5); }, loaded, SystemText(5) + error},
      {"real MessageBoxA, unknown code", [] { RealSystemError(0x2000FFFF); }, loaded,
       J(u8"予期せぬエラーが発生しました。") + error},
      {"browse a missing file: CreateFileA's system text", [&] { Browse(missing); }, none,
       SystemText(ERROR_FILE_NOT_FOUND)},
      {"drop of three files: only the first is loaded", [&] { Drop(three); }, loaded, ""},
      {"drop of a UTF-16 list: the path arrives in CP932", [&] { Drop({other}, true); },
       other + "|3.5762789", ""},
      {"drop of no items", [] { Drop({}); }, none, ""},
      {"drop of a device: refused at once, not read", [] { Drop({"NUL"}); }, none,
       J(u8"通常のファイルではありません。")},
  };
  for (const Step& step : steps) {
    WriteBytes(output, "old");
    boxes.clear();
    step.act();
    const std::string got = Field(IDC_SOURCE_PATH) + "|" + Field(IDC_SOURCE_BPM) + " " + boxes +
                            " " + Hex(ReadBytes(output));
    const std::string want = step.shown + " " +
                             (step.message.empty() ? "" : "[" + step.message + "]") + " " +
                             Hex(step.file);
    Check(got == want, step.name, "got " + got + "\n  want " + want);
  }
  Check(ReadBytes(held) == "held" && ListFolder(folder) == before,
        "failed saves: the old file stays, no temporary file left");
}

// createTemp with each of its allocations failing in turn, until none does:
// a failure leaves no file (and so no open handle) behind.
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
      Check(code == 0 && n > 0 && left.empty(),
            "out of memory at each allocation of createTemp: no file left", left);
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
  source = Write(u8"元曲ソ.mid", Smf(0, 480, SourceEvents()));
  held = Write(u8"使用中ソ.mid", "held");
  testPlatform = kWin32Platform;
  testPlatform.messageBox = [](ttWindow, const char* text, const char*, unsigned) {
    boxes += "[" + std::string(text) + "]";
  };
  Platform = &testPlatform;
  CommonDialogs = {FakeOpen, FakeSave};

  dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDlgProc, 0);
  ShowWindow(dialog, SW_SHOW);
  RunSteps();
  // Size 76 on 32-bit (without the Windows 2000 fields), a 260-byte buffer
  // starting empty, flags 0x1004 and 0x806, "mid", the two filter pairs.
  const std::string common =
      "size " + std::to_string(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(void*)) +
      " owner index 1 file 260 [] flags ";
  const std::string filter = Hex(J(u8"標準 MIDI ファイル (*.mid)") + '\0' + "*.mid" + '\0' +
                                 J(u8"全てのファイル (*.*)") + '\0' + "*.*" + '\0' + '\0');
  Check(openSeen == common + "4100 ext mid filter " + filter, "open dialog's OPENFILENAMEA",
        openSeen);
  Check(saveSeen == common + "2054 ext mid filter " + filter, "save dialog's OPENFILENAMEA",
        saveSeen);
  CreateTempOutOfMemory();
  for (const std::string& name : ListFolder(folder))
    DeleteFileA((folder + name).c_str());
  RemoveDirectoryA(folder.c_str());
  return Finish();
}
