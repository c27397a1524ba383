// The window "Adjust Network": the surveyor lists the input files (field
// data files and level data files), keys in the benchmarks (name, height in
// metres, standard deviation in mm, empty for a fixed height), sigma for
// 1 km and the workbook's name, ticks "Find blunders" for data snooping,
// and presses Adjust. The window shows the
// summary and the heights of the network points, and names the workbook it
// saved under "Adjusted Networks". Its inputs, benchmarks and settings are
// saved as a network job file and opened again ("Save job...", "Open
// job..."); a benchmark list is loaded as `--benchmarks` reads it. It
// remembers its size and place and the last folder. It holds no adjustment
// logic.
#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <optional>

#include "common/AppFolder.h"
#include "gui/Desktop.h"
#include "gui/Job.h"
#include "gui/Prompts.h"
#include "network/NetworkAdjustment.h"
#include "network/NetworkJob.h"

class QCheckBox;
class QCloseEvent;
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
  // Reads, adjusts and saves off the window's thread, with a progress bar
  // (the inputs read) and Cancel; the earlier results and workbook stay
  // when it is cancelled.
  void Adjust();
  bool Adjusting() const { return job_->Running(); }
  gui::JobBar* AdjustmentProgress() const { return job_; }
  // Cancels a running adjustment and waits for it to end.
  void CancelAdjustment() { job_->CancelAndWait(); }
  // "Load benchmarks...": adds the benchmarks of a list NAME,HEIGHT[,SIGMA_MM].
  void LoadBenchmarks();
  // "Open job..." replaces what the window holds by a job file's; "Save
  // job..." saves it as one.
  void OpenJob();
  void SaveJob();

  // What the window holds as a job; Error naming the field that is not
  // usable (the benchmark table, sigma for 1 km).
  vireo::NetworkJob Job() const;
  void SetJob(const vireo::NetworkJob& job);

  // The links under the results: "Open the workbook" hands the saved
  // workbook to the desktop (and says so, with its path, when no program
  // took it), "Show warnings" lists the adjustment's warnings.
  void OpenWorkbook();
  void ShowWarnings();
  void SetDocumentOpener(gui::DocumentOpener opener) { opener_ = std::move(opener); }

  // The last adjustment, and the workbook it saved (empty when none).
  const std::optional<vireo::NetworkAdjustment>& Result() const { return result_; }
  const QString& WorkbookPath() const { return workbook_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Fits the summary's columns to the table whenever it is resized.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddFilePaths(const QStringList& paths);
  void AddBenchmarkRows(const std::vector<vireo::Benchmark>& benchmarks);
  QString Folder() const;
  void SetLastFolder(const QString& file);
  // Says why the window's content is not usable and puts the focus in the
  // field concerned.
  void Refuse(const QString& title, const std::exception& e);
  // Shows how an adjustment ended: `thrown` null, or its refusal.
  void FinishAdjustment(std::exception_ptr thrown, std::optional<vireo::NetworkAdjustment> result,
                        const QString& workbook, const QString& failure);
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
  gui::NotOpenedNote* notOpened_;
  gui::JobBar* job_;
};

}  // namespace vireo::network
