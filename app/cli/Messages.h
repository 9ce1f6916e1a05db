#pragma once
// smftempo's messages: every one goes to stderr as "smftempo: SUBJECT: text",
// the subject being the file (or option) it is about.

#include <cstddef>
#include <string>

#include "Platform.h"

// The platform's message box: the owner is the subject's text (see About).
void PrintMessage(ttWindow owner, const char* text, const char* caption, unsigned style);

// The owner that names `subject` in a message; valid while the string lives.
ttWindow About(const std::string& subject);

// "smftempo: SUBJECT: text" on stderr.
void Tell(const std::string& subject, const std::string& text);

// A line after the message that says why a file was refused: what might
// get it through. LastMessage stays that message.
void Hint(const std::string& subject, const std::string& text);

// A line about a file that is no verdict on it ("repaired: ...",
// "note: ..."); LastMessage stays as it was.
void Remark(const std::string& subject, const std::string& text);

// A progress line on a terminal, without a line break: "smftempo: SUBJECT:
// stage". Any message printed while it stands clears it first, so that the
// message gets a line of its own.
void ShowProgress(const std::string& subject, const char* stage);
void ClearProgress();

// -q: no remarks, progress lines or summary; messages about files stay.
void SetQuiet(bool quiet);

// The end of a batch: "smftempo: N converted, N refused, N failed".
void Summary(std::size_t converted, std::size_t refused, std::size_t failed);

// Called when the system's text for an error is fetched: the next message
// says that a file failed rather than that it was refused.
void NoteSystemError();

// True when the last message said that the system failed (an error of the
// system, no memory, an internal fault), false when it refused a file.
bool LastFailed();

// The text of the last message, for the JSON report of a refused file, and
// the hint given after it (empty when none).
const std::string& LastMessage();
const std::string& LastHint();
