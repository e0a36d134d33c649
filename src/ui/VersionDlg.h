#pragma once
// The small window with the program's name, version and date of last change.

#include <QDialog>

namespace mivotra {

class CVersionDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CVersionDlg(QWidget* parent = nullptr);
  CVersionDlg(const CVersionDlg&) = delete;
  CVersionDlg& operator=(const CVersionDlg&) = delete;
  ~CVersionDlg() override;
};

}  // namespace mivotra
