#pragma once
// A text document knows a line break only as the start of a new block, so
// text shown in an edit box would come back with "\n" everywhere. This keeps
// each line's own end ("\r\n", lone "\n", lone "\r") through the user's
// edits; a line break the user types is "\r\n", as a Windows edit box makes it.

#include <QObject>
#include <QString>
#include <vector>

class QTextDocument;

namespace mivotra {

class LineEndKeeper final : public QObject {
  Q_OBJECT

 public:
  explicit LineEndKeeper(QTextDocument* document);

  // Fills the document with text, remembering its line ends.
  void SetText(const QString& text);
  // The document's text with every line end as given or typed.
  QString Text() const;

  static const QString& TypedLineEnd();

 private:
  void OnContentsChange(int position, int charsRemoved, int charsAdded);

  QTextDocument* m_document;
  // The document's raw text (blocks joined by U+2029) as of the last change,
  // and the line end for each of its block separators, in order.
  QString m_rawText;
  std::vector<QString> m_lineEnds;
  bool m_filling = false;
};

}  // namespace mivotra
