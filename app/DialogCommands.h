#pragma once
// The main dialog's commands, shared by every dialog front end. The front end
// decodes its toolkit's events (a click, a drop, Enter) and calls these; they
// reach the dialog's fields, file dialogs and message boxes through Platform.

#include "Platform.h"

// True while a loaded source may be converted.
extern bool SourceLoaded;

// Field IDC_SOURCE_PATH gets the path and IDC_SOURCE_BPM the BPM text of the
// loaded source, or both the empty text when no source is loaded.
void UpdateSourceDisplay(ttWindow window, const char* path);

// Browse button: forget the loaded source, ask for a file, load it.
void RunBrowseCommand(ttWindow window);
// A drop: `path` is the first dropped item, or nullptr when the drop held none.
void RunDropCommand(ttWindow window, const char* path);
// Save button (also Enter): check the input, convert, ask for the output path,
// write the file.
void RunSaveCommand(ttWindow window);
