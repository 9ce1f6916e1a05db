// The real program (its path is the first argument) in its own process, used
// as a user would: the real open and save dialogs, typing a tempo, Escape, a
// refusal in a real message box, and the close box, which must end the
// process with exit code 0.

#include <windows.h>

#include <shlobj.h>  // DROPFILES

#include <string>

#include "ControlIds.h"
#include "Driver.h"
#include "TestKit.h"

using wintest::Check;
using wintest::CheckBytes;
using wintest::J;

namespace {

const std::string kNoteOn("\x90\x3C\x64", 3);
const std::string kNoteOff("\x80\x3C\x40", 3);
const std::string kEnd(wintest::kEndOfTrack, 3);

std::string Field(HWND dialog, int id) {
  return wintest::WindowText(GetDlgItem(dialog, id));
}

void SetField(HWND dialog, int id, const char* text) {
  SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

}  // namespace

int main(int argc, char** argv) {
  wintest::StartWatchdog(100);
  if (argc < 2) {
    Check(false, "usage: win32_program_test PROGRAM.exe");
    return wintest::Finish();
  }
  const std::string folder = wintest::MakeTestFolder("program");
  // 120 BPM; saved at 60 BPM every tick halves.
  const std::string source = folder + J(u8"元曲ソ.mid");
  wintest::WriteBytes(
      source,
      wintest::Smf(
          0, 480,
          {{{0, wintest::TempoEvent(500000)}, {0, kNoteOn}, {960, kNoteOff}, {1921, kEnd}}}));
  const std::string converted = wintest::Smf(
      0, 480, {{{0, wintest::TempoEvent(1000000)}, {0, kNoteOn}, {480, kNoteOff}, {961, kEnd}}});
  const std::string notSmf = folder + J(u8"壊れ表.mid");
  wintest::WriteBytes(notSmf, "RIFF....");

  std::string program = wintest::WindowsPath(argv[1]);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process) != 0;
  Check(started, "the program starts", program);
  if (!started)
    return wintest::Finish();

  const HWND dialog = wintest::WaitForMainDialog(20000);
  Check(dialog != nullptr, "its dialog shows, with the product's caption");
  if (dialog != nullptr) {
    Check(Field(dialog, IDC_SOURCE_PATH).empty() && Field(dialog, IDC_SOURCE_BPM).empty(),
          "start: no source");

    const HWND tempoField = GetDlgItem(dialog, IDC_TARGET_BPM);
    PostMessageA(tempoField, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(tempoField, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    Sleep(300);
    Check(IsWindow(dialog) && IsWindowVisible(dialog), "Escape leaves the dialog open");

    // Browse: the real open dialog, a file picked by its name.
    wintest::PostClick(dialog, IDC_BROWSE);
    HWND files = wintest::WaitForFileDialog(dialog, 10000);
    Check(files != nullptr, "browse: the open dialog shows");
    if (files != nullptr) {
      Check(wintest::ChooseFile(files, source), "browse: a file is chosen");
      wintest::WaitFor([&] { return !Field(dialog, IDC_SOURCE_BPM).empty(); }, 10000);
      CheckBytes("browse: the path is shown", Field(dialog, IDC_SOURCE_PATH), source);
      CheckBytes("browse: the BPM is shown", Field(dialog, IDC_SOURCE_BPM), "120.0");
    }

    // Save: the real save dialog; a name typed without extension gets ".mid".
    SetField(dialog, IDC_TARGET_BPM, "60");
    wintest::PostClick(dialog, IDC_SAVE_AS);
    files = wintest::WaitForFileDialog(dialog, 10000);
    Check(files != nullptr, "save: the save dialog shows");
    const std::string output = folder + J(u8"出力ソ.mid");
    if (files != nullptr) {
      Check(wintest::ChooseFile(files, folder + J(u8"出力ソ")), "save: a name is typed");
      wintest::WaitFor([&] { return wintest::ReadBytes(output) == converted; }, 10000);
      CheckBytes("save: the converted file, named with .mid", wintest::ReadBytes(output),
                 converted);
      CheckBytes("save: the display stays", Field(dialog, IDC_SOURCE_BPM), "120.0");
    }

    // A refusal: the real message box, its text in CP932, and No source after.
    wintest::PostClick(dialog, IDC_BROWSE);
    files = wintest::WaitForFileDialog(dialog, 10000);
    std::string text;
    if (files != nullptr && wintest::ChooseFile(files, notSmf)) {
      Check(wintest::AnswerMessageBox(dialog, 10000, &text), "refusal: a message box shows");
      CheckBytes("refusal: its text", text, J(u8"有効な SMF ではありません。"));
    } else {
      Check(false, "refusal: the open dialog shows");
    }
    wintest::WaitFor([&] { return Field(dialog, IDC_SOURCE_PATH).empty(); }, 5000);
    Check(Field(dialog, IDC_SOURCE_PATH).empty() && Field(dialog, IDC_SOURCE_BPM).empty(),
          "refusal: no source");
    CheckBytes("the typed tempo survives", Field(dialog, IDC_TARGET_BPM), "60");

    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
  if (!ended)
    TerminateProcess(process.hProcess, 99);
  DWORD exitCode = 99;
  GetExitCodeProcess(process.hProcess, &exitCode);
  Check(ended && exitCode == 0, "the close box ends the program with exit code 0",
        std::to_string(exitCode));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  wintest::RemoveTree(folder);
  return wintest::Finish();
}
