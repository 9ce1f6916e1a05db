#pragma once
// The dialog procedure of the main dialog (template IDD_MAIN). It only decodes
// Windows messages; the commands themselves are shared with the other front
// ends (DialogCommands.h) and reach Windows through Platform.

#include <windows.h>

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
