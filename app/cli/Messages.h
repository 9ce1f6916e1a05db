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

#define TT_TEXT_REPAIRABLE "--repair を指定すると、次の修復をして読み込める可能性があります: %s"
#define TT_TEXT_REPAIRED_TOO_LARGE "修復した SMF が 4 GiB 以上になるため、読み込めません。"
#define TT_TEXT_TEMPO_MAP_HINT                                                                                                    \
  "テンポマップ (複数のテンポイベント、または tick 0 より後のテンポイベント) のある SMF は、" \
  "--tempo-map flatten または --tempo-map scale で変換できます。"
#define TT_TEXT_TOO_MANY_CHUNKS                                                                                                    \
  "変換後の SMF のトラックとチャンクが合わせて 65535 個を超え、ヘッダーに数えられないため、" \
  "保存できません。"

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

// The text of the last message, for the JSON report of a refused file, and
// the hint given after it (empty when none).
const std::string& LastMessage();
const std::string& LastHint();
