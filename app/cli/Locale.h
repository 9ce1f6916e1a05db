#pragma once
// smftempo's language: its own texts are English msgids looked up in the
// gettext catalog of the user's LC_MESSAGES, so a Japanese locale shows the
// texts the dialogs show and any other shows English. The shared core hands
// over its texts in Japanese (the dialogs' language); the command line maps
// each one to an English msgid whose Japanese translation is that very text.

// Sets the locale from the environment and binds the catalogs, which lie
// where an install puts them relative to the program (the build tree keeps
// the same layout).
void SetUpLanguage();

// `msgid` (English) in the user's language; a printf format stays one, with
// the same arguments (the compiler checks them against the msgid).
const char* Tr(const char* msgid) __attribute__((format_arg(1)));

// Marks an English text for the catalog where it is not translated at once.
#define TR_NOOP(text) text

// A text of the shared core in the user's language; any other text comes
// back as it is. *failure tells whether the text says that the system failed
// (no memory, an internal fault) rather than that the file was refused.
const char* SharedText(const char* core, bool* failure);
