// Entry point of the Windows program: installs the Win32 platform table and
// runs the main dialog modally. The program takes no arguments.

#include <windows.h>

#include "ControlIds.h"
#include "MainDialog.h"
#include "Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
  Platform = &kWin32Platform;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), GetDesktopWindow(), MainDlgProc, 0);
  // WM_DESTROY has posted the quit message; the modal loop was the only one.
  return 0;
}
