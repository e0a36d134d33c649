#include "ui/LineEndKeeper.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <iterator>

#include "ui/MessageBoxes.h"

namespace mivotra {
namespace {

constexpr QChar kBlockSeparator(0x2029);

// The length of the line break that starts at i, or 0. These are exactly the
// characters a text cursor turns into a new block.
qsizetype LineBreakAt(const QString& text, qsizetype i) {
  const QChar c = text.at(i);
  if (c == QLatin1Char('\r')) {
    return (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
  }
  const bool single =
      c == QLatin1Char('\n') || c == kBlockSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
  return single ? 1 : 0;
}

qsizetype CountSeparators(const QString& raw, qsizetype from, qsizetype to) {
  return std::count(raw.begin() + from, raw.begin() + to, kBlockSeparator);
}

}  // namespace

LineEndKeeper::LineEndKeeper(QTextDocument* document) : QObject(document), m_document(document) {
  connect(m_document, &QTextDocument::contentsChange, this,
          [this](int position, int removed, int added) {
            // An edit that runs out of memory here is told; the line ends kept so
            // far stay, and Text() gives "\r\n" to any it lacks.
            RunEventHandler(nullptr, [&] { OnContentsChange(position, removed, added); });
          });
  m_rawText = m_document->toRawText();
  m_lineEnds.assign(static_cast<std::size_t>(CountSeparators(m_rawText, 0, m_rawText.size())),
                    TypedLineEnd());
}

const QString& LineEndKeeper::TypedLineEnd() {
  static const QString crlf = QStringLiteral("\r\n");
  return crlf;
}

void LineEndKeeper::SetText(const QString& text) {
  m_filling = true;
  std::vector<QString> ends;
  const bool undo = m_document->isUndoRedoEnabled();
  m_document->setUndoRedoEnabled(false);
  m_document->clear();
  QTextCursor cursor(m_document);
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype length = LineBreakAt(text, i);
    if (length == 0) {
      ++i;
      continue;
    }
    cursor.insertText(text.mid(start, i - start));
    cursor.insertBlock();
    ends.push_back(text.mid(i, length));
    i += length;
    start = i;
  }
  cursor.insertText(text.mid(start));
  m_document->setUndoRedoEnabled(undo);
  m_document->setModified(false);
  m_rawText = m_document->toRawText();
  m_lineEnds = std::move(ends);
  m_lineEnds.resize(static_cast<std::size_t>(CountSeparators(m_rawText, 0, m_rawText.size())),
                    TypedLineEnd());
  m_filling = false;
}

QString LineEndKeeper::Text() const {
  QString text;
  std::size_t index = 0;
  for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next(), ++index) {
    text += block.text();
    if (!block.next().isValid()) break;
    text += index < m_lineEnds.size() ? m_lineEnds[index] : TypedLineEnd();
  }
  return text;
}

void LineEndKeeper::OnContentsChange(int position, int charsRemoved, int charsAdded) {
  if (m_filling) return;
  const QString raw = m_document->toRawText();
  // The reported range may be wider than the change (it can take in the
  // document's closing separator, or text that was only re-formatted): narrow
  // it to what really differs.
  qsizetype from = std::clamp<qsizetype>(position, 0, std::min(m_rawText.size(), raw.size()));
  qsizetype oldEnd =
      std::clamp<qsizetype>(qsizetype(position) + charsRemoved, from, m_rawText.size());
  qsizetype newEnd = std::clamp<qsizetype>(qsizetype(position) + charsAdded, from, raw.size());
  // Outside the reported range the two texts agree, so the ends line up.
  if (m_rawText.size() - oldEnd != raw.size() - newEnd) {
    oldEnd = m_rawText.size() - std::min(m_rawText.size() - oldEnd, raw.size() - newEnd);
    newEnd = raw.size() - (m_rawText.size() - oldEnd);
  }
  while (from < oldEnd && from < newEnd && m_rawText.at(from) == raw.at(from)) ++from;
  while (oldEnd > from && newEnd > from && m_rawText.at(oldEnd - 1) == raw.at(newEnd - 1)) {
    --oldEnd;
    --newEnd;
  }
  // Separators that went lose their line ends; new ones were typed.
  const auto first = static_cast<std::size_t>(CountSeparators(m_rawText, 0, from));
  const auto removed = static_cast<std::size_t>(CountSeparators(m_rawText, from, oldEnd));
  const auto added = static_cast<std::size_t>(CountSeparators(raw, from, newEnd));
  const std::size_t last = std::min(first + removed, m_lineEnds.size());
  m_lineEnds.erase(m_lineEnds.begin() + static_cast<std::ptrdiff_t>(std::min(first, last)),
                   m_lineEnds.begin() + static_cast<std::ptrdiff_t>(last));
  m_lineEnds.insert(
      m_lineEnds.begin() + static_cast<std::ptrdiff_t>(std::min(first, m_lineEnds.size())), added,
      TypedLineEnd());
  m_rawText = raw;
}

}  // namespace mivotra
