#include "ui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

#include "res/Texts.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"

namespace mivotra {

void CopyTextToClipboard(const std::string& text, QWidget* owner) {
  if (owner == nullptr) {
    ShowAppMessage(nullptr, texts::ClipboardNoOwner);
    return;
  }
  // QClipboard reports no failure of its own: on X11 the selection is taken
  // asynchronously and a refusal shows only as a warning on stderr. The only
  // failure Qt can tell is a missing clipboard.
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) {
    ShowAppMessage(owner, texts::ClipboardOpenFailed);
    return;
  }
  // One format only: the clipboard takes ownership of the data and drops
  // whatever it held before.
  auto* data = new QMimeData;
  data->setText(QtText(text));
  clipboard->setMimeData(data, QClipboard::Clipboard);
}

}  // namespace mivotra
