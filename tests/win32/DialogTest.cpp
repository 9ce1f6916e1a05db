// The main dialog, created from template 101 and driven in this process: the
// states and their transitions, the three input checks in their order, the
// number rule of the tempo field, loads and their refusals, drops through
// real HDROPs, Enter and Escape, the close box, and the files that saves
// leave behind. File access and the system's error texts are the real Win32
// ones; message boxes are recorded and the two file dialogs are answered in
// place of a user (the program's OPENFILENAMEA is checked as it arrives).
// Expected texts are UTF-8 here and turned into code page 932 by Windows.

#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>  // DROPFILES

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "MainDialog.h"
#include "TestKit.h"
#include "Win32Platform.h"

using wintest::Check;
using wintest::CheckBytes;
using wintest::J;
using wintest::SystemText;

namespace {

// ---- what the program shows and asks, recorded -----------------------------

struct Box {
  HWND owner;
  std::string text, caption;
  unsigned style;
};
std::vector<Box> boxes;

void RecordMessageBox(ttWindow owner, const char* text, const char* caption, unsigned style) {
  boxes.push_back({static_cast<HWND>(owner), text, caption, style});
}

struct FileDialogCall {
  OPENFILENAMEA fields;
  std::string filter;  // up to and including the closing double zero
  char initialName;    // first byte of lpstrFile when the dialog opens
};
std::vector<FileDialogCall> openCalls, saveCalls;
std::string openAnswer;  // the file the "user" picks; empty: the user cancels
std::string saveAnswer;

FileDialogCall Record(const OPENFILENAMEA* dialog) {
  FileDialogCall call{*dialog, {}, dialog->lpstrFile != nullptr ? dialog->lpstrFile[0] : '?'};
  const char* filter = dialog->lpstrFilter;
  if (filter != nullptr) {
    std::size_t n = 0;
    while (filter[n] != '\0' || filter[n + 1] != '\0')
      ++n;
    call.filter.assign(filter, n + 2);
  }
  return call;
}

BOOL Answer(OPENFILENAMEA* dialog, const std::string& answer) {
  if (answer.empty())
    return FALSE;
  lstrcpynA(dialog->lpstrFile, answer.c_str(), static_cast<int>(dialog->nMaxFile));
  return TRUE;
}

BOOL WINAPI FakeGetOpenFileName(LPOPENFILENAMEA dialog) {
  openCalls.push_back(Record(dialog));
  return Answer(dialog, openAnswer);
}

BOOL WINAPI FakeGetSaveFileName(LPOPENFILENAMEA dialog) {
  saveCalls.push_back(Record(dialog));
  return Answer(dialog, saveAnswer);
}

std::uint32_t FailingWrite(ttFile, const void*, std::uint32_t) {
  return ERROR_DISK_FULL;
}

// ---- the dialog -------------------------------------------------------------

HWND dialog = nullptr;
ttPlatform testPlatform;
std::string folder;  // every file of the test lives here

std::string Field(int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void Click(int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Typing: one WM_CHAR per UTF-16 unit, as committed input-method text arrives.
void TypeTempo(const char* utf8) {
  const HWND edit = GetDlgItem(dialog, IDC_TARGET_BPM);
  SetWindowTextA(edit, "");
  for (const wchar_t c : wintest::W(utf8))
    SendMessageW(edit, WM_CHAR, c, 1);
}

// Runs what is queued through the dialog manager, as the modal loop would.
void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT)
      continue;
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void PressKey(int id, WPARAM key) {
  const HWND control = GetDlgItem(dialog, id);
  SetFocus(control);
  PostMessageA(control, WM_KEYDOWN, key, 0x00000001);
  PostMessageA(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  Pump();
}

HDROP MakeDrop(const void* list, std::size_t bytes, bool wide) {
  const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);  // zero-filled
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->pt.x = 10;
  drop->pt.y = 10;
  drop->fWide = wide;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list, bytes);
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);  // DragFinish in the dialog frees it
}

// Drops the paths (CP932) as the shell would: a double-zero-ended list.
void Drop(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths)
    list += path + '\0';
  list += '\0';
  if (paths.empty())
    list += '\0';
  SendMessageA(dialog, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop(list.data(), list.size(), false)), 0);
}

void DropWide(const std::wstring& path) {
  const std::wstring list = path + L'\0' + L'\0';
  SendMessageA(dialog, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop(list.data(), list.size() * sizeof(wchar_t), true)),
               0);
}

// Exactly one error box, owned by the dialog, with the caption and icon that
// every message of the program has.
void CheckOneBox(const std::string& name, const std::string& text) {
  const bool one = boxes.size() == 1;
  Check(one, name + ": one message box", one ? "" : std::to_string(boxes.size()) + " boxes");
  if (!one)
    return;
  CheckBytes(name + ": text", boxes[0].text, text);
  Check(boxes[0].owner == dialog && boxes[0].caption == J(u8"エラー") && boxes[0].style == 0x10,
        name + ": owned by the dialog, caption \"エラー\", MB_ICONERROR");
}

void CheckNoSource(const std::string& name) {
  Check(!SourceLoaded && Field(IDC_SOURCE_PATH).empty() && Field(IDC_SOURCE_BPM).empty(),
        name + ": no source, both fields empty",
        "path [" + Field(IDC_SOURCE_PATH) + "] bpm [" + Field(IDC_SOURCE_BPM) + "]");
}

void CheckLoaded(const std::string& name, const std::string& path, const char* bpm) {
  Check(SourceLoaded && Field(IDC_SOURCE_PATH) == path && Field(IDC_SOURCE_BPM) == bpm,
        name + ": loaded, path and BPM " + bpm + " shown",
        "path [" + Field(IDC_SOURCE_PATH) + "] bpm [" + Field(IDC_SOURCE_BPM) + "]");
}

// Leftover temporary files: the folder holds exactly the expected names.
void CheckFolderHolds(const std::string& name, std::vector<std::string> names) {
  std::vector<std::string> found = wintest::ListFolder(folder);
  std::sort(found.begin(), found.end());
  std::sort(names.begin(), names.end());
  std::string detail;
  for (const std::string& file : found)
    detail += "[" + file + "] ";
  Check(found == names, name, found == names ? "" : detail);
}

std::string BoxTexts() {
  std::string texts;
  for (const Box& box : boxes)
    texts += "[" + box.text + "] ";
  return texts;
}

// ---- test files -------------------------------------------------------------

const std::string kNoteOnC("\x90\x3C\x64", 3);
const std::string kNoteOffC("\x80\x3C\x40", 3);
const std::string kNoteOnD("\x90\x3E\x64", 3);
const std::string kNoteOffD("\x80\x3E\x40", 3);
const std::string kEnd(wintest::kEndOfTrack, 3);

// The main source: format 0, 480 ticks per quarter, 120 BPM.
wintest::Track SourceEvents() {
  return {{0, wintest::TempoEvent(500000)},
          {0, kNoteOnC},
          {480, kNoteOffC},
          {960, kNoteOnD},
          {1200, kNoteOffD},
          {1200, kEnd}};
}

// What saving the main source at `tempo` must give: the tempo event carries it
// and every tick is scaled by 500000 / tempo, halves rounded up.
std::string ConvertedSource(std::uint32_t tempo) {
  wintest::Track events = SourceEvents();
  events[0].bytes = wintest::TempoEvent(tempo);
  for (wintest::TimedEvent& event : events) {
    event.time = static_cast<std::uint32_t>(std::floor(event.time * 500000.0 / tempo + 0.5));
  }
  return wintest::Smf(0, 480, {events});
}

std::string source;         // the main source (120 BPM)
std::string sourceFormat1;  // two tracks, 60 BPM
std::string outputPath;

std::string WriteSource(const char* nameUtf8, const std::string& bytes) {
  const std::string path = folder + J(nameUtf8);
  Check(wintest::WriteBytes(path, bytes), std::string("setup: write ") + nameUtf8);
  return path;
}

// ---- groups -------------------------------------------------------------------

void StartState() {
  Check(dialog != nullptr, "start: the dialog is created from template 101");
  CheckNoSource("start");
  Check(Field(IDC_TARGET_BPM).empty(), "start: tempo field empty");
  Check(GetFocus() == GetDlgItem(dialog, IDC_SOURCE_PATH),
        "start: focus on the first tab stop (1001)");
}

void InputChecksInOrder() {
  const struct {
    const char* name;
    const char* tempo;  // UTF-8, typed
    bool loaded;
    const char* message;
  } rows[] = {
      {"no source, empty tempo", "", false, u8"変換元の SMF を指定してください。"},
      {"no source, tempo 120", "120", false, u8"変換元の SMF を指定してください。"},
      {"loaded, empty tempo", "", true, u8"変換後のテンポを指定してください。"},
      {"loaded, tempo abc", "abc", true,
       u8"変換後のテンポが小さすぎます。1以上の値を指定してください。"},
  };
  for (const auto& row : rows) {
    if (row.loaded) {
      Drop({source});
    } else {
      Drop({});
    }
    TypeTempo(row.tempo);
    boxes.clear();
    saveCalls.clear();
    Click(IDC_SAVE_AS);
    CheckOneBox(std::string("input checks: ") + row.name, J(row.message));
    Check(saveCalls.empty(), std::string("input checks: ") + row.name + ": no save dialog");
  }
}

void BrowseAndSaveDialogs() {
  openCalls.clear();
  openAnswer = source;
  boxes.clear();
  Click(IDC_BROWSE);
  CheckLoaded("browse", source, "120.0");
  Check(boxes.empty(), "browse: a good file shows no message");

  const std::string filter = J(u8"標準 MIDI ファイル (*.mid)") + '\0' + "*.mid" + '\0' +
                             J(u8"全てのファイル (*.*)") + '\0' + "*.*" + '\0' + '\0';
  const DWORD structSize =
      static_cast<DWORD>(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
  TypeTempo("60");
  saveAnswer = outputPath;
  saveCalls.clear();
  Click(IDC_SAVE_AS);
  Check(openCalls.size() == 1 && saveCalls.size() == 1, "file dialogs: each asked once");
  if (openCalls.size() != 1 || saveCalls.size() != 1)
    return;
  const struct {
    const char* name;
    const FileDialogCall& call;
    DWORD flags;
  } rows[] = {{"open dialog", openCalls[0], 0x1004}, {"save dialog", saveCalls[0], 0x806}};
  for (const auto& row : rows) {
    const OPENFILENAMEA& f = row.call.fields;
    const std::string name = std::string("file dialogs: ") + row.name;
    Check(f.lStructSize == structSize && (sizeof(void*) != 4 || f.lStructSize == 76),
          name + ": lStructSize without the Windows 2000 fields (76 on 32-bit)",
          std::to_string(f.lStructSize));
    Check(f.hwndOwner == dialog, name + ": owned by the dialog");
    CheckBytes(name + ": the two filter pairs in CP932", row.call.filter, filter);
    Check(f.nFilterIndex == 1 && f.nMaxFile == 260 && row.call.initialName == '\0',
          name + ": first filter, 260-byte path buffer starting empty");
    Check(f.Flags == row.flags, name + ": flags", std::to_string(f.Flags));
    Check(f.lpstrDefExt != nullptr && std::strcmp(f.lpstrDefExt, "mid") == 0,
          name + ": default extension mid");
    Check(f.hInstance == nullptr && f.lpstrCustomFilter == nullptr && f.lpstrFileTitle == nullptr &&
              f.lpstrInitialDir == nullptr && f.lpstrTitle == nullptr && f.lpfnHook == nullptr &&
              f.lpTemplateName == nullptr && f.lCustData == 0,
          name + ": no title, folder, hook or template");
  }
  CheckBytes("save: the file written is the converted source", wintest::ReadBytes(outputPath),
             ConvertedSource(1000000));
  CheckLoaded("save: display unchanged after a save", source, "120.0");

  openAnswer.clear();  // the user cancels the open dialog
  boxes.clear();
  Click(IDC_BROWSE);
  CheckNoSource("browse cancelled after a load");
  Check(boxes.empty(), "browse cancelled: no message");
  Click(IDC_SAVE_AS);
  CheckOneBox("save after a cancelled browse", J(u8"変換元の SMF を指定してください。"));
}

// The tempo field's number rule and range, each text on the loaded main
// source. Accepted texts are saved over the same output again and again: every
// save must start from the loaded source, never from an earlier result.
void TempoTexts() {
  const char* tooSmall = u8"変換後のテンポが小さすぎます。1以上の値を指定してください。";
  const char* outOfRange =
      u8"変換後のテンポが範囲外です。3.5763 以上 60000000 以下の値を指定してください。";
  const std::string spaces125(125, ' ');
  const struct {
    std::string text;  // UTF-8, typed
    const char* message;
    std::uint32_t tempo;  // when accepted
  } rows[] = {
      {"0", tooSmall, 0},
      {"0.5", tooSmall, 0},
      {"abc", tooSmall, 0},
      {"inf", tooSmall, 0},
      {"nan", tooSmall, 0},
      {"-120", tooSmall, 0},
      {u8"１２０", tooSmall, 0},
      {"   ", tooSmall, 0},
      {"1", outOfRange, 0},
      {"1,5", outOfRange, 0},
      {"3.5", outOfRange, 0},
      {"60000001", outOfRange, 0},
      {"1e400", outOfRange, 0},
      {"120abc", nullptr, 500000},
      {"  90", nullptr, 666666},
      {"1e2", nullptr, 600000},
      {"1d2", nullptr, 600000},
      {".5e1", nullptr, 12000000},
      {"3.6", nullptr, 16666666},
      {"60000000", nullptr, 1},
      {"240", nullptr, 250000},
      {spaces125 + "120", nullptr, 5000000},  // only 127 bytes are read: 12 BPM
      {"60", nullptr, 1000000},
  };
  Drop({source});
  saveAnswer = outputPath;
  for (const auto& row : rows) {
    const std::string name =
        "tempo text \"" + (row.text.size() > 20 ? "125 spaces + 120" : row.text) + "\"";
    TypeTempo(row.text.c_str());
    boxes.clear();
    saveCalls.clear();
    wintest::WriteBytes(outputPath, "old");
    Click(IDC_SAVE_AS);
    if (row.message != nullptr) {
      CheckOneBox(name, J(row.message));
      Check(saveCalls.empty() && wintest::ReadBytes(outputPath) == "old",
            name + ": no save dialog, nothing written");
    } else {
      Check(boxes.empty() && saveCalls.size() == 1, name + ": accepted without a message");
      CheckBytes(name + ": saved file", wintest::ReadBytes(outputPath), ConvertedSource(row.tempo));
    }
  }
  Check(Field(IDC_TARGET_BPM) == "60", "tempo field: never written by the program");

  // A cancelled save dialog writes nothing and shows nothing; the next save
  // still starts from the loaded source.
  TypeTempo("90");
  saveAnswer.clear();
  boxes.clear();
  wintest::WriteBytes(outputPath, "old");
  Click(IDC_SAVE_AS);
  Check(boxes.empty() && wintest::ReadBytes(outputPath) == "old",
        "save dialog cancelled: nothing shown or written");
  TypeTempo("60");
  saveAnswer = outputPath;
  Click(IDC_SAVE_AS);
  CheckBytes("save after a cancelled save: from the loaded source", wintest::ReadBytes(outputPath),
             ConvertedSource(1000000));
}

void DisplayedBpm() {
  using wintest::TempoEvent;
  const struct {
    const char* name;
    std::string bytes;
    const char* bpm;
  } rows[] = {
      {u8"テンポ500000.mid", wintest::Smf(0, 96, {{{0, TempoEvent(500000)}, {0, kEnd}}}), "120.0"},
      {u8"テンポ最大.mid", wintest::Smf(0, 96, {{{0, TempoEvent(16777215)}, {0, kEnd}}}),
       "3.5762789"},
      {u8"テンポ1.mid", wintest::Smf(0, 96, {{{0, TempoEvent(1)}, {0, kEnd}}}), "60000000.0"},
      {u8"テンポなし.mid", wintest::Smf(0, 96, {{{0, kNoteOnC}, {10, kEnd}}}), "120.0"},
      {u8"形式1表.mid", sourceFormat1, "60.0"},
  };
  for (const auto& row : rows) {
    const std::string path = WriteSource(row.name, row.bytes);
    boxes.clear();
    Drop({path});
    CheckLoaded(std::string("display: ") + row.name, path, row.bpm);
    DeleteFileA(path.c_str());
  }
  // The two-track file is merged into one track of format 0.
  const std::string merged = wintest::Smf(
      0, 480, {{{0, wintest::TempoEvent(500000)}, {0, kNoteOnC}, {960, kNoteOffC}, {960, kEnd}}});
  const std::string path = WriteSource(u8"形式1表.mid", sourceFormat1);
  Drop({path});
  TypeTempo("120");
  saveAnswer = outputPath;
  Click(IDC_SAVE_AS);
  CheckBytes("save: a format-1 source becomes one track of format 0",
             wintest::ReadBytes(outputPath), merged);
  DeleteFileA(path.c_str());
}

void LoadRefusals() {
  const char* invalid = u8"有効な SMF ではありません。";
  const char* unsupported = u8"対応していない SMF 形式です。";
  using wintest::TempoEvent;
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } rows[] = {
      {u8"空.mid", "", invalid},
      {u8"文字表.mid", "not a standard MIDI file", invalid},
      {u8"形式2.mid", wintest::Smf(2, 96, {{{0, kEnd}}}), unsupported},
      {u8"SMPTE.mid", wintest::Smf(0, 0xE250, {{{0, kEnd}}}), unsupported},
      {u8"途中テンポ.mid",
       wintest::Smf(0, 96, {{{0, kNoteOnC}, {240, TempoEvent(400000)}, {240, kEnd}}}), unsupported},
      {u8"テンポ2個.mid",
       wintest::Smf(0, 96, {{{0, TempoEvent(400000)}, {0, TempoEvent(400000)}, {0, kEnd}}}),
       unsupported},
  };
  for (const auto& row : rows) {
    const std::string path = WriteSource(row.name, row.bytes);
    Drop({source});
    boxes.clear();
    Drop({path});
    CheckOneBox(std::string("refused: ") + row.name, J(row.message));
    CheckNoSource(std::string("refused: ") + row.name);
    DeleteFileA(path.c_str());
  }

  // A path that does not exist: the system's text for CreateFileA's code.
  const std::string missing = folder + J(u8"無いソ.mid");
  SetLastError(0);
  const HANDLE probe = CreateFileA(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD code = GetLastError();
  Check(probe == INVALID_HANDLE_VALUE && code != 0 && !SystemText(code).empty(),
        "missing file: CreateFileA fails with a code the system has a text for",
        std::to_string(code));
  Drop({source});
  openAnswer = missing;
  boxes.clear();
  Click(IDC_BROWSE);
  CheckOneBox("missing file", SystemText(code));
  CheckNoSource("missing file");

  // A folder is handed to loading like any file, and refused there.
  Drop({source});
  boxes.clear();
  Drop({folder.substr(0, folder.size() - 1)});
  Check(boxes.size() == 1, "dropped folder: one message box");
  CheckNoSource("dropped folder");
}

void Drops() {
  TypeTempo("77");
  boxes.clear();
  const std::string bad = WriteSource(u8"壊れ表.mid", "MThd");
  const std::string second = WriteSource(u8"形式1表.mid", sourceFormat1);
  Drop({second, source, bad});
  CheckLoaded("drop of three files: only the first is loaded", second, "60.0");
  Check(boxes.empty(), "drop of three files: the others are not looked at");

  Drop({source});
  CheckLoaded("drop while loaded: replaces the source", source, "120.0");

  // Explorer's drops are UTF-16: DragQueryFileA hands the path over in CP932.
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(932, 0, second.c_str(), -1, wide, MAX_PATH);
  DropWide(wide);
  CheckLoaded("drop from Explorer (UTF-16 list): the path arrives in CP932", second, "60.0");
  boxes.clear();
  Drop({bad});
  CheckNoSource("drop of a bad file while loaded");

  Drop({source});
  boxes.clear();
  Drop({});
  CheckNoSource("drop without items");
  Check(boxes.empty(), "drop without items: no message", BoxTexts());
  Check(Field(IDC_TARGET_BPM) == "77", "drops leave the typed tempo alone");
  DeleteFileA(bad.c_str());
  DeleteFileA(second.c_str());
}

void SaveFailures() {
  Drop({source});
  TypeTempo("60");

  // A folder that does not exist: the system's text for the create's code.
  const std::string nowhere = folder + J(u8"無いフォルダ表") + "\\" + J(u8"出力.mid");
  const HANDLE probe = CreateFileA(nowhere.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD createCode = GetLastError();
  Check(probe == INVALID_HANDLE_VALUE, "save into a missing folder: CreateFileA fails",
        std::to_string(createCode));
  saveAnswer = nowhere;
  boxes.clear();
  Click(IDC_SAVE_AS);
  CheckOneBox("save into a missing folder", SystemText(createCode));

  // A target that another program holds open without sharing: the system's
  // text for the sharing violation, and the old file stays as it was.
  const std::string held = folder + J(u8"使用中ソ.mid");
  wintest::WriteBytes(held, "old contents");
  const HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE second = CreateFileA(held.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD shareCode = GetLastError();
  Check(holder != INVALID_HANDLE_VALUE && second == INVALID_HANDLE_VALUE &&
            shareCode == ERROR_SHARING_VIOLATION,
        "held target: a second open fails with a sharing violation", std::to_string(shareCode));
  saveAnswer = held;
  boxes.clear();
  Click(IDC_SAVE_AS);
  CheckOneBox("save over a held file", SystemText(ERROR_SHARING_VIOLATION));
  CloseHandle(holder);
  Check(wintest::ReadBytes(held) == "old contents", "save over a held file: the old file stays");
  CheckFolderHolds("save over a held file: no temporary file left",
                   {J(u8"元曲ソ.mid"), J(u8"使用中ソ.mid"), J(u8"出力ソ.mid")});
  boxes.clear();
  Click(IDC_SAVE_AS);
  Check(boxes.empty(), "save over the released file: no message");
  CheckBytes("save over the released file: replaced", wintest::ReadBytes(held),
             ConvertedSource(1000000));

  // A write that fails: the system's text, the old file intact, no leftovers.
  wintest::WriteBytes(held, "old contents");
  testPlatform.writeAll = FailingWrite;
  boxes.clear();
  Click(IDC_SAVE_AS);
  testPlatform.writeAll = kWin32Platform.writeAll;
  CheckOneBox("failed write", SystemText(ERROR_DISK_FULL));
  Check(wintest::ReadBytes(held) == "old contents", "failed write: the old file stays");
  CheckFolderHolds("failed write: no temporary file left",
                   {J(u8"元曲ソ.mid"), J(u8"使用中ソ.mid"), J(u8"出力ソ.mid")});
  DeleteFileA(held.c_str());
}

void Keys() {
  Drop({source});
  TypeTempo("60");
  wintest::WriteBytes(outputPath, "old");
  saveAnswer = outputPath;
  saveCalls.clear();
  boxes.clear();
  PressKey(IDC_TARGET_BPM, VK_RETURN);
  Check(saveCalls.size() == 1 && boxes.empty(), "Enter in the tempo field: the save command runs");
  CheckBytes("Enter: saved file", wintest::ReadBytes(outputPath), ConvertedSource(1000000));

  saveCalls.clear();
  PressKey(IDC_TARGET_BPM, VK_ESCAPE);
  Check(IsWindow(dialog) && IsWindowVisible(dialog) && saveCalls.empty() && boxes.empty(),
        "Escape: the dialog stays open and nothing runs");
  Click(IDCANCEL);
  Check(IsWindow(dialog) && IsWindowVisible(dialog), "IDCANCEL: the dialog stays open");
  CheckLoaded("Escape: the source stays loaded", source, "120.0");
}

// The real modal run: the close box ends it with result 0 and the quit
// message 0; Escape before it does not.
struct ModalRun {
  DWORD uiThread;
  HWND found = nullptr;
  bool openAfterEscape = false;
};

BOOL CALLBACK FindMainDialog(HWND window, LPARAM parameter) {
  auto* run = reinterpret_cast<ModalRun*>(parameter);
  if (IsWindowVisible(window) && GetDlgItem(window, IDC_SAVE_AS) != nullptr) {
    run->found = window;
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI DriveModal(LPVOID parameter) {
  auto* run = static_cast<ModalRun*>(parameter);
  for (int i = 0; i < 500 && run->found == nullptr; ++i) {
    Sleep(20);
    EnumThreadWindows(run->uiThread, FindMainDialog, reinterpret_cast<LPARAM>(run));
  }
  if (run->found == nullptr)
    return 0;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(run->uiThread, &info);
  const HWND target = info.hwndFocus != nullptr ? info.hwndFocus : run->found;
  PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
  Sleep(300);
  run->openAfterEscape = IsWindow(run->found) && IsWindowVisible(run->found);
  PostMessageA(run->found, WM_SYSCOMMAND, SC_CLOSE, 0);
  return 0;
}

void ModalClose(HINSTANCE instance) {
  ModalRun run{GetCurrentThreadId()};
  const HANDLE driver = CreateThread(nullptr, 0, DriveModal, &run, 0, nullptr);
  const INT_PTR result =
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), GetDesktopWindow(), MainDlgProc, 0);
  WaitForSingleObject(driver, INFINITE);
  CloseHandle(driver);
  Check(run.found != nullptr, "modal: the dialog shows");
  Check(run.openAfterEscape, "modal: Escape does not close the dialog");
  Check(result == 0, "modal: the close box ends the dialog with result 0", std::to_string(result));
  MSG quit{};
  const bool posted = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  Check(posted && quit.wParam == 0, "modal: WM_DESTROY posts the quit message with code 0");
  Check(!IsWindow(run.found), "modal: the dialog window is destroyed");
}

// The real MessageBoxA, caught by a hook that reads the box and presses OK.
HHOOK hook = nullptr;
std::vector<Box> realBoxes;

LRESULT CALLBACK CatchMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    char className[16] = {};
    GetClassNameA(box, className, sizeof className);
    if (box != dialog && std::strcmp(className, "#32770") == 0) {
      char text[1024] = {}, caption[256] = {};
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      GetWindowTextA(box, caption, sizeof caption);
      realBoxes.push_back({GetWindow(box, GW_OWNER), text, caption, 0});
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

void RealSystemErrors() {
  Platform = &kWin32Platform;
  hook = SetWindowsHookExA(WH_CBT, CatchMessageBox, nullptr, GetCurrentThreadId());
  const struct {
    const char* name;
    std::uint32_t code;
    std::string text;  // empty: no box
  } rows[] = {
      {"code 0 shows nothing", 0, ""},
      {"code 5 (access denied): the system's text", ERROR_ACCESS_DENIED,
       SystemText(ERROR_ACCESS_DENIED)},
      {"unknown code: the fallback text", 0x2000FFFFu, J(u8"予期せぬエラーが発生しました。")},
  };
  for (const auto& row : rows) {
    realBoxes.clear();
    ShowSystemError(dialog, row.code);
    const std::string name = std::string("system error box: ") + row.name;
    if (row.text.empty()) {
      Check(realBoxes.empty(), name);
    } else {
      Check(realBoxes.size() == 1 && realBoxes[0].text == row.text &&
                realBoxes[0].caption == J(u8"エラー") && realBoxes[0].owner == dialog,
            name, realBoxes.empty() ? "no box" : "[" + wintest::Hex(realBoxes[0].text) + "]");
    }
  }
  UnhookWindowsHookEx(hook);
  Platform = &testPlatform;
}

}  // namespace

int main() {
  wintest::StartWatchdog(100);
  const HINSTANCE instance = GetModuleHandleA(nullptr);

  Check(GetACP() == 932, "environment: ANSI code page 932", std::to_string(GetACP()));
  // ソ (83 5C) and 表 (95 5C): the second byte is the path separator's.
  CheckBytes("literals: compiled to CP932, 0x5C trail bytes kept", "ソ表", "\x83\x5C\x95\x5C");
  CheckBytes("literals: the same bytes as Windows' own conversion", "ソ表", J(u8"ソ表"));

  folder = wintest::MakeTestFolder("dialog");
  source = WriteSource(u8"元曲ソ.mid", wintest::Smf(0, 480, {SourceEvents()}));
  sourceFormat1 = wintest::Smf(1, 480,
                               {{{0, wintest::TempoEvent(1000000)}, {0, kEnd}},
                                {{0, kNoteOnC}, {480, kNoteOffC}, {480, kEnd}}});
  outputPath = folder + J(u8"出力ソ.mid");

  testPlatform = kWin32Platform;
  testPlatform.messageBox = RecordMessageBox;
  Platform = &testPlatform;
  CommonDialogs.getOpenFileName = FakeGetOpenFileName;
  CommonDialogs.getSaveFileName = FakeGetSaveFileName;

  dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
  if (dialog == nullptr) {
    Check(false, "start: the dialog is created from template 101");
    return wintest::Finish();
  }
  ShowWindow(dialog, SW_SHOW);
  StartState();
  InputChecksInOrder();
  BrowseAndSaveDialogs();
  TempoTexts();
  DisplayedBpm();
  LoadRefusals();
  Drops();
  SaveFailures();
  Keys();
  RealSystemErrors();
  DestroyWindow(dialog);
  Pump();  // the quit message that WM_DESTROY posted
  dialog = nullptr;

  ModalClose(instance);
  wintest::RemoveTree(folder);
  return wintest::Finish();
}
