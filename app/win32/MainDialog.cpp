#include "MainDialog.h"

#include <shellapi.h>

#include <string>

#include "ControlIds.h"
#include "DialogCommands.h"

namespace {

// Takes the first dropped item; further items are ignored.
void OnDropFiles(HWND window, HDROP drop) {
  SetForegroundWindow(window);
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
  std::string path;
  if (count != 0) {
    // Sized to the dropped path, so that a path too long for the file calls
    // fails there with the system's reason instead of loading a cut-off name.
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    path.assign(length + 1, '\0');
    const UINT copied = DragQueryFileA(drop, 0, &path[0], length + 1);
    path.resize(copied);
  }
  DragFinish(drop);
  // A drop list may also hold a single empty name instead of none (Wine
  // counts it as one item): an empty name is no file either.
  RunDropCommand(window, !path.empty() ? path.c_str() : nullptr);
}

}  // namespace

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      // Every field starts empty; TRUE lets Windows focus the first tab stop.
      return TRUE;
    case WM_COMMAND:
      // The control id alone decides; the notification code is not looked at.
      // IDCANCEL (Escape) is deliberately ignored: only the close box, Alt+F4
      // and the system menu end the dialog.
      switch (LOWORD(wParam)) {
        case IDC_BROWSE:
          RunBrowseCommand(window);
          break;
        case IDC_SAVE_AS:  // also Enter: it is the default push button
          RunSaveCommand(window);
          break;
        default:
          break;
      }
      return FALSE;
    case WM_DROPFILES:
      OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
      return FALSE;
    case WM_CLOSE:
      EndDialog(window, LOWORD(wParam));
      return FALSE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return FALSE;
    default:
      return FALSE;
  }
}
