// The main window "Double Run Leveling Main Menu": title, usage notice,
// status label, the Process and Exit buttons, and the menus for the Process
// command, the three settings and the network adjustment window. It calls
// the core for every command and talks to the surveyor around a run: the
// status, the warnings, the RL question and the RL dialog.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "app/FailedChecksWindow.h"
#include "checks/CheckedRun.h"
#include "checks/Checks.h"
#include "common/AppFolder.h"
#include "gui/Desktop.h"
#include "gui/Job.h"
#include "gui/Prompts.h"
#include "network/NetworkWindow.h"
#include "report/PointList.h"
#include "report/ProcessField.h"
#include "rlinput/InputOption.h"
#include "settings/SettingsCommands.h"

class QAction;
class QLabel;
class QPushButton;
class QUrl;

namespace vireo::app {

using gui::JobBar;
using gui::JobCancelled;
using gui::JobControl;
using gui::MessageKind;
using gui::Prompts;
using network::NetworkWindow;
using rlinput::InputOption;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the error factor from the control file and ticks its menu item
  // before the window is shown. `prompts` must outlive the window.
  MainWindow(vireo::AppFolder app, Prompts& prompts, QWidget* parent = nullptr);
  ~MainWindow() override;

  const vireo::AppFolder& App() const { return app_; }
  // The RL input dialog while it is loaded, else null.
  InputOption* RlDialog() const { return dialog_.data(); }
  // The "Adjust Network" window once File > Adjust Network... has opened it.
  NetworkWindow* AdjustNetworkWindow() const { return network_.data(); }

  // The Process command of the button and of the menu item File > Process:
  // the run works off the window's thread, its progress bar and Cancel
  // under the status; Process is disabled until it ends.
  void ProcessCommand();
  // The progress bar and Cancel of the processing run.
  JobBar* RunProgress() const { return job_; }
  // The Exit button and File > Exit: closes the RL dialog and this window
  // and ends the program. While a run, the RL adjustment or the network
  // adjustment works, it first asks whether to cancel it (No: nothing ends).
  void EndProgram();
  // File > Adjust Network...: opens the network adjustment window, or raises
  // it when it is open already (there is one).
  void AdjustNetworkCommand();

  // The links under the status once a run or the OK has saved the workbook:
  // "Open the report" hands the processed workbook to the desktop's
  // spreadsheet program (and says so, with the file's path, when no program
  // took it), "Show checks (N failed)" lists the failed checks in a window
  // of their own (a run without failures says so instead), "Show warnings"
  // shows the run's warnings again. They stay until the next run.
  void OpenReport();
  void ShowChecks();
  void ShowWarnings();
  // File > Save Points...: every point of the last run with its reduced and
  // adjusted level, as CSV for CAD (enabled once a run has reduced a file).
  void SavePoints();
  // The window of the failed checks once "Show checks" has opened it.
  FailedChecksWindow* ChecksWindow() const { return failedChecks_.data(); }
  // How a document is handed to the desktop (xdg-open unless a test puts
  // its own).
  using DocumentOpener = gui::DocumentOpener;
  void SetDocumentOpener(DocumentOpener opener) { opener_ = std::move(opener); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Enter presses the focused button, else Process (the default button).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Message {
    QString title;
    QString text;
    MessageKind kind;
    QString details;
  };

  void BuildControls();
  void BuildMenus();
  // F10, and Alt alone, take the keyboard to the menu bar.
  void ReachMenusByKeyboard();
  // Ticks the item of the control file's error factor (none when it is
  // none of them or the file cannot be read; said only when `tellFailure`).
  void TickStoredErrorFactor(bool tellFailure = true);
  void ChooseErrorFactorItem(int index);
  void TextSettingCommand(const vireo::TextSettingCommand& command);
  void CheckSettingsCommand();
  // Starts the processing of `path` off the window's thread; FinishRun
  // shows how it ended (its status, messages and the RL question), ShowRun
  // the status of a run that returned and its summary when it saved the
  // workbook.
  void StartRun(const QString& path);
  void FinishRun(const QString& path, const std::optional<vireo::CheckedRun>& checked,
                 std::exception_ptr failure);
  std::optional<vireo::RunSummary> ShowRun(const QString& path, const vireo::CheckedRun& checked,
                                           std::vector<Message>& messages);
  // Asks whether to cancel the jobs still running and cancels them; false
  // when the surveyor keeps them.
  bool EndRunningJobs();
  void ShowLinks();
  void FitStatus();
  std::vector<vireo::FailedCheckRow> FailedRows() const;
  // The window's place on the screen, kept for the next start.
  void RestorePosition();
  void SavePosition() const;

  void ShowStatus(const std::string& text);
  // Shows the RL input dialog (without waiting), filled from the run.
  void ShowInputOption(const vireo::RunSummary& summary);

  vireo::AppFolder app_;
  Prompts& prompts_;
  QLabel* label3_ = nullptr;
  QLabel* links_ = nullptr;
  gui::NotOpenedNote* notOpened_ = nullptr;
  QString report_;                            // the workbook "Open the report" opens
  std::optional<vireo::CheckReport> checks_;  // the last run's checks
  QString verdict_;                           // the verdict line of the status, as shown
  QString checkedFile_;                       // the field file they checked
  std::optional<Message> warnings_;           // what "Show warnings" shows
  std::vector<vireo::PointEntry> points_;     // the last run's, for Save Points...
  QAction* savePoints_ = nullptr;
  DocumentOpener opener_;
  QPushButton* startProcess_ = nullptr;
  QPushButton* exitProgram_ = nullptr;
  JobBar* job_ = nullptr;
  bool closing_ = false;  // the program ends: a run that ends asks nothing
  // The error factor items in menu order: two, four, six, eight, ten.
  std::array<QAction*, 5> errorItems_{};
  QPointer<InputOption> dialog_;
  QPointer<NetworkWindow> network_;
  QPointer<FailedChecksWindow> failedChecks_;
};

// Run texts join their parts with "\r"; a label or box shows them as lines.
QString DisplayText(const std::string& runText);

}  // namespace vireo::app
