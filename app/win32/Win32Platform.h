#pragma once
// The Win32 implementation of the platform table: files through CreateFileA
// and friends, error texts from FormatMessageA, MessageBoxA, the common file
// dialogs and the dialog's fields. Every narrow string is in code page 932.

#include <windows.h>

#include <commdlg.h>

#include "Platform.h"

extern const ttPlatform kWin32Platform;

// The two common-dialog calls behind openFileDialog and saveFileDialog. Tests
// replace them to see the OPENFILENAMEA that the program prepares and to
// answer in place of a user.
struct ttCommonDialogs {
  BOOL(WINAPI* getOpenFileName)(LPOPENFILENAMEA dialog);
  BOOL(WINAPI* getSaveFileName)(LPOPENFILENAMEA dialog);
};
extern ttCommonDialogs CommonDialogs;

// Flags of the two file dialogs.
constexpr DWORD kOpenDialogFlags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveDialogFlags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
