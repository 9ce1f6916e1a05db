#include "Driver.h"

#include <cstring>

#include "ControlIds.h"
#include "TestKit.h"

namespace wintest {

namespace {

// Ids of the common file dialog's name field: the combo box of the Explorer
// style, or the plain edit field.
constexpr int kNameCombo = 0x47C;
constexpr int kNameEdit = 0x480;
// The text of a message box.
constexpr int kMessageText = 0xFFFF;

bool IsDialogClass(HWND window) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

struct Search {
  HWND exclude;
  int control;
  HWND found;
};

BOOL CALLBACK FindDialogWith(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  if (window != search->exclude && IsWindowVisible(window) && IsDialogClass(window) &&
      GetDlgItem(window, search->control) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindInThread(HWND mainDialog, int control) {
  Search search{mainDialog, control, nullptr};
  EnumThreadWindows(GetWindowThreadProcessId(mainDialog, nullptr), FindDialogWith,
                    reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND WaitForMainDialog(DWORD milliseconds) {
  const std::wstring caption = W(u8"Sorbello SMF テンポ チェンジャー");
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = FindWindowW(L"#32770", caption.c_str());
        // Found before WM_INITDIALOG ends, it may still lack its controls.
        return found != nullptr && IsWindowVisible(found) &&
               GetDlgItem(found, IDC_SAVE_AS) != nullptr;
      },
      milliseconds);
  return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}

std::string WindowText(HWND window) {
  char text[1024] = {};
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

void PostClick(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND WaitForFileDialog(HWND mainDialog, DWORD milliseconds) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = FindInThread(mainDialog, kNameCombo);
        if (found == nullptr)
          found = FindInThread(mainDialog, kNameEdit);
        return found != nullptr;
      },
      milliseconds);
  return found;
}

bool ChooseFile(HWND fileDialog, const std::string& path) {
  const int field = GetDlgItem(fileDialog, kNameCombo) != nullptr ? kNameCombo : kNameEdit;
  SendMessageA(GetDlgItem(fileDialog, field), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(path.c_str()));
  PostClick(fileDialog, IDOK);
  return WaitFor([&] { return !IsWindow(fileDialog) || !IsWindowVisible(fileDialog); }, 10000);
}

bool AnswerMessageBox(HWND mainDialog, DWORD milliseconds, std::string* text) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindInThread(mainDialog, kMessageText)) != nullptr; },
               milliseconds)) {
    return false;
  }
  *text = WindowText(GetDlgItem(box, kMessageText));
  PostClick(box, IDOK);
  return WaitFor([&] { return !IsWindow(box); }, 10000);
}

}  // namespace wintest
