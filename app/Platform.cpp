#include "Platform.h"

#include "Texts.h"

const ttPlatform* Platform = nullptr;

void ShowErrorMessage(ttWindow window, const char* text) {
  Platform->messageBox(window, text, TT_TEXT_ERROR_CAPTION, kErrorBoxStyle);
}

void ShowSystemError(ttWindow window, std::uint32_t code) {
  if (code == 0)
    return;
  if (code == kErrorNotRegularFile) {
    ShowErrorMessage(window, TT_TEXT_NOT_REGULAR_FILE);
    return;
  }
  std::string text;
  // The system's text is shown as it comes, closing line break included.
  if (!Platform->systemErrorText(code, &text))
    text = TT_TEXT_UNEXPECTED_ERROR;
  ShowErrorMessage(window, text.c_str());
}
