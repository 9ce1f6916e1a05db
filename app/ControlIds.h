#pragma once
// Identifiers of the main dialog template and its controls, shared by the
// resource script, the Win32 code, the Qt dialog and the command logic.
// Plain #defines so that the resource compiler reads this file too.

#define IDD_MAIN 101
#define IDC_SOURCE_PATH 1001
#define IDC_BROWSE 1002
#define IDC_SOURCE_BPM 1004
#define IDC_TARGET_BPM 1005
#define IDC_SAVE_AS 1006
