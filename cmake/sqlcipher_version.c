/* Prints the version of the SQLCipher library the build links. */
#include <sqlite3.h>
#include <stdio.h>

static int Print(void* unused, int columns, char** values, char** names) {
  (void)unused;
  (void)names;
  if (columns > 0 && values[0]) printf("%s", values[0]);
  return 0;
}

int main(void) {
  sqlite3* db = NULL;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) return 1;
  int rc = sqlite3_exec(db, "PRAGMA cipher_version", Print, NULL, NULL);
  sqlite3_close(db);
  return rc == SQLITE_OK ? 0 : 1;
}
