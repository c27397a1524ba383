#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QUrl>
#include <exception>
#include <new>

#include "app/CheckSettingsDialog.h"
#include "checks/CheckedRun.h"
#include "checks/FailedCheckRows.h"
#include "common/FileSystem.h"
#include "gui/Desktop.h"
#include "gui/Geometry.h"
#include "gui/Placement.h"
#include "gui/Plural.h"
#include "rlinput/InputOption.h"
#include "settings/ControlFile.h"

namespace vireo::app {

using namespace vireo::gui;
namespace {

const QString kProgramTitle = QStringLiteral("Vireo");
const QString kMsSansSerif = QStringLiteral("MS Sans Serif");

struct ErrorFactorItem {
  const char* name;
  const char* caption;
  int factor;
};

// Menu order; the stored value is compared with the factors in this order.
constexpr std::array<ErrorFactorItem, 5> kErrorFactorItems{{
    {"two", "Permissible &2*sqrt(k)", 2},
    {"four", "Permissible &4*sqrt(k)", 4},
    {"six", "Permissible &6*sqrt(k)", 6},
    {"eight", "Permissible &8*sqrt(k)", 8},
    {"ten", "Permissible 1&0*sqrt(k)", 10},
}};

// The order in which a click sets the tick marks: four, two, six, eight, ten.
constexpr std::array<int, 5> kTickOrder{1, 0, 2, 3, 4};

// How many messages a box lists before the rest goes into its details.
constexpr int kListedInBox = 20;

}  // namespace

QString DisplayText(const std::string& runText) {
  QString text = QString::fromStdString(runText);
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

MainWindow::MainWindow(vireo::AppFolder app, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), app_(std::move(app)), prompts_(prompts), opener_(DesktopOpener()) {
  setObjectName(QStringLiteral("Vireo"));
  setWindowTitle(QStringLiteral("Double Run Leveling Main Menu"));
  BuildControls();
  BuildMenus();
  ReachMenusByKeyboard();
  // The window keeps the size of its client area plus the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  TickStoredErrorFactor();
  RestorePosition();
}

MainWindow::~MainWindow() {
  delete dialog_.data();
  delete network_.data();
}

void MainWindow::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(Px(9030), Px(3075));
  setCentralWidget(client);

  auto makeLabel = [client](const char* name, const QString& caption) {
    auto* label = new QLabel(caption, client);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
  };
  QLabel* label1 = makeLabel("Label1", QStringLiteral("Double Run Digital Level Processing"));
  label1->setFont(ClassicFont(QStringLiteral("MS Serif"), Face::Serif, 24, true));
  PlaceInTwips(label1, 720, 120, 7815, 615);
  ShrinkToFit(label1);

  QLabel* label2 = makeLabel(
      "Label2", QStringLiteral("This program only serves to process double-run levelling "
                               "observed with a digital level. Unauthorised use infringes "
                               "intellectual property rights and may lead to prosecution."));
  label2->setWordWrap(true);
  PlaceInTwips(label2, 720, 840, 7935, 495);

  label3_ = makeLabel("Label3", QString());
  label3_->setFont(ClassicFont(kMsSansSerif, Face::SansSerif, 9.75, false));
  label3_->setWordWrap(true);
  PlaceInTwips(label3_, 720, 1560, 4335, 1095);

  links_ = makeLabel("ReportLinks", QString());
  links_->setTextFormat(Qt::RichText);
  links_->setWordWrap(true);
  links_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  PlaceInTwips(links_, 720, 2700, 4335, 300);
  links_->hide();
  connect(links_, &QLabel::linkActivated, this, [this](const QString& link) {
    if (link == QLatin1String("report"))
      OpenReport();
    else if (link == QLatin1String("checks"))
      ShowChecks();
    else
      ShowWarnings();
  });
  // Below the buttons, so as wide as the window's text.
  notOpened_ = new NotOpenedNote(client);
  notOpened_->setGeometry(Px(720), Px(3000), Px(7575), notOpened_->sizeHint().height());

  startProcess_ = new QPushButton(QStringLiteral("&Process"), client);
  startProcess_->setObjectName(QStringLiteral("StartProcess"));
  PlaceInTwips(startProcess_, 5280, 2280, 1335, 495);
  exitProgram_ = new QPushButton(QStringLiteral("E&xit"), client);
  exitProgram_->setObjectName(QStringLiteral("ExitProgram"));
  PlaceInTwips(exitProgram_, 6960, 2280, 1335, 495);
  setTabOrder(startProcess_, exitProgram_);
  job_ = new JobBar(client);

  QLabel* label4 = makeLabel("Label4", QStringLiteral("VR"));
  label4->setFont(ClassicFont(kMsSansSerif, Face::SansSerif, 8.25, false, true));
  PlaceInTwips(label4, 8520, 2760, 375, 255);

  connect(startProcess_, &QPushButton::clicked, this, &MainWindow::ProcessCommand);
  connect(exitProgram_, &QPushButton::clicked, this, &MainWindow::EndProgram);
}

void MainWindow::BuildMenus() {
  auto addMenu = [this](const char* name, const QString& caption) {
    QMenu* menu = menuBar()->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };
  auto addItem = [this](QMenu* menu, const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    menu->addAction(action);
    return action;
  };

  QMenu* file = addMenu("File", QStringLiteral("&File"));
  connect(addItem(file, "Process", QStringLiteral("&Process")), &QAction::triggered, this,
          [this] { startProcess_->click(); });
  connect(addItem(file, "Exit", QStringLiteral("E&xit")), &QAction::triggered, this,
          &MainWindow::EndProgram);
  savePoints_ = addItem(file, "SavePoints", QStringLiteral("Save Poin&ts..."));
  savePoints_->setEnabled(false);
  connect(savePoints_, &QAction::triggered, this, &MainWindow::SavePoints);
  file->addSeparator();
  connect(addItem(file, "AdjustNetwork", QStringLiteral("Adjust &Network...")), &QAction::triggered,
          this, &MainWindow::AdjustNetworkCommand);

  QMenu* errorSettings = addMenu("ErrorSettings", QStringLiteral("&Error Settings"));
  // The control file may have changed since (vireo-cli set error-factor).
  connect(errorSettings, &QMenu::aboutToShow, this, [this] { TickStoredErrorFactor(false); });
  for (std::size_t i = 0; i < kErrorFactorItems.size(); ++i) {
    QAction* item = addItem(errorSettings, kErrorFactorItems[i].name,
                            QString::fromLatin1(kErrorFactorItems[i].caption));
    item->setCheckable(true);
    errorItems_[i] = item;
    connect(item, &QAction::triggered, this,
            [this, i] { ChooseErrorFactorItem(static_cast<int>(i)); });
  }

  QMenu* otherSettings = addMenu("OtherSettings", QStringLiteral("&Other Settings"));
  connect(addItem(otherSettings, "CompanyName", QStringLiteral("&Company Name")),
          &QAction::triggered, this, [this] { TextSettingCommand(vireo::kCompanyNameCommand); });
  connect(addItem(otherSettings, "PersonnelName", QStringLiteral("&Personnel Name")),
          &QAction::triggered, this, [this] { TextSettingCommand(vireo::kPersonnelNameCommand); });
  connect(addItem(otherSettings, "CheckSettings", QStringLiteral("Check &Settings...")),
          &QAction::triggered, this, &MainWindow::CheckSettingsCommand);
}

namespace {

// Alt alone takes the keyboard to the menu bar, whatever the desktop's style.
class AltReachesMenus : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

}  // namespace

void MainWindow::ReachMenusByKeyboard() {
  auto* style = new AltReachesMenus;
  style->setParent(menuBar());
  menuBar()->setStyle(style);
  connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this, [this] {
    menuBar()->setFocus(Qt::ShortcutFocusReason);
    menuBar()->setActiveAction(menuBar()->actions().first());
  });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
    return QMainWindow::keyPressEvent(event);
  auto* focused = qobject_cast<QPushButton*>(focusWidget());
  QPushButton* button = focused ? focused : startProcess_;
  if (button->isEnabled()) button->click();
  event->accept();
}

void MainWindow::CheckSettingsCommand() {
  // Its messages stand in front of the dialog once it is there.
  QWidget* owner = this;
  CheckSettingsDialog dialog(
      app_,
      [this, &owner](const QString& text) {
        prompts_.Tell(owner, kProgramTitle, text, MessageKind::Error);
      },
      this);
  owner = &dialog;
  dialog.exec();
}

void MainWindow::TickStoredErrorFactor(bool tellFailure) {
  std::string value;
  try {
    value = vireo::ReadControlValue(app_, 'E');
  } catch (const std::exception& e) {
    // The program starts all the same, with no item ticked.
    if (tellFailure)
      prompts_.Tell(kProgramTitle, QString::fromStdString(e.what()), MessageKind::Error);
  }
  for (std::size_t i = 0; i < kErrorFactorItems.size(); ++i)
    errorItems_[i]->setChecked(value == std::to_string(kErrorFactorItems[i].factor));
}

void MainWindow::ChooseErrorFactorItem(int index) {
  // Qt has already toggled the clicked item: its mark before the click is
  // the opposite of the one it shows now.
  std::array<bool, 5> before{};
  for (std::size_t i = 0; i < errorItems_.size(); ++i) before[i] = errorItems_[i]->isChecked();
  before[index] = !before[index];
  for (int i : kTickOrder) errorItems_[i]->setChecked(i == index);
  try {
    vireo::ChooseErrorFactor(kErrorFactorItems[index].factor, app_);
  } catch (const std::exception& e) {
    // The file keeps its old factor, so the ticks go back to match it.
    for (std::size_t i = 0; i < errorItems_.size(); ++i) errorItems_[i]->setChecked(before[i]);
    prompts_.Tell(kProgramTitle, QString::fromStdString(e.what()), MessageKind::Error);
  }
}

void MainWindow::TextSettingCommand(const vireo::TextSettingCommand& command) {
  setEnabled(false);
  QString failure;
  try {
    PromptsInputBox box(prompts_);
    vireo::RunTextSettingCommand(command, box, app_);
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  setEnabled(true);
  if (!failure.isEmpty()) prompts_.Tell(kProgramTitle, failure, MessageKind::Error);
}

void MainWindow::ProcessCommand() {
  if (job_->Running()) return;
  // One run at a time: the RL dialog of the run before would adjust a
  // workbook the status no longer speaks of; while it adjusts, it is let be.
  if (dialog_ && dialog_->Adjusting()) {
    prompts_.Tell(dialog_.data(), kProgramTitle,
                  QStringLiteral("The RL adjustment of %1 is still running: wait for it, or "
                                 "cancel it, before processing another file.")
                      .arg(QString::fromStdString(dialog_->Summary().workbookPath)),
                  MessageKind::Information);
    return;
  }
  startProcess_->setEnabled(false);
  exitProgram_->setEnabled(false);
  const QString path =
      prompts_.OpenFile(QStringLiteral("Send file..."), QString::fromStdString(app_.FieldData()),
                        {QStringLiteral("DATfile (*.dat)"), QStringLiteral("All Files (*)"),
                         // File names are case-sensitive here: LINE7.GSI needs its own pattern.
                         QStringLiteral("GSI file (*.gsi *.GSI)")});
  exitProgram_->setEnabled(true);
  if (path.isEmpty()) {
    startProcess_->setEnabled(true);
    return;
  }
  if (dialog_) delete dialog_.data();
  StartRun(path);
}

void MainWindow::StartRun(const QString& path) {
  report_.clear();
  warnings_.reset();
  checks_.reset();
  verdict_.clear();
  // The list of failed checks belongs to the run before.
  if (failedChecks_) failedChecks_->close();
  ShowLinks();
  ShowStatus(vireo::BusyStatusText(path.toStdString()));
  // The run works on a thread of its own; the window shows its progress
  // (the field file read so far) and its Cancel.
  auto run = std::make_shared<std::optional<vireo::CheckedRun>>();
  const std::string fieldPath = QFile::encodeName(path).toStdString();
  const auto bytes = static_cast<std::size_t>(std::max<qint64>(0, QFileInfo(path).size()));
  job_->Start(
      QStringLiteral("Reading %1").arg(QFileInfo(path).fileName()),
      [run, fieldPath, bytes, app = app_](JobControl& job) {
        job.SetBytesToRead(bytes);
        run->emplace(vireo::ProcessAndCheck(fieldPath, app, job.Files()));
      },
      [this, path, run](std::exception_ptr failure) { FinishRun(path, *run, failure); });
  FitStatus();
}

void MainWindow::FinishRun(const QString& path, const std::optional<vireo::CheckedRun>& checked,
                           std::exception_ptr failure) {
  std::vector<Message> messages;
  std::optional<vireo::RunSummary> saved;
  try {
    if (failure) std::rethrow_exception(failure);
    saved = ShowRun(path, *checked, messages);
  } catch (const JobCancelled&) {
    label3_->setText(QStringLiteral("Status - Cancelled: %1\nThe run was cancelled; the earlier "
                                    "workbook and level data file are as they were.")
                         .arg(QFileInfo(path).fileName()));
    FitStatus();
  } catch (const std::exception& e) {
    // Unwinding removed the run's temporary files; no output was replaced.
    const QString message = dynamic_cast<const std::bad_alloc*>(&e)
                                ? QStringLiteral(
                                      "There was not enough memory to process %1. "
                                      "Every earlier output is as it was.")
                                      .arg(path)
                                : QString::fromStdString(e.what());
    label3_->setText(
        QStringLiteral("Status - Not processed: %1\n").arg(QFileInfo(path).fileName()) + message);
    FitStatus();
    messages.push_back({kProgramTitle, QStringLiteral("The file was not processed.\n\n") + message,
                        MessageKind::Error, QString()});
  }
  // The end of a run, done or refused: Process is enabled again.
  startProcess_->setEnabled(true);
  if (closing_) return;
  // Shown now, so the surveyor can read them at leisure; then, with the
  // status and the warnings read and the workbook saved, the RL question.
  for (const Message& m : messages) prompts_.Tell(m.title, m.text, m.kind, m.details);
  if (saved && prompts_.AskYesNo(QString::fromLatin1(vireo::kRlPromptTitle),
                                 DisplayText(vireo::RlPromptText(*saved))))
    ShowInputOption(*saved);
}

std::optional<vireo::RunSummary> MainWindow::ShowRun(const QString& path,
                                                     const vireo::CheckedRun& checked,
                                                     std::vector<Message>& messages) {
  std::optional<vireo::RunSummary> saved;
  const vireo::ProcessResult& result = checked.run;
  checkedFile_ = QFileInfo(path).fileName();
  // The status names the file it speaks of.
  ShowStatus(vireo::DoneStatusText());
  label3_->setText(label3_->text().replace(QStringLiteral("Status - Done"),
                                           QStringLiteral("Status - Done: ") + checkedFile_));
  checks_ = checked.checks;
  points_ = vireo::PointsOf(result.survey);
  savePoints_->setEnabled(!points_.empty());
  // The verdict of the checks comes right after the done text.
  verdict_ = QString::fromStdString(vireo::VerdictLine(checked.checks));
  label3_->setText(label3_->text() + QLatin1Char('\n') + verdict_);
  QStringList notes;
  if (!result.warnings.empty()) {
    const auto count = static_cast<qsizetype>(result.warnings.Count());
    notes << Plural(count, "warning", "warnings") + QStringLiteral(" \u2014 see the list");
    QStringList lines;
    for (const vireo::RunWarning& w : result.warnings) {
      const QString text = QString::fromStdString(w.message);
      lines << (w.line > 0 ? QStringLiteral("file line %1: %2").arg(w.line).arg(text) : text);
    }
    const QString head = QStringLiteral("The run on %1 went on past %2:\n\n")
                             .arg(path, Plural(count, "warning", "warnings"));
    messages.push_back({QStringLiteral("Processing warnings"),
                        head + lines.mid(0, kListedInBox).join(QLatin1Char('\n')) +
                            (lines.size() > kListedInBox ? QStringLiteral("\n…") : QString()),
                        MessageKind::Warning,
                        lines.size() > kListedInBox ? lines.join(QLatin1Char('\n')) : QString()});
    warnings_ = messages.back();
  }
  if (result.workbookSaved) {
    report_ = QString::fromStdString(result.workbookPath);
    saved = result.summary;
  }
  if (!result.failures.empty()) {
    notes << Plural(static_cast<qsizetype>(result.failures.size()), "output", "outputs") +
                 QStringLiteral(" not saved \u2014 see the message");
    QStringList lines;
    for (const std::string& f : result.failures) lines << QString::fromStdString(f);
    messages.push_back(
        {QStringLiteral("Outputs not saved"),
         QStringLiteral("Not every output of the run on %1 was saved:\n\n").arg(path) +
             lines.join(QLatin1Char('\n')),
         MessageKind::Error, QString()});
  }
  if (!notes.isEmpty())
    label3_->setText(label3_->text() + QLatin1Char('\n') + notes.join(QStringLiteral("; ")));
  ShowLinks();
  return saved;
}

void MainWindow::SavePoints() {
  if (points_.empty()) return;
  const QString suggested = QString::fromStdString(app_.root) + QLatin1Char('/') +
                            QFileInfo(checkedFile_).completeBaseName() +
                            QStringLiteral("_points.csv");
  const QString path = prompts_.SaveFile(nullptr, QStringLiteral("Save Points"), suggested,
                                         {QStringLiteral("CSV files (*.csv)")});
  if (path.isEmpty()) return;
  try {
    const std::string csv = vireo::PointsCsv(points_);
    vireo::ReplaceFile(vireo::RealFileSystem(), path.toStdString(),
                       [&](vireo::OutputStream& out) { out.Write(csv); });
    label3_->setText(label3_->text() +
                     QStringLiteral("\nSaved the points of %1 as %2").arg(checkedFile_, path));
    FitStatus();
  } catch (const std::exception& e) {
    prompts_.Tell(
        QStringLiteral("Points not saved"),
        QStringLiteral("The points were not saved.\n\n") + QString::fromStdString(e.what()),
        MessageKind::Error);
  }
}

void MainWindow::ShowLinks() {
  QStringList links;
  if (!report_.isEmpty()) links << QStringLiteral("<a href=\"report\">Open the report</a>");
  if (checks_) {
    const std::size_t failed = FailedRows().size();
    links << (failed == 0
                  ? QStringLiteral("No check failed")
                  : QStringLiteral("<a href=\"checks\">Show checks (%1 failed)</a>").arg(failed));
    if (failedChecks_ && failedChecks_->isVisible())
      failedChecks_->ShowRows(FailedRows(), checkedFile_);
  }
  if (warnings_) links << QStringLiteral("<a href=\"warnings\">Show warnings</a>");
  links_->setText(links.join(QStringLiteral("&nbsp;&nbsp;&nbsp; ")));
  links_->setVisible(!links.isEmpty());
  notOpened_->Clear();
  FitStatus();
}

std::vector<vireo::FailedCheckRow> MainWindow::FailedRows() const {
  return checks_ ? vireo::FailedCheckRows(*checks_) : std::vector<vireo::FailedCheckRow>{};
}

void MainWindow::FitStatus() {
  // The status label keeps its place and width; a text longer than its
  // height (a verdict, the warnings) makes it, and the window, taller.
  const int height = std::max(Px(1095), label3_->heightForWidth(label3_->width()));
  label3_->resize(label3_->width(), height);
  links_->setGeometry(links_->x(), label3_->y() + height + Px(45), links_->width(),
                      std::max(Px(300), links_->heightForWidth(links_->width())));
  int bottom = links_->isVisibleTo(this) ? links_->y() + links_->height() : label3_->y() + height;
  if (job_->isVisibleTo(this)) {
    job_->setGeometry(links_->x(), bottom + Px(45), links_->width(), job_->sizeHint().height());
    bottom = job_->geometry().bottom();
  }
  if (notOpened_->isVisibleTo(this)) {
    // Below the links and the buttons.
    const int top = std::max(bottom, startProcess_->geometry().bottom()) + Px(90);
    notOpened_->setGeometry(notOpened_->x(), top, notOpened_->width(),
                            notOpened_->heightForWidth(notOpened_->width()));
    bottom = notOpened_->geometry().bottom();
  }
  centralWidget()->setFixedSize(Px(9030), std::max(Px(3075), bottom + Px(75)));
  // The window takes its new size now, so windows placed beside it see it.
  layout()->activate();
}

void MainWindow::OpenReport() {
  const QString report = report_;
  QPointer<MainWindow> window(this);
  OpenDocument(report, opener_, [window, report](const QString& cause) {
    // The opener may answer late: only while the link still names that file.
    if (!window || window->report_ != report) return;
    window->notOpened_->Show(QStringLiteral("The report"), report, cause);
    window->FitStatus();
  });
}

void MainWindow::ShowChecks() {
  if (!checks_) return;
  if (!failedChecks_) failedChecks_ = new FailedChecksWindow(this);
  failedChecks_->ShowRows(FailedRows(), checkedFile_);
  if (!failedChecks_->isVisible()) PlaceBeside(failedChecks_, this, {dialog_.data()});
  failedChecks_->show();
  KeepOnScreen(failedChecks_, this);
  failedChecks_->raise();
  failedChecks_->activateWindow();
}

void MainWindow::AdjustNetworkCommand() {
  if (!network_) {
    // A window of its own beside the main window; closing it only hides it,
    // so its files and benchmarks are there when it is opened again.
    network_ = new NetworkWindow(app_, prompts_, nullptr);
    network_->SetDocumentOpener(
        [this](const QUrl& url, const OpenFailure& failed) { opener_(url, failed); });
  }
  network_->show();
  KeepOnScreen(network_, this);
  network_->raise();
  network_->activateWindow();
}

void MainWindow::ShowWarnings() {
  if (warnings_)
    prompts_.Tell(warnings_->title, warnings_->text, warnings_->kind, warnings_->details);
}

bool MainWindow::EndRunningJobs() {
  QStringList running;
  if (job_->Running()) running << QStringLiteral("The processing run");
  if (dialog_ && dialog_->Adjusting()) running << QStringLiteral("The RL adjustment");
  if (network_ && network_->Adjusting()) running << QStringLiteral("The network adjustment");
  if (running.isEmpty()) return true;
  if (!prompts_.AskYesNo(kProgramTitle,
                         running.join(QStringLiteral(", ")) +
                             QStringLiteral(" is still running. Cancel it and exit?\n\nEvery "
                                            "earlier output stays as it was.")))
    return false;
  closing_ = true;
  job_->CancelAndWait();
  if (dialog_) dialog_->CancelAdjustment();
  if (network_) network_->CancelAdjustment();
  return true;
}

void MainWindow::EndProgram() {
  if (!EndRunningJobs()) return;
  delete dialog_.data();
  // Closed first, so it keeps its place for the next time.
  if (network_) network_->close();
  delete network_.data();
  close();
  QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!EndRunningJobs()) {
    event->ignore();
    return;
  }
  SavePosition();
  QMainWindow::closeEvent(event);
}

namespace {
// The client area's place; the frame's place (pos) would move the window by
// its title bar on every start.
const QString kGeometryKey = QStringLiteral("MainWindow/geometry");
}  // namespace

void MainWindow::RestorePosition() {
  layout()->activate();
  RestoreGeometry(this, kGeometryKey);
}

void MainWindow::SavePosition() const {
  SaveGeometry(this, kGeometryKey);
}

void MainWindow::ShowStatus(const std::string& text) {
  label3_->setText(DisplayText(text));
  label3_->setVisible(true);
  FitStatus();
  label3_->repaint();
}

void MainWindow::ShowInputOption(const vireo::RunSummary& summary) {
  // A dialog closed but not yet destroyed counts as unloaded.
  if (dialog_ && !dialog_->isVisible()) delete dialog_.data();
  if (!dialog_) {
    dialog_ = new InputOption(
        app_,
        [this](const QString& title, const QString& text, bool failed) {
          prompts_.Tell(dialog_.data(), title, text,
                        failed ? MessageKind::Error : MessageKind::Warning);
        },
        nullptr);
    // Beside the main window, so the status and the verdict stay in view.
    PlaceBeside(dialog_, this, {failedChecks_.data(), network_.data()});
    connect(dialog_, &InputOption::Saved, this, [this](const QString& workbook) {
      report_ = workbook;
      // The keyed levels give the file its misclose: the verdict is told
      // again, as the Checks sheet now tells it.
      if (checks_ && !verdict_.isEmpty()) {
        const vireo::AdjustmentResult& keyed = dialog_->LastAdjustment();
        vireo::JudgeKeyedLevels(*checks_, {keyed.misclose, keyed.permissibleError}, keyed.booking);
        const QString verdict = QString::fromStdString(vireo::VerdictLine(*checks_));
        label3_->setText(label3_->text().replace(verdict_, verdict));
        verdict_ = verdict;
      }
      ShowLinks();
    });
  }
  dialog_->show();
  KeepOnScreen(dialog_, this);
  dialog_->raise();
  dialog_->Fill(summary);
}

}  // namespace vireo::app
