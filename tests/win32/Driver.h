#pragma once
// Drives the real program in another process the way a user would: finds its
// dialog, presses buttons, fills in the common file dialogs and answers
// message boxes. Messages that start a command are posted, never sent: the
// command blocks in a modal loop (file dialog, message box) until answered.

#include <windows.h>

#include <string>

namespace wintest {

// Polls `done` every 20 ms until it is true or `milliseconds` have passed.
template <class F>
bool WaitFor(F done, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > milliseconds)
      return false;
    Sleep(20);
  }
  return true;
}

// The program's main dialog once it is visible and its controls exist.
HWND WaitForMainDialog(DWORD milliseconds);

// A text read from a window of any process (WM_GETTEXT is marshalled).
std::string WindowText(HWND window);

void PostClick(HWND dialog, int id);

// The visible common file dialog (open or save) of the dialog's thread.
HWND WaitForFileDialog(HWND mainDialog, DWORD milliseconds);
// Types `path` (CP932) into the file dialog's name field and presses OK.
bool ChooseFile(HWND fileDialog, const std::string& path);

// A visible message box of the dialog's thread: its text, after which it is
// closed with OK. False when none appeared in time.
bool AnswerMessageBox(HWND mainDialog, DWORD milliseconds, std::string* text);

}  // namespace wintest
