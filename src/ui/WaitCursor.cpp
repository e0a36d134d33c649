#include "ui/WaitCursor.h"

#include <QWidget>

namespace mivotra {

void WaitCursor::SetWaiting(bool waiting) {
  m_waiting = waiting;
  Apply();
}

void WaitCursor::Suspend(int change) {
  m_modals += change;
  Apply();
}

void WaitCursor::Apply() {
  const bool show = m_waiting && m_modals == 0;
  if (show == m_shown) return;
  m_shown = show;
  if (show) {
    m_window->setCursor(Qt::WaitCursor);
  } else {
    m_window->unsetCursor();
  }
}

}  // namespace mivotra
