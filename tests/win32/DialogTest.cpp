// The main dialog, created from template 101 in this process and driven with
// clicks, typed text, Enter, real HDROPs and, in a real modal run, Escape and
// the close box. Files and system error texts are real; message boxes are
// recorded and the file dialogs answered through the seams. The tempo text's
// grammar and the loader's rules are tested on Linux (tests/app): a few rows
// here show that the Windows front end reaches them. Last, the temporary file
// of a save with memory running out at each allocation.

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>  // DROPFILES

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "MainDialog.h"
#include "TestKit.h"
#include "Win32Platform.h"

using namespace wintest;

// Allocations fail on demand: while allocationsLeft is 0 the next one throws.
int allocationsLeft = -1;  // -1: none fails
void* operator new(std::size_t n) {
  if (allocationsLeft == 0) {
    allocationsLeft = -1;
    throw std::bad_alloc();
  }
  if (allocationsLeft > 0)
    --allocationsLeft;
  if (void* block = std::malloc(n != 0 ? n : 1))
    return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

HWND dialog = nullptr;
std::string boxes;  // the message boxes shown, described as Box() does
std::string Box(const std::string& text, const std::string& caption = J(u8"エラー"),
                HWND owner = dialog, unsigned style = MB_ICONERROR) {
  return text.empty() ? ""
                      : "[" + text + "|" + caption + (owner == dialog ? "|dialog|" : "|other|") +
                            std::to_string(style) + "]";
}
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
  const bool others = f->hInstance || f->lpstrCustomFilter || f->lpstrFileTitle ||
                      f->lpstrInitialDir || f->lpstrTitle || f->lpfnHook || f->lpTemplateName;
  if (seen.empty()) {
    seen = "size " + std::to_string(f->lStructSize) + (f->hwndOwner == dialog ? " owner" : "") +
           " index " + std::to_string(f->nFilterIndex) + " file " + std::to_string(f->nMaxFile) +
           " [" + f->lpstrFile + "] flags " + std::to_string(f->Flags) + " ext " +
           (f->lpstrDefExt ? f->lpstrDefExt : "") + (others ? " more" : "") + " filter " +
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
// Types the tempo (unless null), one WM_CHAR per UTF-16 unit, then saves.
void Save(const char* tempo, const std::string& answer) {
  if (tempo != nullptr) {
    const HWND edit = GetDlgItem(dialog, IDC_TARGET_BPM);
    SetWindowTextA(edit, "");
    for (const wchar_t c : Wide(tempo))
      SendMessageW(edit, WM_CHAR, c, 1);
  }
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
    boxes += Box(text, caption, GetWindow(box, GW_OWNER));  // (the icon is not looked at)
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
Track SourceEvents() {
  return {{0, TempoEvent(500000)}, {0, "\x90\x3C\x64"},    {481, "\x80\x3C\x40"},
          {961, "\x90\x3E\x64"},   {1201, "\x80\x3E\x40"}, {1201, kEnd}};
}
// Every tick scaled by 500000 / tempo, halves up; the tempo event carries it.
std::string Converted(std::uint32_t tempo) {
  Track events = SourceEvents();
  events[0].bytes = TempoEvent(tempo);
  for (TimedEvent& event : events)
    event.time = static_cast<std::uint32_t>(event.time * 500000.0 / tempo + 0.5);
  return Smf(0, 480, events);
}

// The failure rows whose system text is real: a target held open without
// sharing, then a write that fails.
void SaveOverHeldFile() {
  const HANDLE holder =
      CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Save(nullptr, held);
  CloseHandle(holder);
}
void SaveWithFailingWrite() {
  testPlatform.writeAll = [](ttFile, const void*, std::uint32_t) -> std::uint32_t {
    return ERROR_DISK_FULL;
  };
  Save(nullptr, held);
  testPlatform.writeAll = kWin32Platform.writeAll;
}
void PressEnter() {
  saveAnswer = output;
  SetFocus(GetDlgItem(dialog, IDC_TARGET_BPM));
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
  for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) {
    if (!IsDialogMessageA(dialog, &m))
      DispatchMessageA(&m);
  }
}

// The system's code for a CreateFileA that fails on `path`.
DWORD CreateFileError(const std::string& path, DWORD disposition) {
  CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
  return GetLastError();
}

// One user action, from a state with or without a loaded source: what is
// done, then the fields 1001|1004 it leaves (no source: "|"), the message box
// it shows (none when empty) and what the output file, "old" before each
// step, then holds.
struct Step {
  std::string name;
  std::function<void()> act;
  std::string shown, message, file = "old";
};

void RunSteps() {
  const std::string other = Write(u8"最大.mid", Smf(0, 96, {{0, TempoEvent(16777215)}, {0, kEnd}}));
  const std::string empty = Write(u8"空.mid", ""), text = Write(u8"文表.mid", "RIFF");
  const std::string format2 = Write(u8"形式2.mid", Smf(2, 96, {{0, kEnd}}));
  const std::string missing = folder + J(u8"無いソ.mid");
  const std::string nowhere = folder + J(u8"無いフォルダ表\\出力.mid");
  const std::string noSource = J(u8"変換元の SMF を指定してください。");
  const std::string dialogFailed =
      J(u8"ファイル ダイアログを表示できませんでした。(エラー コード 0x0001)");
  const std::string invalid = J(u8"有効な SMF ではありません。");
  const std::string none = "|", loaded = source + "|120.0", otherLoaded = other + "|3.5762789";
  const std::string folderPath = folder.substr(0, folder.size() - 1);
  WriteBytes(output, "old");
  const std::vector<std::string> before = ListFolder(folder);
  const Step steps[] = {
      {"start", [] {}, none, ""},
      {"browse", [] { Browse(source); }, loaded, ""},
      {"open dialog cancelled after a load", [] { Browse(""); }, none, ""},
      {"save, no source, empty tempo", [] { Save("", output); }, none, noSource},
      {"save, no source, tempo 120", [] { Save("120", output); }, none, noSource},
      {"drop of a file", [] { Drop({source}); }, loaded, ""},
      {"save, empty tempo", [] { Save("", output); }, loaded,
       J(u8"変換後のテンポを指定してください。")},
      {"save, tempo abc", [] { Save("abc", output); }, loaded,
       J(u8"変換後のテンポが小さすぎます。1以上の値を指定してください。")},
      {"save, tempo 60000001", [] { Save("60000001", output); }, loaded,
       J(u8"変換後のテンポが範囲外です。3.5762787 以上 60000000 以下の値を指定してください。")},
      {"save, 125 spaces and 120: 127 bytes read, 12 BPM",
       [] { Save((std::string(125, ' ') + "120").c_str(), output); }, loaded, "",
       Converted(5000000)},
      {"save at 90 BPM, save dialog cancelled", [] { Save("90", ""); }, loaded, ""},
      {"save at 90 BPM, save dialog fails: said, nothing written", [] { Save("90", kFails); },
       loaded, dialogFailed},
      {"save at 60 BPM: from the loaded file", [] { Save("60", output); }, loaded, "",
       Converted(1000000)},
      {"Enter in the tempo field saves", PressEnter, loaded, "", Converted(1000000)},
      {"save into a missing folder: CreateFileA's system text", [&] { Save(nullptr, nowhere); },
       loaded, SystemText(CreateFileError(nowhere, CREATE_ALWAYS))},
      {"save over a file held open without sharing", SaveOverHeldFile, loaded,
       SystemText(ERROR_SHARING_VIOLATION)},
      {"save with a failing write", SaveWithFailingWrite, loaded, SystemText(ERROR_DISK_FULL)},
      {"real MessageBoxA, code 5", [] { RealSystemError(5); }, loaded, SystemText(5)},
      {"real MessageBoxA, unknown code", [] { RealSystemError(0x2000FFFF); }, loaded,
       J(u8"予期せぬエラーが発生しました。")},
      {"refused: empty file", [&] { Drop({empty}); }, none, invalid},
      {"refused: not an SMF", [&] { Drop({text}); }, none, invalid},
      {"refused: format 2", [&] { Drop({format2}); }, none, J(u8"対応していない SMF 形式です。")},
      {"browse a missing file: CreateFileA's system text", [&] { Browse(missing); }, none,
       SystemText(CreateFileError(missing, OPEN_EXISTING))},
      {"drop of a file at tempo 16777215", [&] { Drop({other}); }, otherLoaded, ""},
      {"drop of three files: the first loaded, the others not looked at",
       [&] {
         Drop({source, empty, other});
       },
       loaded, ""},
      {"drop of a UTF-16 list: the path arrives in CP932", [&] { Drop({other}, true); },
       otherLoaded, ""},
      {"open dialog fails after a load: said, no source", [] { Browse(kFails); }, none,
       dialogFailed},
      {"drop of no items", [] { Drop({}); }, none, ""},
      {"drop of a device: refused at once, not read", [] { Drop({"NUL"}); }, none,
       J(u8"通常のファイルではありません。")},
      {"drop of a folder", [&] { Drop({folderPath}); }, none,
       SystemText(CreateFileError(folderPath, OPEN_EXISTING))},
  };
  for (const Step& step : steps) {
    WriteBytes(output, "old");
    boxes.clear();
    step.act();
    const std::string got = Field(IDC_SOURCE_PATH) + "|" + Field(IDC_SOURCE_BPM) + " " + boxes +
                            " " + Hex(ReadBytes(output));
    const std::string want = step.shown + " " + Box(step.message) + " " + Hex(step.file);
    Check(got == want && SourceLoaded == (step.shown != none), step.name,
          "got " + got + "\n  want " + want);
  }
  Check(ReadBytes(held) == "held" && ListFolder(folder) == before,
        "failed saves: the old file stays, no temporary file left");
  Check(Field(IDC_TARGET_BPM) == "60", "the typed tempo is never written by the program");
}

// The real modal run, driven by a timer of its own thread: first Escape, then
// the close box.
int ticks = 0;
bool openAfterEscape = false;
void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
  if (++ticks == 1) {
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
  } else {
    KillTimer(nullptr, timer);
    openAfterEscape = IsWindowVisible(GetActiveWindow());
    PostMessageA(GetActiveWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
  }
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
      allocationsLeft = -1;
      if (ListFolder(folder) != before)
        left += " after allocation " + std::to_string(n);
    }
  }
}

}  // namespace

int main() {
  Check(GetACP() == 932, "environment: code page 932");
  Check(std::string("ソ表") == "\x83\x5C\x95\x5C",
        "literals compiled to CP932, 0x5C trail bytes kept");
  folder = MakeTestFolder("dialog");
  output = folder + J(u8"出力ソ.mid");
  source = Write(u8"元曲ソ.mid", Smf(0, 480, SourceEvents()));
  held = Write(u8"使用中ソ.mid", "held");
  testPlatform = kWin32Platform;
  testPlatform.messageBox = [](ttWindow owner, const char* text, const char* caption,
                               unsigned style) {
    boxes += Box(text, caption, static_cast<HWND>(owner), style);
  };
  Platform = &testPlatform;
  CommonDialogs = {FakeOpen, FakeSave};

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
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
  DestroyWindow(dialog);
  MSG quit;
  PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by WM_DESTROY

  SetTimer(nullptr, 0, 300, Tick);
  const INT_PTR result =
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), GetDesktopWindow(), MainDlgProc, 0);
  quit.wParam = 99;
  const bool posted = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  Check(openAfterEscape, "modal: Escape leaves the dialog open");
  Check(result == 0 && posted && quit.wParam == 0, "modal: the close box ends it with 0, quit 0",
        "result " + std::to_string(result) + " quit " + std::to_string(posted ? quit.wParam : 99));
  CreateTempOutOfMemory();
  RemoveFolder(folder);
  return Finish();
}
