#pragma once
// Every text the system shows. Narrow literals: the Windows build compiles
// them to code page 932, the Linux builds keep UTF-8.

#define TT_TEXT_TITLE "Sorbello SMF テンポ チェンジャー"
#define TT_TEXT_ERROR_CAPTION "エラー"

// Source loading.
#define TT_TEXT_INVALID_SMF "有効な SMF ではありません。"
#define TT_TEXT_UNSUPPORTED_SMF "対応していない SMF 形式です。"
#define TT_TEXT_FILE_TOO_LARGE "ファイルが大きすぎます。4 GiB 未満の SMF を指定してください。"

// Save command.
#define TT_TEXT_NO_SOURCE "変換元の SMF を指定してください。"
#define TT_TEXT_NO_TEMPO "変換後のテンポを指定してください。"
#define TT_TEXT_TEMPO_TOO_SMALL "変換後のテンポが小さすぎます。1以上の値を指定してください。"
#define TT_TEXT_TEMPO_OUT_OF_RANGE \
  "変換後のテンポが範囲外です。3.5762787 以上 60000000 以下の値を指定してください。"
#define TT_TEXT_TIME_OVERFLOW \
  "変換後のイベント時刻が SMF で表せる範囲を超えるため、保存できません。"
#define TT_TEXT_OUTPUT_TOO_LARGE "変換後の SMF が 4 GiB 以上になるため、保存できません。"
#define TT_TEXT_INTERNAL_ERROR "内部エラーのため保存できませんでした。出力は書き込まれていません。"
#define TT_TEXT_OUT_OF_MEMORY "メモリが不足しています。"

// System errors: the fallback, and the one condition the system has no text for.
#define TT_TEXT_UNEXPECTED_ERROR "予期せぬエラーが発生しました。"
#define TT_TEXT_NOT_REGULAR_FILE "通常のファイルではありません。"
// A file dialog that failed, with its error code (printf format).
#define TT_TEXT_FILE_DIALOG_FAILED \
  "ファイル ダイアログを表示できませんでした。(エラー コード 0x%04X)"

// Dialog labels and file-dialog filter.
#define TT_TEXT_LABEL_SOURCE_PATH "変換元SMFのパス(&P):"
#define TT_TEXT_BUTTON_BROWSE "参照(&R)..."
#define TT_TEXT_LABEL_SOURCE_BPM "変換前のテンポ(&O):"
#define TT_TEXT_LABEL_BPM "BPM"
#define TT_TEXT_LABEL_TARGET_BPM "変換後のテンポ(&D):"
#define TT_TEXT_BUTTON_SAVE_AS "名前を付けて保存(&S)..."
#define TT_TEXT_FILTER_MIDI "標準 MIDI ファイル (*.mid)"
#define TT_TEXT_FILTER_ALL "全てのファイル (*.*)"
