// The window "Failed checks": one row per check of the last run that broke
// its limit (set-up, file line, line of levelling, points, check, value,
// limit), sortable by any column, with Copy for a spreadsheet or an e-mail.
// Modeless: the surveyor keeps it open beside the report.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "checks/FailedCheckRows.h"

class QLabel;
class QTableWidget;

namespace vireo::app {

class FailedChecksWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FailedChecksWindow(QWidget* parent = nullptr);

  // Shows `rows` of the run on `file` (its name for the title line).
  void ShowRows(const std::vector<vireo::FailedCheckRow>& rows, const QString& file);
  // The selected rows, or every row when none is selected, with the
  // headings, tab-separated, in the order shown; also put on the clipboard.
  QString Copy();

 private:
  QLabel* summary_;
  QTableWidget* table_;
};

}  // namespace vireo::app
