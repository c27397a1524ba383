// The window "Adjust Network": the surveyor lists the input files (field
// data files and level data files), keys in the benchmarks (name, height in
// metres, standard deviation in mm, empty for a fixed height), sigma for
// 1 km and the workbook's name, ticks "Find blunders" for data snooping,
// and presses Adjust. The window shows the
// summary and the heights of the network points, and names the workbook it
// saved under "Adjusted Networks". It holds no adjustment logic.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "common/AppFolder.h"
#include "gui/Desktop.h"
#include "gui/Prompts.h"
#include "network/NetworkAdjustment.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vireo::network {

class NetworkWindow : public QWidget {
  Q_OBJECT

 public:
  // `prompts` must outlive the window.
  NetworkWindow(vireo::AppFolder app, gui::Prompts& prompts, QWidget* parent = nullptr);

  // The buttons: Add... (the file dialog, several files at once), Remove
  // (the selected files), the benchmark table's Add and Remove, Adjust.
  void AddFiles();
  void RemoveFiles();
  void AddBenchmark();
  void RemoveBenchmarks();
  void Adjust();

  // The links under the results: "Open the workbook" hands the saved
  // workbook to the desktop, "Show warnings" lists the adjustment's warnings.
  void OpenWorkbook();
  void ShowWarnings();
  void SetDocumentOpener(gui::DocumentOpener opener) { opener_ = std::move(opener); }

  // The last adjustment, and the workbook it saved (empty when none).
  const std::optional<vireo::NetworkAdjustment>& Result() const { return result_; }
  const QString& WorkbookPath() const { return workbook_; }

 private:
  void AddFilePaths(const QStringList& paths);
  void ClearResults(const QString& status);
  void ShowResults();
  QString DefaultName() const;

  vireo::AppFolder app_;
  gui::Prompts& prompts_;
  gui::DocumentOpener opener_;
  QString lastFolder_;
  std::optional<vireo::NetworkAdjustment> result_;
  QString workbook_;

  QListWidget* files_;
  QTableWidget* benchmarks_;
  QLineEdit* sigmaKm_;
  QLineEdit* name_;
  QCheckBox* findBlunders_;
  QPushButton* adjust_;
  QLabel* status_;
  QTableWidget* summary_;
  QTableWidget* heights_;
  QLabel* links_;
};

}  // namespace vireo::network
