#pragma once
// The wait cursor of one window while the work it started runs. It is that
// window's cursor, not the application's: message boxes and other windows
// keep their arrow. While a modal window is open the work stands still and
// the user reads and clicks, so the arrow shows over the owner as well.

class QWidget;

namespace mivotra {

class WaitCursor {
 public:
  explicit WaitCursor(QWidget* window) : m_window(window) {}
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  // The work starts (true) or has ended (false).
  void SetWaiting(bool waiting);

  // The arrow for as long as it lives; afterwards the wait cursor again if
  // the work still runs.
  class Modal {
   public:
    explicit Modal(WaitCursor& cursor) : m_cursor(cursor) { m_cursor.Suspend(1); }
    Modal(const Modal&) = delete;
    Modal& operator=(const Modal&) = delete;
    ~Modal() { m_cursor.Suspend(-1); }

   private:
    WaitCursor& m_cursor;
  };

 private:
  void Suspend(int change);
  void Apply();

  QWidget* m_window;
  bool m_waiting = false;
  int m_modals = 0;
  bool m_shown = false;
};

}  // namespace mivotra
