#pragma once
// The user-interface part of the seam in Qt: message boxes, the open and save
// file dialogs, and the fields of ttMainDialog. The owner (ttWindow) is the
// dialog as a QWidget*. Files and error texts are the POSIX ones.

#include <cstdint>

#include "Platform.h"

class QFileDialog;

// The POSIX table with the Qt entries filled in.
ttPlatform QtPlatform();

void QtMessageBox(ttWindow owner, const char* text, const char* caption, unsigned style);
bool QtOpenFileDialog(ttWindow owner, char* path, std::uint32_t* error);
bool QtSaveFileDialog(ttWindow owner, char* path, std::uint32_t* error);
void QtSetItemText(ttWindow owner, int id, const char* text);
std::uint32_t QtGetItemText(ttWindow owner, int id, char* buffer, int max);

// Sets up a file dialog as the browse (save false) or the save command uses
// it: the two filters, the default suffix, no initial name, and for saving a
// question before an existing file is replaced.
void ConfigureFileDialog(QFileDialog& dialog, bool save);
