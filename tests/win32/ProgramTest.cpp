// The built program. With --image MACHINE PROGRAM, what a 64-bit process can
// check of the 32-bit program too, without running it: PE headers, dialog
// template, texts in code page 932. With PROGRAM alone, the real .exe run.
// With --screenshot, what scripts/win32/screenshot.sh runs.

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ControlIds.h"
#include "TestKit.h"
#include "Texts.h"

using namespace wintest;

namespace {

// Template fields joined by "|", one `layout` letter each: w word, i dword, D
// dword in hex, b byte, t UTF-16 text, o text or ordinal; a aligns to a dword.
struct Reader {
  const BYTE* start;
  const BYTE* end;
  const BYTE* at = start;
  DWORD Get(std::size_t n) {
    DWORD v = 0;
    if (at + n <= end)
      std::memcpy(&v, at, n);
    at += n;
    return v;
  }
  std::string Field(char c) {
    if (c == 'o' && at + 4 <= end && at[0] == 0xFF && at[1] == 0xFF) {
      at += 2;
      const DWORD ordinal = Get(2);
      const char* const kClasses[] = {"BUTTON", "EDIT", "STATIC"};
      return ordinal - 0x80 < 3 ? kClasses[ordinal - 0x80] : "#" + std::to_string(ordinal);
    }
    if (c == 't' || c == 'o') {
      std::wstring text;
      for (DWORD unit = Get(2); unit != 0; unit = Get(2))  // 0 past the end
        text += static_cast<wchar_t>(unit);
      return Narrow(text, CP_UTF8);
    }
    const DWORD v = Get(c == 'b' ? 1 : c == 'w' ? 2 : 4);
    char number[16] = {};
    std::snprintf(number, sizeof number, "%lx", static_cast<unsigned long>(v));
    return c == 'D' ? number
                    : std::to_string(c == 'w' ? static_cast<short>(v) : static_cast<int>(v));
  }
  std::string Read(const char* layout) {
    std::string out;
    for (const char* c = layout; *c != '\0'; ++c) {
      if (*c == 'a')
        at = start + ((at - start + 3) & ~3);
      else
        out += "|" + Field(*c);
    }
    return out.substr(1);
  }
};

void CheckTemplate(HMODULE module) {
  const HRSRC resource = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(101), 1041);
  Check(resource != nullptr, "dialog 101, in language 1041");
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  Reader r{data, data + SizeofResource(module, resource)};

  // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style, control count,
  // x, y, width, height, menu, class, caption; font: point size, weight,
  // italic, character set, typeface.
  const std::string header = r.Read("wwiDDwwwwwootwwbbt");
  Check(header ==
            u8"1|-1|0|10|80ca0840|10|0|0|305|109|||Sorbello SMF テンポ "
            u8"チェンジャー|9|400|0|128|ＭＳ Ｐゴシック",
        "the template's header and font", header);
  // The controls in tab order: help id, extended style, style, x, y, width,
  // height, id, class, text, size of the creation data.
  const char* const controls[] = {
      u8"0|0|50020000|7|9|64|8|-1|STATIC|変換元SMFのパス(&P):|0",
      u8"0|0|50810880|76|7|178|14|1001|EDIT||0",
      u8"0|0|50010000|258|7|40|14|1002|BUTTON|参照(&R)...|0",
      u8"0|0|50020000|7|31|57|8|-1|STATIC|変換前のテンポ(&O):|0",
      u8"0|0|50810880|76|29|60|14|1004|EDIT||0",
      u8"0|0|50020000|142|31|15|8|-1|STATIC|BPM|0",
      u8"0|0|50020000|7|54|57|8|-1|STATIC|変換後のテンポ(&D):|0",
      u8"0|0|50810080|76|51|60|14|1005|EDIT||0",
      u8"0|0|50020000|142|53|15|8|-1|STATIC|BPM|0",
      u8"0|0|50010001|76|80|222|18|1006|BUTTON|名前を付けて保存(&S)...|0",
  };
  for (const char* want : controls) {
    const std::string got = r.Read("aiiDwwwwiotw");
    Check(got == want, std::string("control ") + want, got);
  }
  Check(r.at == r.end, "the template ends after the last control");
}

// The fields read sit at the same offsets in PE32 and PE32+ headers.
void CheckHeaders(const std::string& machine, const std::string& file) {
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS32 nt{};
  std::memcpy(&dos, file.data(), std::min(file.size(), sizeof dos));
  const auto at = static_cast<std::size_t>(dos.e_lfanew);  // a negative one turns huge
  if (file.size() >= sizeof nt && at <= file.size() - sizeof nt)
    std::memcpy(&nt, file.data() + at, sizeof nt);
  char got[96] = {};
  std::snprintf(got, sizeof got, "machine %x, magic %x, subsystem %u, large-address-aware %d",
                nt.FileHeader.Machine, nt.OptionalHeader.Magic, nt.OptionalHeader.Subsystem,
                (nt.FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE) != 0);
  const std::string want =
      machine == "i386" ? "machine 14c, magic 10b, " : "machine 8664, magic 20b, ";
  Check(got == want + "subsystem 2, large-address-aware 1", machine + ": PE headers, GUI", got);
}

// Narrow texts are stored as CP932, none as UTF-8: one text of each file that has
// some, as each is compiled apart.
void CheckTexts(const std::string& file) {
  for (const char* text :
       {u8"" TT_TEXT_ERROR_CAPTION, u8"" TT_TEXT_INVALID_SMF, u8"" TT_TEXT_NO_SOURCE,
        u8"" TT_TEXT_INTERNAL_ERROR, u8"" TT_TEXT_FILTER_MIDI}) {
    Check(file.find(J(text)) != std::string::npos && file.find(text) == std::string::npos,
          std::string("text in CP932: ") + text);
  }
}

void CheckImage(const std::string& machine, const std::string& program) {
  const std::string file = ReadBytes(program);
  CheckHeaders(machine, file);
  // As data: so a 64-bit process can open a 32-bit image.
  const HMODULE module = LoadLibraryExW(Wide(program, CP_ACP).c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Check(module != nullptr, "the program opens as data", program);
  if (module != nullptr) {
    CheckTemplate(module);
    FreeLibrary(module);
  }
  CheckTexts(file);
}

// The running program's dialog, found by its caption once its controls exist.
HWND WaitForMainDialog() {
  for (int i = 0; i < 1000; ++i, Sleep(20)) {
    const HWND found = FindWindowW(L"#32770", Wide(u8"Sorbello SMF テンポ チェンジャー").c_str());
    if (found != nullptr && IsWindowVisible(found) && GetDlgItem(found, IDC_SAVE_AS) != nullptr)
      return found;
  }
  return nullptr;
}

// Loads a 150 BPM file through the real open dialog, types 90; the BPM shown.
HWND dialog = nullptr, files = nullptr;
BOOL CALLBACK FindFileDialog(HWND window, LPARAM) {
  char name[8] = {};
  GetClassNameA(window, name, sizeof name);
  if (window != dialog && IsWindowVisible(window) && std::string(name) == "#32770")
    files = window;
  return files == nullptr;
}
std::string LoadThroughOpenDialog() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = temp + J(u8"練習曲ソ表.mid");
  WriteBytes(path, Smf(0, 480, {{0, smftest::Tempo(400000)}, {480, smftest::EndOfTrack()}}));
  PostMessageA(dialog, WM_COMMAND, IDC_BROWSE, 0);  // posted: the open dialog blocks its sender
  for (int i = 0; i < 500 && files == nullptr; ++i, Sleep(20))
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), FindFileDialog, 0);
  // The name field: the Explorer style's combo box, or the plain edit field.
  const HWND name = GetDlgItem(files, 0x47C) ? GetDlgItem(files, 0x47C) : GetDlgItem(files, 0x480);
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageA(files, WM_COMMAND, IDOK, 0);
  char bpm[32] = {};
  for (int i = 0; i < 500 && bpm[0] == '\0'; ++i, Sleep(20))
    SendMessageA(GetDlgItem(dialog, IDC_SOURCE_BPM), WM_GETTEXT, sizeof bpm,
                 reinterpret_cast<LPARAM>(bpm));
  SendMessageA(GetDlgItem(dialog, IDC_TARGET_BPM), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("90"));
  DeleteFileA(path.c_str());
  return bpm;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--screenshot") {  // for scripts/win32/screenshot.sh
    dialog = WaitForMainDialog();
    return LoadThroughOpenDialog() == "150.0" ? 0 : 1;
  }
  const std::string program =
      std::string(argc > 1 && argv[argc - 1][0] == '/' ? "Z:" : "") + argv[argc - 1];
  if (mode == "--image" && argc == 4) {
    CheckImage(argv[2], program);
    return Finish();
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  Check(CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process),
        "the program starts");
  dialog = WaitForMainDialog();
  Check(dialog != nullptr, "its dialog shows, with its caption");
  // Posted first: had Escape ended the dialog, no open dialog would follow.
  PostMessageA(GetDlgItem(dialog, IDC_TARGET_BPM), WM_KEYDOWN, VK_ESCAPE, 1);
  Check(LoadThroughOpenDialog() == "150.0",
        "Escape leaves the dialog open; the real open dialog loads a file: 150.0 BPM shown");
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD exitCode = 99;
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 99);
  GetExitCodeProcess(process.hProcess, &exitCode);
  Check(exitCode == 0, "the close box ends it with exit code 0", std::to_string(exitCode));
  return Finish();
}
