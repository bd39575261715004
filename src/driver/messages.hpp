// The driver's fixed texts, byte for byte. U+3000 (ideographic space) is written as an
// escape so that it cannot be mistaken for, or edited into, an ordinary space.
#pragma once

namespace korvidan::driver::messages {

inline constexpr const char* usage =
    "korvidan 文章区切りの改行個数\xE3\x80\x80複合条件ファイル名\xE3\x80\x80"
    "検索対象フォルダー名\xE3\x80\x80I/S  C/U";

inline constexpr const char* parameter_error_prefix = "パラメーターの解析中のエラーです : ";
inline constexpr const char* run_error_prefix = "全文検索プログラムのエラーです : ";

inline constexpr const char* break_count_invalid =
    "第1パラメーター:連続改行何個以上で文章を分離するかの数字を入力してください。";
inline constexpr const char* condition_file_is_folder =
    "第2パラメーター:複合条件ファイルを指定してください。";
inline constexpr const char* condition_file_missing =
    "第2パラメーター:"
    "複合条件ファイルが存在しません。あるいは、そのファイル名の指定が間違っています。";
inline constexpr const char* condition_file_wrong_type =
    "第2パラメーター:複合条件ファイルのファイルタイプは、JKNに限ります。";
inline constexpr const char* target_missing =
    "第3パラメーター:指定のファイルあるいはフォルダーは存在しません。";
inline constexpr const char* target_wrong_type =
    "第3パラメーター:指定できるファイルタイプは.txtか.TXTです。";
inline constexpr const char* form_invalid =
    "第4パラメーター:Iは結果にインデックス情報を付加、Sは抽出テキストのみの出力";
inline constexpr const char* scope_invalid =
    "第5パラメーター:"
    "Cはカレントフォルダーの全テキストファイル、Uはカレントフォルダー以下の全テキストファイル";
inline constexpr const char* condition_file_unreadable =
    "第2パラメーター:ファイル読み込み失敗!! UTF8コード体系のファイルを使用してください。";

inline constexpr const char* stop_report_opening = "korvidan: 処理を中断しました (";
inline constexpr const char* target_is_result_file =
    "検索対象のファイルはこの実行の結果ファイルそのものです。結果ファイルを検索対象にはできません";

inline constexpr const char* report_first_line = "My name is korvidan.exe !!\r\n";
inline constexpr const char* report_output = "Output : ";
inline constexpr const char* report_between = " , ";

// The result file names; on POSIX the leading backslash becomes a slash.
inline constexpr const char* selection_file_name = "Mendolux4SELECT.TXT";
inline constexpr const char* rest_file_name = "Mendolux4RVS.TXT";

}  // namespace korvidan::driver::messages
