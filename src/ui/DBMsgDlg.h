#pragma once
// A small notice without title bar, "データベース最適化中". The main window
// creates it once, hidden, and nothing ever shows it.

#include <QDialog>

namespace mivotra {

class CDBMsgDlg final : public QDialog {
  Q_OBJECT

 public:
  // Without parent until Create gives it its owner.
  CDBMsgDlg();
  CDBMsgDlg(const CDBMsgDlg&) = delete;
  CDBMsgDlg& operator=(const CDBMsgDlg&) = delete;
  ~CDBMsgDlg() override;

  // Makes the window, owned by parent, hidden and centred on it (on parent's
  // screen while parent is not yet shown). Returns false, changing nothing,
  // when the window exists already.
  bool Create(QWidget* parent);
  bool IsCreated() const;
};

}  // namespace mivotra
