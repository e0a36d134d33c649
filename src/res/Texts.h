#pragma once
// The program's own texts, each in one place. Japanese texts are UTF-8.

#include <string_view>

namespace mivotra::texts {

inline constexpr std::string_view DisplayName = "MivotraPatch20091109";
inline constexpr std::string_view UpdateDateLabel = "2009/11/09";  // string resource 102
inline constexpr std::string_view AboutMenuItem =
    "バージョン情報 MivotraPatch20091109(&A)...";  // 101

inline constexpr std::string_view AlreadyRunning = "すでに起動されています";
inline constexpr std::string_view UnhandledException = "*** 処理されない例外 ***";
inline constexpr std::string_view UnknownErrorShort = "UnKnown Error";

// Window captions.
inline constexpr std::string_view CaptionConnectedPrefix = "データベース更新(";
inline constexpr std::string_view CaptionConnectedMiddle = ") - 対象DB名 ･･･ ";
inline constexpr std::string_view CaptionFailedPrefix =
    "データベース接続に失敗しました - 対象DB名 ･･･ ";
inline constexpr std::string_view CaptionNotSelected = "データベースが選択されてません";
inline constexpr std::string_view DatabaseExtension = ".mdb";

// The update run.
inline constexpr std::string_view MainApplicationWindowClass = "Mivotra";
inline constexpr std::string_view VersionQuery =
    "SELECT MAX(DBVerCode) AS MaxDBVerCode FROM t_db_ver;";
inline constexpr std::string_view VersionColumn = "MaxDBVerCode";
inline constexpr std::string_view RequiredVersion = "1.06";
inline constexpr std::string_view BackupFolderName = "データベース更新前データ";
// The backup file is FileName + BackupNameSuffix + DatabaseExtension.
inline constexpr std::string_view BackupNameSuffix = "ver_1_06backup";
inline constexpr std::string_view RefusalCaption = "ＤＢ更新";
inline constexpr std::string_view M1MainApplicationRunning =
    "ミボトラ計算ソフトを終了してから再実行してください。";
inline constexpr std::string_view M2Before = "現在のデータベースバージョンが「 ";
inline constexpr std::string_view M2Middle =
    " 」ではありません。\n更新対象のデータベースをご確認下さい。\n\n現在のデータベースバージョンは「 ";
inline constexpr std::string_view M2After = " 」です。";
// "[データベース名]" stands in the text literally; folders are separated with '/'.
inline constexpr std::string_view M3BackupNotice =
    "データベース更新前にバックアップファイルを作成します。\n\nバックアップファイルは、"
    "/データベース更新前データ/[データベース名]ver_1_06backup.mdb となります。";
inline constexpr std::string_view M4BackupExists =
    "すでにバックアップファイルが存在します。バックアップファイルのファイル名を変更してから再度更新作業をして下さい";
inline constexpr std::string_view M5CopyFailed = "コピーに失敗しました。";
inline constexpr std::string_view UpdateFailed = "更新に失敗しました";

// Progress and log.
inline constexpr std::string_view UpdateItem1 = "1.振替用コードテーブル追加";
inline constexpr std::string_view UpdateItem2 = "2.NEXCO大口先調整額登録用テーブル追加";
inline constexpr std::string_view UpdateFinished = "更新終了致しました";
inline constexpr std::string_view UpdateFinishedCaptionSuffix = "更新";

// Windows and controls.
inline constexpr std::string_view RunButtonText = "更新実行";
inline constexpr std::string_view RunButtonTip = "データベース更新";
inline constexpr std::string_view SearchButtonTip = "検索";
inline constexpr std::string_view OpenFileFilter = "Microsoft Access (*.mdb)";
inline constexpr std::string_view BusyPopupText = "データベース最適化中";
inline constexpr std::string_view ErrorWindowCaption = "更新エラー内容";
inline constexpr std::string_view ErrorWindowClose = "閉じる";
inline constexpr std::string_view ErrorWindowCopy = "エラー内容をコピー";
inline constexpr std::string_view VersionWindowCaption = "バージョン情報 MivotraPatch20091109";
inline constexpr std::string_view VersionWindowName = "MivotraPatch20091109 Version 1.0";
inline constexpr std::string_view VersionWindowDate = "最終更新日： 2008/08/18 14:35";
// What a screen reader calls the controls that show no text of their own.
inline constexpr std::string_view SearchButtonName = "検索";
inline constexpr std::string_view LogListName = "更新内容";
inline constexpr std::string_view ErrorTextName = "エラー内容";
inline constexpr std::string_view VersionIconName = "MivotraPatch20091109 のアイコン";
inline constexpr std::string_view ClipboardNoOwner = "クリップボードへの貼り付けが失敗しました";
inline constexpr std::string_view ClipboardOpenFailed = "Failed to open clipboard";

// The main window's own menu and the copy's progress window.
inline constexpr std::string_view WindowMenuClose = "閉じる(&C)";
inline constexpr std::string_view CopyProgressCaption = "バックアップファイルを作成しています...";
inline constexpr std::string_view CopyProgressCancel = "キャンセル";

// The console front end.
// The dry run's box where the update would show UpdateFinished.
inline constexpr std::string_view RehearsalFinished =
    "予行演習を終了しました。更新できます。\nデータベースは変更していません（バックアップも作成していません）。";

}  // namespace mivotra::texts
