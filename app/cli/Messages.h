#pragma once
// smftempo's messages: every one goes to stderr as "smftempo: SUBJECT: text",
// the subject being the file (or option) it is about.

#include <string>

#include "Platform.h"

// Texts of the command line only; the others are the dialog's (Texts.h).
#define TT_TEXT_OUTPUT_EXISTS \
  "出力ファイルが既に存在します。置き換えるには --force を指定してください。"
#define TT_TEXT_OUTPUT_WRITTEN_THIS_RUN \
  "出力ファイル %s "              \
  "は、この実行で先に別の入力から書き込んだファイルです。置き換えずに、この入力は変換しません。"
#define TT_TEXT_SCALED_TEMPO                                                                                                  \
  "テンポマップを拡大縮小すると、tick %u のテンポが %llu µs になり、テンポイベントの範囲 " \
  "(1～16777215) を超えます。"
#define TT_TEXT_NOT_EXACT                                                                     \
  "ティックを動かさずにこのテンポにできる分解能 (1～32767 の整数) " \
  "がありません。ちょうど変換できる近い BPM: 遅い側 %s、速い側 %s"
#define TT_TEXT_NONE "なし"
#define TT_TEXT_EXACT_FLATTEN                                                                                                  \
  "テンポが変わるファイルは、ティックを動かさずに一つのテンポにはできません (--exact と " \
  "--tempo-map flatten)。"

// The platform's message box: the owner is the subject's text (see About).
void PrintMessage(ttWindow owner, const char* text, const char* caption, unsigned style);

// The owner that names `subject` in a message; valid while the string lives.
ttWindow About(const std::string& subject);

// "smftempo: SUBJECT: text" on stderr.
void Tell(const std::string& subject, const std::string& text);

// The text of the last message, for the JSON report of a refused file.
const std::string& LastMessage();
