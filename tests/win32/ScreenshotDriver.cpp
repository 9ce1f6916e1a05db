// Puts the running program into the state the documentation shows: writes a
// small generated SMF (150 BPM) into the temporary folder, loads it through
// the real open dialog and types a new tempo. Used by
// scripts/win32/screenshot.sh; exits 0 when the dialog shows the file.

#include <windows.h>

#include <cstdio>
#include <string>

#include "ControlIds.h"
#include "Driver.h"
#include "TestKit.h"

int main() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + wintest::J(u8"練習曲ソ表.mid");
  const std::string note("\x90\x3C\x64", 3);
  wintest::WriteBytes(path, wintest::Smf(0, 480,
                                         {{{0, wintest::TempoEvent(400000)},
                                           {0, note},
                                           {480, std::string("\x80\x3C\x40", 3)},
                                           {480, std::string(wintest::kEndOfTrack, 3)}}}));
  const HWND dialog = wintest::WaitForMainDialog(20000);
  if (dialog == nullptr) {
    std::fprintf(stderr, "screenshot driver: the dialog did not show\n");
    return 1;
  }
  wintest::PostClick(dialog, IDC_BROWSE);
  const HWND files = wintest::WaitForFileDialog(dialog, 10000);
  if (files == nullptr || !wintest::ChooseFile(files, path)) {
    std::fprintf(stderr, "screenshot driver: the open dialog did not take the file\n");
    return 1;
  }
  const HWND bpm = GetDlgItem(dialog, IDC_SOURCE_BPM);
  if (!wintest::WaitFor([&] { return !wintest::WindowText(bpm).empty(); }, 10000)) {
    std::fprintf(stderr, "screenshot driver: the file was not loaded\n");
    return 1;
  }
  SendMessageA(GetDlgItem(dialog, IDC_TARGET_BPM), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("90"));
  return 0;
}
