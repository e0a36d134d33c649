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
    <message>
        <source>Operation is not allowed when the object is open.</source>
        <translation>オブジェクトが開いている場合は、操作は許可されません。</translation>
    </message>
    <message>
        <source>Provider cannot be found. It may not be properly installed.</source>
        <translation>プロバイダが見つかりません。正しくインストールされていない可能性があります。</translation>
    </message>
    <message>
        <source>Operation is not allowed when the object is closed.</source>
        <translation>オブジェクトが閉じている場合は、操作は許可されません。</translation>
    </message>
    <message>
        <source>%1 or %2</source>
        <translation>%1 または %2</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1、%2</translation>
    </message>
    <message>
        <source>You cannot add or change a record because a related record is required in table %1.</source>
        <translation>テーブル %1 にリレーションシップが設定されたレコードが必要なので、レコードの追加または変更はできません。</translation>
    </message>
    <message>
        <source>The record cannot be deleted or changed because table %1 includes related records.</source>
        <translation>テーブル %1 にリレーションシップが設定されたレコードがあるので、レコードの削除または変更はできません。</translation>
    </message>
    <message>
        <source>The change would break a relationship between tables.</source>
        <translation>この変更を行うと、テーブル間のリレーションシップが成り立たなくなります。</translation>
    </message>
    <message>
        <source>The change would break a relationship between tables of table &apos;%1&apos;.</source>
        <translation>この変更を行うと、テーブル &apos;%1&apos; のテーブル間のリレーションシップが成り立たなくなります。</translation>
    </message>
    <message>
        <source>The changes you requested to the table &apos;%1&apos; were not successful because they would create duplicate values in the index, primary key, or relationship (field %2). Change the data in the field or fields that contain duplicate data, remove the index, or redefine the index to permit duplicate entries and try again.</source>
        <translation>インデックス、主キー、またはリレーションシップで値が重複しているので、テーブル &apos;%1&apos; を変更できませんでした (フィールド %2)。重複する値のあるフィールドの値を変更するか、インデックスを削除してください。または重複する値を使用できるようにインデックスを再定義して、もう一度実行してください。</translation>
    </message>
    <message>
        <source>The field &apos;%1&apos; cannot contain a Null value because the Required property for this field is set to True. Enter a value in this field.</source>
        <translation>フィールド &apos;%1&apos; は値 Null を含むことができません。このフィールドの Required プロパティが True に設定されています。このフィールドに値を入力してください。</translation>
    </message>
    <message>
        <source>The field &apos;%1&apos; is too small to accept the amount of data you attempted to add. Try inserting or pasting less data.</source>
        <translation>フィールド &apos;%1&apos; のサイズが小さすぎるため、追加しようとしたデータを入力できません。入力または貼り付けるデータを少なくしてください。</translation>
    </message>
    <message>
        <source>One or more values are prohibited by the validation rule &apos;%1&apos; set for &apos;%2&apos;. Enter a value that the expression for this field can accept.</source>
        <translation>1 つ以上の値が、&apos;%2&apos; に設定されている入力規則 &apos;%1&apos; によって禁止されています。このフィールドの式で使用できる値を入力してください。</translation>
    </message>
    <message>
        <source>The change was refused by a rule of table &apos;%1&apos;: %2.</source>
        <translation>テーブル &apos;%1&apos; の規則によって変更が拒否されました: %2。</translation>
    </message>
    <message>
        <source>The Mivotra Jet engine cannot find the input table or query &apos;%1&apos;. Make sure it exists and that its name is spelled correctly.</source>
        <translation>入力テーブルまたはクエリ &apos;%1&apos; が見つかりません。存在していること、さらにその名前のスペルが正しいことを確認してください。</translation>
    </message>
    <message>
        <source>The name &apos;%1&apos; is already used by an index; index and table names must differ in this engine.</source>
        <translation>名前 &apos;%1&apos; は既にインデックスで使われています。このエンジンでは、インデックスとテーブルに同じ名前を付けることはできません。</translation>
    </message>
    <message>
        <source>The name &apos;%1&apos; is already used by a table; index and table names must differ in this engine.</source>
        <translation>名前 &apos;%1&apos; は既にテーブルで使われています。このエンジンでは、インデックスとテーブルに同じ名前を付けることはできません。</translation>
    </message>
    <message>
        <source>Table &apos;%1&apos; already exists.</source>
        <translation>テーブル &apos;%1&apos; は既に存在します。</translation>
    </message>
    <message>
        <source>Index &apos;%1&apos; already exists.</source>
        <translation>インデックス &apos;%1&apos; は既に存在します。</translation>
    </message>
    <message>
        <source>The INSERT INTO statement contains the following unknown field name: &apos;%1&apos;. Make sure you have typed the name correctly, and try the operation again.</source>
        <translation>INSERT INTO ステートメントに、次の不明なフィールド名が含まれています: &apos;%1&apos;。名前を正しく入力したかどうかを確認して、もう一度操作を実行してください。</translation>
    </message>
    <message>
        <source>No value given for one or more required parameters: &apos;%1&apos; is not a field of the tables in this statement.</source>
        <translation>1 つ以上の必要なパラメータの値が設定されていません: &apos;%1&apos; はこのステートメントのテーブルのフィールドではありません。</translation>
    </message>
    <message>
        <source>A relationship of table &apos;%1&apos; no longer matches a unique index of its related table &apos;%2&apos;.</source>
        <translation>テーブル &apos;%1&apos; のリレーションシップが、リレーション先のテーブル &apos;%2&apos; の固有インデックスと一致しなくなっています。</translation>
    </message>
    <message>
        <source>The disk is full: the folder &apos;%1&apos;, where the engine keeps its work files while it changes &apos;%2&apos;, has no room left.</source>
        <translation>ディスクがいっぱいです: &apos;%2&apos; を変更する間エンジンが作業ファイルを置くフォルダ &apos;%1&apos; に空きがありません。</translation>
    </message>
    <message>
        <source>The disk is full: the database &apos;%1&apos; cannot grow.</source>
        <translation>ディスクがいっぱいです: データベース &apos;%1&apos; を大きくできません。</translation>
    </message>
    <message>
        <source>The database &apos;%1&apos; is damaged and cannot be read. Restore it from a backup copy.</source>
        <translation>データベース &apos;%1&apos; は壊れているため読み取れません。バックアップ コピーから復元してください。</translation>
    </message>
    <message>
        <source>Could not find file &apos;%1&apos;.</source>
        <translation>ファイル &apos;%1&apos; が見つかりませんでした。</translation>
    </message>
    <message>
        <source>Unrecognized database format &apos;%1&apos;.</source>
        <translation>データベースの形式 &apos;%1&apos; を認識できません。</translation>
    </message>
    <message>
        <source>Cannot update. Database or object is read-only (&apos;%1&apos;).</source>
        <translation>更新できません。データベースまたはオブジェクトは読み取り専用です (&apos;%1&apos;)。</translation>
    </message>
    <message>
        <source>Not a valid password.</source>
        <translation>パスワードが正しくありません。</translation>
    </message>
    <message>
        <source>The database &apos;%1&apos; is locked by another process; the operation waited %2 seconds and gave up. Close the other program and try again.</source>
        <translation>データベース &apos;%1&apos; は別のプロセスによってロックされています。%2 秒待っても解除されないため、操作を中止しました。他のプログラムを終了してから、もう一度実行してください。</translation>
    </message>
    <message>
        <source>Cannot update. The database file &apos;%1&apos; was moved, replaced or deleted after it was opened.</source>
        <translation>更新できません。データベース ファイル &apos;%1&apos; は、開いた後で移動、置き換え、または削除されました。</translation>
    </message>
    <message>
        <source>The file size limit of this session (ulimit -f) stops the database &apos;%1&apos; or its journal from growing.</source>
        <translation>このセッションのファイル サイズ制限 (ulimit -f) のため、データベース &apos;%1&apos; またはそのジャーナルを大きくできません。</translation>
    </message>
    <message>
        <source>Disk or network error while reading or writing &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; の読み取りまたは書き込み中に、ディスクまたはネットワーク エラーが発生しました。</translation>
    </message>
    <message>
        <source>Cannot open the file &apos;%1&apos; or its journal. Check that the folder can be written.</source>
        <translation>ファイル &apos;%1&apos; またはそのジャーナルを開けません。フォルダに書き込めることを確認してください。</translation>
    </message>
    <message>
        <source>Access to the database &apos;%1&apos; was refused.</source>
        <translation>データベース &apos;%1&apos; へのアクセスが拒否されました。</translation>
    </message>
    <message>
        <source>Not enough memory to complete the operation.</source>
        <translation>操作を完了するのに十分なメモリがありません。</translation>
    </message>
    <message>
        <source>The Mivotra Jet engine could not run the statement: %1.</source>
        <translation>Mivotra Jet エンジンはステートメントを実行できませんでした: %1。</translation>
    </message>
    <message>
        <source>The Mivotra Jet engine failed: %1.</source>
        <translation>Mivotra Jet エンジンでエラーが発生しました: %1。</translation>
    </message>
    <message>
        <source>Cannot find the table &apos;%1&apos; that the relationship%2 of table &apos;%3&apos; refers to.</source>
        <translation>テーブル &apos;%3&apos; のリレーションシップ%2 が参照するテーブル &apos;%1&apos; が見つかりません。</translation>
    </message>
    <message>
        <source>The field &apos;%1&apos; that the relationship%2 refers to does not exist in table &apos;%3&apos;.</source>
        <translation>リレーションシップ%2 が参照するフィールド &apos;%1&apos; は、テーブル &apos;%3&apos; にありません。</translation>
    </message>
    <message>
        <source>No unique index found for the referenced field of the primary table &apos;%1&apos; (relationship%2 of table &apos;%3&apos;).</source>
        <translation>主テーブル &apos;%1&apos; の参照フィールドに対する固有インデックスが見つかりません (テーブル &apos;%3&apos; のリレーションシップ%2)。</translation>
    </message>
    <message>
        <source>The transaction was rolled back after an earlier failure: none of its changes were kept, and nothing more runs in it until it is ended.</source>
        <translation>前のエラーのため、トランザクションはロールバックされました: その変更はどれも保存されておらず、トランザクションを終了するまで、その中では何も実行されません。</translation>
    </message>
    <message>
        <source>Syntax error in INSERT INTO statement.</source>
        <translation>INSERT INTO ステートメントの構文エラーです。</translation>
    </message>
    <message>
        <source>Expected VALUES or SELECT.</source>
        <translation>VALUES または SELECT が必要です。</translation>
    </message>
    <message>
        <source>Syntax error in UPDATE statement.</source>
        <translation>UPDATE ステートメントの構文エラーです。</translation>
    </message>
    <message>
        <source>Only single-table UPDATE ... SET is supported.</source>
        <translation>UPDATE ... SET は 1 つのテーブルに対するものだけがサポートされています。</translation>
    </message>
    <message>
        <source>Expected a data type for field &apos;%1&apos;.</source>
        <translation>フィールド &apos;%1&apos; のデータ型が必要です。</translation>
    </message>
    <message>
        <source>The counter of field &apos;%1&apos; must start at 1 and rise by 1 in this engine.</source>
        <translation>このエンジンでは、フィールド &apos;%1&apos; のカウンタは 1 から始まり 1 ずつ増えなければなりません。</translation>
    </message>
    <message>
        <source>The size of field &apos;%1&apos; must be at least 1.</source>
        <translation>フィールド &apos;%1&apos; のサイズは 1 以上でなければなりません。</translation>
    </message>
    <message>
        <source>Size of field &apos;%1&apos; is too long: text fields hold at most 255 characters.</source>
        <translation>フィールド &apos;%1&apos; のサイズが大きすぎます: テキスト型のフィールドには最大 255 文字までしか入りません。</translation>
    </message>
    <message>
        <source>Unknown data type for field &apos;%1&apos;.</source>
        <translation>フィールド &apos;%1&apos; のデータ型が不明です。</translation>
    </message>
    <message>
        <source>The field is the primary key twice.</source>
        <translation>このフィールドは主キーとして 2 回指定されています。</translation>
    </message>
    <message>
        <source>Expected PRIMARY KEY or REFERENCES.</source>
        <translation>PRIMARY KEY または REFERENCES が必要です。</translation>
    </message>
    <message>
        <source>A default value must be a constant.</source>
        <translation>既定値は定数でなければなりません。</translation>
    </message>
    <message>
        <source>Syntax error in CREATE TABLE statement.</source>
        <translation>CREATE TABLE ステートメントの構文エラーです。</translation>
    </message>
    <message>
        <source>A table has only one primary key.</source>
        <translation>1 つのテーブルに主キーは 1 つしか指定できません。</translation>
    </message>
    <message>
        <source>A table can have only one counter field.</source>
        <translation>1 つのテーブルにカウンタ型のフィールドは 1 つしか指定できません。</translation>
    </message>
    <message>
        <source>The counter field &apos;%1&apos; must be the primary key of its table in this engine.</source>
        <translation>このエンジンでは、カウンタ型のフィールド &apos;%1&apos; はそのテーブルの主キーでなければなりません。</translation>
    </message>
    <message>
        <source>Syntax error in CREATE INDEX statement.</source>
        <translation>CREATE INDEX ステートメントの構文エラーです。</translation>
    </message>
    <message>
        <source>Expected a comparison.</source>
        <translation>比較が必要です。</translation>
    </message>
    <message>
        <source>Expected an expression.</source>
        <translation>式が必要です。</translation>
    </message>
    <message>
        <source>Undefined function &apos;%1&apos; in expression (character %2).</source>
        <translation>式に未定義関数 &apos;%1&apos; があります (%2 文字目)。</translation>
    </message>
    <message>
        <source>Expected %1.</source>
        <translation>%1 が必要です。</translation>
    </message>
    <message>
        <source>Expected &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; が必要です。</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1%2</translation>
    </message>
    <message>
        <source>Syntax error.</source>
        <translation>構文エラーです。</translation>
    </message>
    <message>
        <source>The statement ends too early.</source>
        <translation>ステートメントが途中で終わっています。</translation>
    </message>
    <message>
        <source>Near &apos;%1&apos; (character %2).</source>
        <translation>&apos;%1&apos; の付近です (%2 文字目)。</translation>
    </message>
    <message>
        <source>Expected a name.</source>
        <translation>名前が必要です。</translation>
    </message>
    <message>
        <source>Expected a whole number.</source>
        <translation>整数が必要です。</translation>
    </message>
    <message>
        <source>Syntax error in string in query expression &apos;%1&apos; (character %2).</source>
        <translation>クエリ式 &apos;%1&apos; の文字列の構文エラーです (%2 文字目)。</translation>
    </message>
    <message>
        <source>Syntax error in date in query expression &apos;%1&apos; (character %2).</source>
        <translation>クエリ式 &apos;%1&apos; の日付の構文エラーです (%2 文字目)。</translation>
    </message>
    <message>
        <source>Invalid character in SQL statement at character %1.</source>
        <translation>SQL ステートメントの %1 文字目に無効な文字があります。</translation>
    </message>
    <message>
        <source>Syntax error in query.</source>
        <translation>クエリの構文エラーです。</translation>
    </message>
    <message>
        <source>Only CREATE TABLE and CREATE [UNIQUE] INDEX are supported.</source>
        <translation>CREATE TABLE と CREATE [UNIQUE] INDEX だけがサポートされています。</translation>
    </message>
    <message>
        <source>Invalid SQL statement; expected &apos;DELETE&apos;, &apos;INSERT&apos;, &apos;PROCEDURE&apos;, &apos;SELECT&apos;, or &apos;UPDATE&apos;.</source>
        <translation>SQL ステートメントが正しくありません。&apos;DELETE&apos;、&apos;INSERT&apos;、&apos;PROCEDURE&apos;、&apos;SELECT&apos;、または &apos;UPDATE&apos; を使用してください。</translation>
    </message>
    <message>
        <source>Characters found after end of SQL statement.</source>
        <translation>SQL ステートメントの後に文字が見つかりました。</translation>
    </message>
    <message>
        <source>Syntax error in FROM clause.</source>
        <translation>FROM 句の構文エラーです。</translation>
    </message>
    <message>
        <source>Syntax error (missing operator) in query expression.</source>
        <translation>クエリ式の構文エラー: 演算子がありません。</translation>
    </message>
    <message>
        <source>Could not find file &apos;&apos;. The connection string names no Data Source.</source>
        <translation>ファイル &apos;&apos; が見つかりませんでした。接続文字列に Data Source がありません。</translation>
    </message>
    <message>
        <source>Cannot open the file &apos;%1&apos;: %2.</source>
        <translation>ファイル &apos;%1&apos; を開けません: %2。</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is a folder, not a database file.</source>
        <translation>&apos;%1&apos; はフォルダです。データベース ファイルではありません。</translation>
    </message>
    <message>
        <source>Cannot look at the file &apos;%1&apos;.</source>
        <translation>ファイル &apos;%1&apos; を調べられません。</translation>
    </message>
    <message>
        <source>Cannot open the file &apos;%1&apos;: %2. You need permission to read it.</source>
        <translation>ファイル &apos;%1&apos; を開けません: %2。読み取りのアクセス許可が必要です。</translation>
    </message>
    <message>
        <source>Cannot open the folder of the file &apos;%1&apos;: %2.</source>
        <translation>ファイル &apos;%1&apos; のフォルダを開けません: %2。</translation>
    </message>
    <message>
        <source>Cannot set the database password for &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; のデータベース パスワードを設定できません。</translation>
    </message>
    <message>
        <source>Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current record.</source>
        <translation>BOF と EOF のいずれかが True になっているか、または現在のレコードが削除されています。要求された操作には、現在のレコードが必要です。</translation>
    </message>
    <message>
        <source>Item &apos;%1&apos; cannot be found in the collection corresponding to the requested name or ordinal.</source>
        <translation>要求された名前、または序数に対応する項目 &apos;%1&apos; がコレクションで見つかりません。</translation>
    </message>
    <message>
        <source>The database &apos;%1&apos; is in use by another process, which keeps it in write-ahead log mode; close the other program and try again.</source>
        <translation>データベース &apos;%1&apos; は別のプロセスが使用中で、先行書き込みログ (WAL) モードになっています。他のプログラムを終了してから、もう一度実行してください。</translation>
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
    <message>
        <source>no version</source>
        <translation>バージョンなし</translation>
    </message>
    <message>
        <source>After the update&apos;s statements the version query reads %1 instead of &apos;%2&apos;, so the database would not count as updated; the update is undone, and the database is as it was before.</source>
        <translation>更新の文の後、バージョンの問い合わせの結果は &apos;%2&apos; ではなく %1 だったため、データベースは更新済みとみなされません。更新は取り消され、データベースは更新前のままです。</translation>
    </message>
</context>
</TS>
