#pragma once
// Ways into SQLite for tests that make the engine fail where it matters: an
// allocator that fails on request, and a look at each statement as it starts.

#include <sqlcipher/sqlite3.h>

#include <atomic>
#include <functional>
#include <string_view>

namespace mivotra::test {

// SQLite's allocator with a countdown: once armed, the Nth allocation fails
// and (when persistent) every one after it, until disarmed. Installed before
// any connection is opened.
class FailingAllocator {
 public:
  static void Install() {
    sqlite3_shutdown();
    sqlite3_config(SQLITE_CONFIG_GETMALLOC, &s_real);
    sqlite3_mem_methods methods = s_real;
    methods.xMalloc = [](int size) -> void* { return Fails() ? nullptr : s_real.xMalloc(size); };
    methods.xRealloc = [](void* p, int size) -> void* {
      return Fails() ? nullptr : s_real.xRealloc(p, size);
    };
    sqlite3_config(SQLITE_CONFIG_MALLOC, &methods);
    sqlite3_initialize();
  }
  static void Uninstall() {
    sqlite3_shutdown();
    sqlite3_config(SQLITE_CONFIG_MALLOC, &s_real);
    sqlite3_initialize();
  }
  static void Arm(int nth, bool persistent) {
    s_persistent = persistent;
    s_countdown = nth;
  }
  static void Disarm() { s_countdown = 0; }
  static bool Fired() { return s_fired; }
  static void Reset() { s_fired = false; }

 private:
  static bool Fails() {
    if (s_countdown <= 0) return false;
    if (s_countdown > 1) {
      --s_countdown;
      return false;
    }
    s_fired = true;
    if (!s_persistent) s_countdown = 0;
    return true;
  }
  static inline sqlite3_mem_methods s_real{};
  static inline std::atomic<int> s_countdown{0};
  static inline bool s_persistent = false;
  static inline bool s_fired = false;
};

// Shows every statement, as it starts to run, to `onStatement`: on every
// connection opened after Install, the engine's own included. A test arms a
// fault there to hit one statement of the program and no other.
class StatementWatch {
 public:
  static void Install() { sqlite3_auto_extension(reinterpret_cast<void (*)()>(&Attach)); }
  static inline std::function<void(std::string_view sql)> onStatement;

 private:
  static int Attach(sqlite3* db, const char**, const sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &Trace, nullptr);
    return SQLITE_OK;
  }
  static int Trace(unsigned, void*, void* statement, void*) {
    if (onStatement) onStatement(sqlite3_sql(static_cast<sqlite3_stmt*>(statement)));
    return 0;
  }
};

}  // namespace mivotra::test
