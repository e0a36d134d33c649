<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>backup</name>
    <message>
        <source>the engine&apos;s own access to %1 cannot be found</source>
        <translation>エンジンが開いている %1 が見つかりません</translation>
    </message>
    <message>
        <source>%1 was moved, replaced or deleted after it was opened</source>
        <translation>%1 は開いた後で移動、置き換え、または削除されました</translation>
    </message>
    <message>
        <source>%1 has %2 names (hard links); updating it would change the file under every one of them, so it is left as it is</source>
        <translation>%1 には名前 (ハードリンク) が %2 個あります。更新するとそのすべての名前でファイルが変わるため、そのままにします</translation>
    </message>
    <message>
        <source>the file %1 lies in the backup folder; SQLite would take it for the backup&apos;s journal and change the backup with it</source>
        <translation>バックアップフォルダにファイル %1 があります。SQLite はそれをバックアップのジャーナルとみなし、それでバックアップを変更してしまいます</translation>
    </message>
    <message>
        <source>the dry run made the backup folder %1 and cannot remove it: %2</source>
        <translation>予行演習で作成したバックアップフォルダ %1 を削除できません: %2</translation>
    </message>
    <message>
        <source>cannot create a file in %1: %2</source>
        <translation>%1 にファイルを作成できません: %2</translation>
    </message>
    <message>
        <source>cannot write the copy to disk: %1</source>
        <translation>コピーをディスクに書き込めません: %1</translation>
    </message>
    <message>
        <source>cannot give the copy its name %1: %2</source>
        <translation>コピーに名前 %1 を付けられません: %2</translation>
    </message>
    <message>
        <source>no room for the backup on the file system of %1: %2 bytes are needed, %3 are free</source>
        <translation>%1 のファイルシステムにバックアップを置く空きがありません: %2 バイト必要ですが、空きは %3 バイトです</translation>
    </message>
    <message>
        <source>the file size limit of this session (ulimit -f) is below the %1 bytes of the backup</source>
        <translation>このセッションのファイルサイズ制限 (ulimit -f) がバックアップの %1 バイトより小さくなっています</translation>
    </message>
    <message>
        <source>%1; whether the %2 bytes of the backup fit is not known</source>
        <translation>%1。バックアップの %2 バイトが収まるかどうかはわかりません</translation>
    </message>
    <message>
        <source>%1; %2</source>
        <translation>%1。%2</translation>
    </message>
    <message>
        <source>cannot open the folder %1: %2</source>
        <translation>フォルダ %1 を開けません: %2</translation>
    </message>
    <message>
        <source>cannot write the folder %1 to disk: %2</source>
        <translation>フォルダ %1 をディスクに書き込めません: %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>no source or no destination</source>
        <translation>コピー元またはコピー先がありません</translation>
    </message>
    <message>
        <source>the destination %1 names no file</source>
        <translation>コピー先 %1 はファイルの名前ではありません</translation>
    </message>
    <message>
        <source>cannot look at %1</source>
        <translation>%1 を調べられません</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 は通常のファイルではありません</translation>
    </message>
    <message>
        <source>cannot create a file in %1</source>
        <translation>%1 にファイルを作成できません</translation>
    </message>
    <message>
        <source>%1 changed or vanished while it was copied</source>
        <translation>%1 はコピーの間に変更されたか、なくなりました</translation>
    </message>
    <message>
        <source>cannot write the copy to disk</source>
        <translation>コピーをディスクに書き込めません</translation>
    </message>
    <message>
        <source>cannot give the copy its name %1</source>
        <translation>コピーに名前 %1 を付けられません</translation>
    </message>
    <message>
        <source>cannot write the folder %1 to disk</source>
        <translation>フォルダ %1 をディスクに書き込めません</translation>
    </message>
    <message>
        <source>cannot read %1 again</source>
        <translation>%1 を読み直せません</translation>
    </message>
    <message>
        <source>cannot read the copy back</source>
        <translation>コピーを読み戻せません</translation>
    </message>
    <message>
        <source>the copy differs from %1 after byte %2</source>
        <translation>コピーは %2 バイト目から先が %1 と異なります</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>キャンセルされました</translation>
    </message>
    <message>
        <source>cannot copy to %1</source>
        <translation>%1 にコピーできません</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>%1 を読み取れません</translation>
    </message>
    <message>
        <source>cannot write to %1</source>
        <translation>%1 に書き込めません</translation>
    </message>
    <message>
        <source>no usable backup folder name</source>
        <translation>使えるバックアップフォルダ名がありません</translation>
    </message>
    <message>
        <source>cannot look at the backup folder %1: %2</source>
        <translation>バックアップフォルダ %1 を調べられません: %2</translation>
    </message>
    <message>
        <source>the backup folder&apos;s name %1 is a symbolic link that belongs to another user</source>
        <translation>バックアップフォルダの名前 %1 は、他のユーザーが所有するシンボリックリンクです</translation>
    </message>
    <message>
        <source>the backup folder&apos;s name %1 is not a folder</source>
        <translation>バックアップフォルダの名前 %1 はフォルダではありません</translation>
    </message>
    <message>
        <source>cannot open the backup folder %1: %2</source>
        <translation>バックアップフォルダ %1 を開けません: %2</translation>
    </message>
    <message>
        <source>the backup folder %1 was replaced while it was opened</source>
        <translation>バックアップフォルダ %1 は開く間に置き換えられました</translation>
    </message>
    <message>
        <source>the backup folder %1 belongs to another user (uid %2)</source>
        <translation>バックアップフォルダ %1 は他のユーザー (uid %2) が所有しています</translation>
    </message>
    <message>
        <source>other users can write to the backup folder %1 (mode %2)</source>
        <translation>バックアップフォルダ %1 には他のユーザーも書き込めます (モード %2)</translation>
    </message>
    <message>
        <source>cannot make the backup folder %1: %2</source>
        <translation>バックアップフォルダ %1 を作成できません: %2</translation>
    </message>
    <message>
        <source>cannot look at the file system of %1: %2</source>
        <translation>%1 のファイルシステムを調べられません: %2</translation>
    </message>
    <message>
        <source>the file system of %1 does not tell how much room it has</source>
        <translation>%1 のファイルシステムは空き容量を知らせません</translation>
    </message>
    <message>
        <source>cannot set the permissions of the copy</source>
        <translation>コピーのアクセス権を設定できません</translation>
    </message>
    <message>
        <source>cannot set the times of the copy</source>
        <translation>コピーの日時を設定できません</translation>
    </message>
</context>
<context>
    <name>cmdline</name>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>不明なオプション &apos;%1&apos; です。</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; の後に値がありません。</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; の後に予期しない値があります。</translation>
    </message>
    <message>
        <source>%1 is given more than once</source>
        <translation>%1 が二回以上指定されています</translation>
    </message>
    <message>
        <source>%1 needs a value that is not empty</source>
        <translation>%1 には空でない値が必要です</translation>
    </message>
</context>
<context>
    <name>engine</name>
    <message>
        <source>Database &apos;%1&apos; already exists.</source>
        <translation>データベース &apos;%1&apos; は既に存在します。</translation>
    </message>
    <message>
        <source>Cannot create database &apos;%1&apos;: %2.</source>
        <translation>データベース &apos;%1&apos; を作成できません: %2。</translation>
    </message>
    <message>
        <source>Cannot create database &apos;%1&apos;.</source>
        <translation>データベース &apos;%1&apos; を作成できません。</translation>
    </message>
    <message>
        <source>Cannot encrypt database &apos;%1&apos;.</source>
        <translation>データベース &apos;%1&apos; を暗号化できません。</translation>
    </message>
    <message>
        <source>Cannot write database &apos;%1&apos;: %2.</source>
        <translation>データベース &apos;%1&apos; に書き込めません: %2。</translation>
    </message>
    <message>
        <source>Format of the initialization string does not conform to the OLE DB rules. (%1 at character %2.)</source>
        <translation>初期化文字列の形式が OLE DB の仕様に準拠していません。(%2 文字目: %1)</translation>
    </message>
    <message>
        <source>a key without &apos;=&apos;</source>
        <translation>&apos;=&apos; のないキー</translation>
    </message>
    <message>
        <source>a value without a key</source>
        <translation>キーのない値</translation>
    </message>
    <message>
        <source>an unterminated quoted value</source>
        <translation>閉じていない引用符付きの値</translation>
    </message>
    <message>
        <source>text after a quoted value</source>
        <translation>引用符付きの値の後の文字</translation>
    </message>
</context>
<context>
    <name>mivotra-patch</name>
    <message>
        <source>%1 (not used: %2)</source>
        <translation>%1 (使用しません: %2)</translation>
    </message>
    <message>
        <source>%1 (there is none)</source>
        <translation>%1 (ありません)</translation>
    </message>
    <message>
        <source>%1 (it has no [DATABASE] group)</source>
        <translation>%1 ([DATABASE] グループがありません)</translation>
    </message>
    <message>
        <source>no database could be opened.</source>
        <translation>データベースを開けませんでした。</translation>
    </message>
    <message>
        <source>  settings file: %1</source>
        <translation>  設定ファイル: %1</translation>
    </message>
    <message>
        <source>  no database file is named</source>
        <translation>  データベースファイルが指定されていません</translation>
    </message>
    <message>
        <source>  tried: %1 (from --database)</source>
        <translation>  試したファイル: %1 (--database から)</translation>
    </message>
    <message>
        <source>  tried: %1 (from the settings)</source>
        <translation>  試したファイル: %1 (設定から)</translation>
    </message>
    <message>
        <source>  reason: %1</source>
        <translation>  理由: %1</translation>
    </message>
    <message>
        <source>there is no file at that path</source>
        <translation>そのパスにファイルがありません</translation>
    </message>
    <message>
        <source>it could not be opened</source>
        <translation>開けませんでした</translation>
    </message>
    <message>
        <source>name the database with --database FILE (see --help).</source>
        <translation>データベースを --database FILE で指定してください (--help を参照)。</translation>
    </message>
    <message>
        <source>the backup folder is %1</source>
        <translation>バックアップフォルダは %1 です</translation>
    </message>
    <message>
        <source>Backing up</source>
        <translation>バックアップ中</translation>
    </message>
    <message>
        <source>Usage: mivotra-patch [OPTION]...
Updates the Mivotra database from version 1.06 to 1.07, after a backup copy.
Without --database it updates the database the main application&apos;s settings name.

  --database FILE      update FILE instead, as if chosen in the window&apos;s file
                       dialog (an extension other than .mdb in any letter case
                       is replaced by .mdb)
  --password-env NAME  take the database password from environment variable NAME
                       (else the settings&apos; Password); never from the command line
  --dry-run            rehearse the update: every check of the real run in its
                       order and the whole patch inside its transaction, rolled
                       back; no backup is written and nothing on disk changes
  --json               print one JSON object on standard output when the run ends,
                       instead of the statement list
  -h, --help           show this help and exit
      --version        show the program&apos;s version and exit
Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.

Settings file: %1%2
  group [DATABASE], keys FileName (without .mdb), PathName (ending in /), Password;
  only read.
Backup: the folder %3/ beside the database, file &lt;name&gt;%4
  (for data1.mdb: %3/data1%4). An existing backup is never replaced:
  the run refuses until it is renamed or moved.

Message boxes go to standard error as [caption], the text and an empty line.
After an update (or a dry run that would update) the numbered statement list
goes to standard output.

Exit status:
  0  updated (with --dry-run: the update would be made)
  1  refused or failed: the main application or another program uses the
     database, the version is not 1.06, the backup is already there, the copy
     or the patch failed; the database is left as it was
  2  usage error
  3  no database found or opened
</source>
        <translation>使い方: mivotra-patch [オプション]...
ミボトラのデータベースを、バックアップコピーを作ってから、バージョン 1.06 から 1.07 に更新します。
--database がなければ、ミボトラ計算ソフトの設定が指すデータベースを更新します。

  --database FILE      代わりに FILE を更新します。画面版のファイル選択で選んだときと
                       同じく、.mdb 以外の拡張子は .mdb に置き換えます
                       (大文字小文字は問いません)
  --password-env NAME  データベースのパスワードを環境変数 NAME から取ります
                       (なければ設定の Password)。コマンドラインからは取りません
  --dry-run            予行演習をします: 本番と同じ確認を同じ順に行い、更新全体を
                       トランザクションの中で実行してから取り消します。
                       バックアップは書かず、ディスク上は何も変わりません
  --json               終了時に、SQL 文の一覧の代わりに JSON オブジェクトを一つ
                       標準出力に書きます
  -h, --help           このヘルプを表示して終わります
      --version        バージョンを表示して終わります
値は --opt VALUE または --opt=VALUE の形で与えます。-- より後はオプションとみなしません。

設定ファイル: %1%2
  グループ [DATABASE]、キー FileName (.mdb を除く)、PathName (/ で終わる)、Password。
  読むだけです。
バックアップ: データベースのそばのフォルダ %3/ のファイル &lt;名前&gt;%4
  (data1.mdb なら %3/data1%4)。すでにあるバックアップは置き換えず、
  名前を変えるか移すまで更新しません。

メッセージボックスは [見出し]、本文、空行の順に標準エラー出力に書きます。
更新の後 (または更新できる予行演習の後) は、実行した SQL 文の番号付き一覧を
標準出力に書きます。

終了ステータス:
  0  更新しました (--dry-run では、更新できます)
  1  更新しませんでした、または失敗しました: 計算ソフトや他のプログラムが
     データベースを使用中、バージョンが 1.06 でない、バックアップがすでにある、
     コピーまたは更新の失敗。データベースは元のままです
  2  使い方の誤り
  3  データベースが見つからないか、開けませんでした
</translation>
    </message>
    <message>
        <source> (there is none)</source>
        <translation> (ありません)</translation>
    </message>
    <message>
        <source>Try &apos;mivotra-patch --help&apos; for more information.</source>
        <translation>詳しくは &apos;mivotra-patch --help&apos; を実行してください。</translation>
    </message>
    <message>
        <source>a password is never taken from the command line; use --password-env NAME</source>
        <translation>パスワードはコマンドラインからは受け取りません。--password-env NAME を使ってください</translation>
    </message>
    <message>
        <source>unexpected argument %1 (the database is named with --database FILE)</source>
        <translation>予期しない引数 %1 があります (データベースは --database FILE で指定します)</translation>
    </message>
    <message>
        <source>environment variable %1 is not set</source>
        <translation>環境変数 %1 が設定されていません</translation>
    </message>
    <message>
        <source>standard output could not be written (%1); the exit status tells the outcome</source>
        <translation>標準出力に書き込めませんでした (%1)。結果は終了ステータスが示します</translation>
    </message>
    <message>
        <source>out of memory while reporting the result</source>
        <translation>結果の報告中にメモリが足りなくなりました</translation>
    </message>
</context>
<context>
    <name>mivotra-sample-db</name>
    <message>
        <source>Usage: mivotra-sample-db [OPTION]... FILE
Writes a new Mivotra database FILE (ending in .mdb); it never overwrites a file.
  --schema-version CODE  the latest version in t_db_ver (default 1.06)
  --with-comment-table   the version comment table exists already
  --kumi-rows N          rows of t_kumi_rate (default 24)
  --password-env NAME    encrypt with the password held by environment variable NAME
  --cipher-compatibility 3|4
                         the SQLCipher format of an encrypted FILE: 4 (the default) as a
                         current main application writes, 3 as older ones wrote
  -h, --help             show this help and exit
      --version          show the program&apos;s version and exit
Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.
Exit status: 0 written, 1 the database could not be written, 2 usage error.
</source>
        <translation>使い方: mivotra-sample-db [オプション]... FILE
新しいミボトラのデータベース FILE (.mdb で終わる) を作ります。すでにあるファイルは上書きしません。
  --schema-version CODE  t_db_ver に記録する最新のバージョン (既定は 1.06)
  --with-comment-table   バージョンのコメントテーブルがすでにあるデータベースを作ります
  --kumi-rows N          t_kumi_rate の行数 (既定は 24)
  --password-env NAME    環境変数 NAME のパスワードでデータベースを暗号化します
  --cipher-compatibility 3|4
                         暗号化する FILE の SQLCipher の形式: 4 (既定) は現在の
                         ミボトラ計算ソフトが書く形式、3 は以前の版が書いた形式です
  -h, --help             このヘルプを表示して終わります
      --version          バージョンを表示して終わります
値は --opt VALUE または --opt=VALUE の形で与えます。-- より後はオプションとみなしません。
終了ステータス: 0 データベースを作りました、1 データベースを作れませんでした、2 使い方の誤り。
</translation>
    </message>
    <message>
        <source>--kumi-rows takes a whole number from 0 to 100000000</source>
        <translation>--kumi-rows には 0 から 100000000 までの整数を指定します</translation>
    </message>
    <message>
        <source>environment variable %1 is not set</source>
        <translation>環境変数 %1 が設定されていません</translation>
    </message>
    <message>
        <source>--cipher-compatibility takes 3 or 4</source>
        <translation>--cipher-compatibility には 3 か 4 を指定します</translation>
    </message>
    <message>
        <source>FILE is missing</source>
        <translation>FILE がありません</translation>
    </message>
    <message>
        <source>only one FILE can be written</source>
        <translation>書き出せる FILE は一つだけです</translation>
    </message>
    <message>
        <source>--schema-version takes a code such as 1.06</source>
        <translation>--schema-version には 1.06 のようなコードを指定します</translation>
    </message>
    <message>
        <source>FILE must end in .mdb</source>
        <translation>FILE は .mdb で終わる名前にしてください</translation>
    </message>
</context>
<context>
    <name>platform</name>
    <message>
        <source>process %1</source>
        <translation>プロセス %1</translation>
    </message>
    <message>
        <source>process %1 (%2)</source>
        <translation>プロセス %1 (%2)</translation>
    </message>
    <message>
        <source>%1 holds a read lock on %2</source>
        <translation>%1 が %2 の読み取りロックを持っています</translation>
    </message>
    <message>
        <source>%1 holds a write lock on %2</source>
        <translation>%1 が %2 の書き込みロックを持っています</translation>
    </message>
    <message>
        <source>another process (one the system does not name) holds a read lock on %1</source>
        <translation>他のプロセス (システムが名前を示さないもの) が %1 の読み取りロックを持っています</translation>
    </message>
    <message>
        <source>another process (one the system does not name) holds a write lock on %1</source>
        <translation>他のプロセス (システムが名前を示さないもの) が %1 の書き込みロックを持っています</translation>
    </message>
    <message>
        <source>%1 has %2 open</source>
        <translation>%1 が %2 を開いています</translation>
    </message>
</context>
<context>
    <name>settings</name>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 は通常のファイルではありません</translation>
    </message>
    <message>
        <source>%1 holds no value QSettings can read, such as @Invalid()</source>
        <translation>%1 には、@Invalid() のような QSettings が読めない値が入っています</translation>
    </message>
    <message>
        <source>%1 is a list of %2 texts, not one text; a &apos;,&apos; outside double quotes makes a list</source>
        <translation>%1 は一つの文字列ではなく %2 個の文字列のリストです。二重引用符の外の &apos;,&apos; でリストになります</translation>
    </message>
    <message>
        <source>%1 is stored as %2, not as a text</source>
        <translation>%1 は文字列ではなく %2 として保存されています</translation>
    </message>
    <message>
        <source>QSettings cannot read it</source>
        <translation>QSettings が読み取れません</translation>
    </message>
</context>
<context>
    <name>update</name>
    <message>
        <source>unexpected failure</source>
        <translation>予期しないエラー</translation>
    </message>
    <message>
        <source>After the update&apos;s statements the version query reads no version instead of &apos;%2&apos;, so the database would not count as updated; the update is undone, and the database is as it was before.</source>
        <translation>更新の文の後、バージョンの問い合わせは &apos;%2&apos; ではなく何も読み取らなかったため、データベースは更新済みとみなされません。更新は取り消され、データベースは更新前のままです。</translation>
    </message>
    <message>
        <source>After the update&apos;s statements the version query reads &apos;%1&apos; instead of &apos;%2&apos;, so the database would not count as updated; the update is undone, and the database is as it was before.</source>
        <translation>更新の文の後、バージョンの問い合わせは &apos;%2&apos; ではなく &apos;%1&apos; を読み取ったため、データベースは更新済みとみなされません。更新は取り消され、データベースは更新前のままです。</translation>
    </message>
    <message>
        <source>%1; %2</source>
        <translation>%1。%2</translation>
    </message>
    <message>
        <source>the database is in use: %1</source>
        <translation>データベースは使用中です: %1</translation>
    </message>
    <message>
        <source>The file at the database&apos;s name was moved or replaced while the update was written, and is left as it is. The backup %1 holds the database as it was before.</source>
        <translation>更新を書き込む間に、データベースの名前のファイルが移動されたか置き換えられたため、そのファイルはそのままにします。バックアップ %1 に更新前のデータベースがあります。</translation>
    </message>
    <message>
        <source>the update is complete, but %1; keep the backup until the database has been checked</source>
        <translation>更新は完了しましたが、%1。データベースを確認するまでバックアップを残しておいてください</translation>
    </message>
    <message>
        <source>There is no room for both the backup and the update&apos;s journal on the disk of &apos;%1&apos;: beside the journal %2 bytes are free, the backup needs %3.</source>
        <translation>&apos;%1&apos; のディスクには、バックアップと更新のジャーナルの両方を置く空きがありません: ジャーナルのほかの空きは %2 バイトで、バックアップには %3 バイト必要です。</translation>
    </message>
</context>
</TS>
