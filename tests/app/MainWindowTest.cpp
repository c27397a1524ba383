// The main window: error factor ticks, the settings commands and the
// Process command, driven through scripted prompts.
#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "app/CheckSettingsDialog.h"
#include "app/MainWindow.h"
#include "output/Workbook.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/FieldFiles.h"

using vireo::app::MainWindow;
using vireo::gui::MessageKind;
using vireo::gui::OpenFailure;
using vireo::testing::ReadFile;

namespace {

const QStringList kErrorItems{"two", "four", "six", "eight", "ten"};

QString Ticked(const MainWindow& window) {
  QStringList ticked;
  for (const QString& name : kErrorItems)
    if (window.findChild<QAction*>(name)->isChecked()) ticked << name;
  return ticked.join(',');
}

std::string SimulatedLine(int setups) {
  return vireo::examples::SimulateFieldFile({.setupsPerLine = setups});
}

// 400,000 set-ups: 400 lines of levelling of 1,000 set-ups each.
void WriteLongRun(const std::string& path) {
  const std::string line = SimulatedLine(1000);
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 400; ++i) out << line;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::optional<vireo::testing::WindowFixture> f_;

  MainWindow& Open() { return f_->Open(); }
  QPushButton* Button(const char* name) { return f_->window->findChild<QPushButton*>(name); }
  QString Status() { return f_->window->findChild<QLabel*>("Label3")->text(); }
  // Clicks PROCESS, `path` chosen in the file dialog.
  void ProcessFile(const std::string& path) {
    f_->prompts.files.enqueue(QString::fromStdString(path));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());
  }

  // Records a label's text whenever it is painted.
  struct PaintedTexts : QObject {
    explicit PaintedTexts(QLabel* label) : label(label) { label->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) texts << label->text();
      return false;
    }
    QLabel* label;
    QStringList texts;
  };

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() { f_.emplace(); }
  void cleanup() { f_.reset(); }

  void startupTicksTheStoredFactor_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("ticked");
    const char* rows[][3] = {{"E10", "YA\r\nE10\r\n", "ten"},
                             {"E3", "E3\r\n", ""},
                             {"key letter only", "E\r\n", ""},
                             {"E 4", "E 4\r\n", ""},
                             {"trailing space", "E4 \r\n", ""},
                             {"no E line", "YA\r\nPB\r\n", ""},
                             {"last line wins", "E2\r\nYA\r\nE8\r\n", "eight"}};
    for (const auto& r : rows) QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]);
  }
  void startupTicksTheStoredFactor() {
    QFETCH(QString, control);
    QFETCH(QString, ticked);
    vireo::testing::WriteFile(f_->fixture.app.ControlFile(), control.toStdString());
    QCOMPARE(Ticked(Open()), ticked);
    QVERIFY(f_->prompts.asked.empty());
  }

  void startupWithoutControlFileSaysSoAndTicksNothing() {
    std::filesystem::remove(f_->fixture.app.ControlFile());
    MainWindow& window = Open();
    QCOMPARE(Ticked(window), QString());
    QCOMPARE(f_->prompts.asked.size(), 1u);
    QCOMPARE(f_->prompts.asked[0].messageKind, MessageKind::Error);
    QVERIFY(f_->prompts.asked[0].text.contains("ctlini.dat"));
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
  }

  void errorFactorItemRewritesAndMovesTheTick() {
    MainWindow& window = Open();
    QCOMPARE(Ticked(window), QString("four"));
    window.findChild<QAction*>("six")->trigger();
    QCOMPARE(Ticked(window), QString("six"));
    QCOMPARE(ReadFile(f_->fixture.app.ControlFile()), "YAcme Levels\r\nPJo Bloggs\r\nE6\r\n");
    // The ticked item clicked again stays ticked and rewrites the same line.
    window.findChild<QAction*>("six")->trigger();
    QCOMPARE(Ticked(window), QString("six"));
    QCOMPARE(ReadFile(f_->fixture.app.ControlFile()), "YAcme Levels\r\nPJo Bloggs\r\nE6\r\n");
    // Changed by vireo-cli meanwhile: the menu ticks what the file says as it opens.
    vireo::ChooseErrorFactor(10, f_->fixture.app);
    emit window.findChild<QMenu*>("ErrorSettings")->aboutToShow();
    QCOMPARE(Ticked(window), QString("ten"));
  }

  void errorFactorItemWithoutControlFileKeepsTheTicks() {
    MainWindow& window = Open();
    std::filesystem::remove(f_->fixture.app.ControlFile());
    window.findChild<QAction*>("ten")->trigger();
    QCOMPARE(Ticked(window), QString("four"));
    QCOMPARE(f_->prompts.Of("Tell").size(), 1u);
    QVERIFY(f_->prompts.Of("Tell")[0].text.contains("ctlini.dat"));
  }

  void textSettingCommands_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("expected");
    const QString before = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n";
    QTest::newRow("cancel") << "CompanyName" << std::optional<QString>() << before;
    QTest::newRow("empty") << "CompanyName" << std::optional<QString>("") << before;
    QTest::newRow("unchanged") << "CompanyName" << std::optional<QString>("Acme Levels") << before;
    QTest::newRow("letter case") << "CompanyName" << std::optional<QString>("ACME Levels")
                                 << "YACME Levels\r\nPJo Bloggs\r\nE4\r\n";
    QTest::newRow("spaces only") << "CompanyName" << std::optional<QString>("   ")
                                 << "Y   \r\nPJo Bloggs\r\nE4\r\n";
    QTest::newRow("personnel") << "PersonnelName" << std::optional<QString>(" Ann Lee ")
                               << "YAcme Levels\r\nP Ann Lee \r\nE4\r\n";
  }
  void textSettingCommands() {
    QFETCH(QString, item);
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, expected);
    MainWindow& window = Open();
    f_->prompts.inputs.enqueue(answer);
    window.findChild<QAction*>(item)->trigger();
    QCOMPARE(QString::fromStdString(ReadFile(f_->fixture.app.ControlFile())), expected);
    QCOMPARE(f_->prompts.asked.size(), 1u);
    const auto& box = f_->prompts.asked[0];
    QVERIFY(!box.windowEnabled);
    QVERIFY(window.isEnabled());
    const bool company = item == "CompanyName";
    QCOMPARE(box.title, QString(company ? "Company Name Input" : "Personnel Name Input"));
    QCOMPARE(box.text, QString(company ? "What is your Company Name?"
                                       : "Who is site Personnel that carried out the survey?"));
    QCOMPARE(box.initialText, QString(company ? "Acme Levels" : "Jo Bloggs"));
  }

  void processCommand_data() {
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("button") << false;
    QTest::newRow("menu item") << true;
  }

  void processCommandCancelled() {
    QFETCH(bool, fromMenu);
    MainWindow& window = Open();
    f_->prompts.files.enqueue(QString());
    if (fromMenu)
      window.findChild<QAction*>("Process")->trigger();
    else
      QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QCOMPARE(f_->prompts.asked.size(), 1u);
    const auto& dialog = f_->prompts.asked[0];
    QCOMPARE(dialog.title, QString("Send file..."));
    QCOMPARE(dialog.initialText, QString::fromStdString(f_->fixture.app.FieldData()));
    QCOMPARE(dialog.filters,
             QStringList({"DATfile (*.dat)", "All Files (*)", "GSI file (*.gsi *.GSI)"}));
    QVERIFY(!dialog.startProcessEnabled && !dialog.exitProgramEnabled);
    QVERIFY(!dialog.overrideCursor);
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(Status(), QString());
  }
  void processCommandCancelled_data() { processCommand_data(); }

  void processCommandRunsTheChosenFile() {
    QFETCH(bool, fromMenu);
    const std::string path = f_->fixture.AddFieldFile("LINE7.dat", SimulatedLine(4));
    MainWindow& window = Open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    f_->prompts.files.enqueue(QString::fromStdString(path));
    f_->prompts.yesNo.enqueue(false);
    // What the status label shows each time it is painted during the run.
    PaintedTexts painted(window.findChild<QLabel*>("Label3"));
    QString statusAtQuestion;
    f_->prompts.duringYesNo = [&] { statusAtQuestion = Status(); };
    if (fromMenu)
      window.findChild<QAction*>("Process")->trigger();
    else
      QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());

    QVERIFY(painted.texts.contains("Status - Processing.....\nFile : " +
                                   QString::fromStdString(path) + ", this may take a few seconds"));
    // The RL question comes once the run is over: the workbook saved, the
    // done text and the verdict on screen, both buttons back.
    QCOMPARE(f_->prompts.Of("AskYesNo").size(), 1u);
    const auto question = f_->prompts.Of("AskYesNo")[0];  // a copy: Of() returns a new list
    QVERIFY(question.startProcessEnabled && question.exitProgramEnabled);
    QCOMPARE(question.overrideCursor, std::optional<Qt::CursorShape>());
    QCOMPARE(question.title, QString("RL Input Option"));
    QVERIFY(question.text.startsWith("The Start Reference = "));
    QVERIFY(question.text.contains("\nThe Start RL   = ") && !question.text.contains('\r'));
    QCOMPARE(statusAtQuestion, Status());

    // The verdict of the checks follows the done text.
    QCOMPARE(Status().section('\n', 0, 1),
             QString("Status - Done: LINE7.dat\nPress PROCESS again if you want to continue "
                     "processing another file."));
    QVERIFY(Status().section('\n', 2).startsWith("Misclose "));
    QVERIFY(Status().section('\n', 2).endsWith("within tolerance. Every check passes."));
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(std::filesystem::exists(f_->fixture.app.ProcessedWorkbook("LINE7")));
    QVERIFY(f_->prompts.Of("Tell").empty());
    QVERIFY(!window.RlDialog());
    QVERIFY(window.findChild<QLabel*>("ReportLinks")->text().contains("No check failed"));
  }
  void processCommandRunsTheChosenFile_data() { processCommand_data(); }

  // Other Settings > Check Settings...: a refused value writes nothing and
  // keeps the dialog open; OK writes the changed limit. The next run's
  // verdict follows the limits, and the taller status fits in the window.
  void checkSettingsChangeTheLimitsAndTheVerdictFollows() {
    MainWindow& window = Open();
    QVERIFY(window.findChild<QAction*>("CheckSettings"));
    QStringList told;
    vireo::app::CheckSettingsDialog dialog(f_->fixture.app, [&](const QString& t) { told << t; });
    dialog.Field("sight_length_m")->setText("abc");
    dialog.Ok();
    // No number, outside its range, or a lowest staff reading above the
    // highest: the field is named and nothing is written.
    dialog.Field("sight_length_m")->setText("1e300");
    dialog.Ok();
    QCOMPARE(told.last(),
             QStringLiteral("Sight length (m): \"1e300\" is not a number from 0 to 1000."));
    dialog.Field("sight_length_m")->setText("60");
    dialog.Field("staff_min_m")->setText("3");
    dialog.Field("staff_max_m")->setText("2");
    dialog.Ok();
    QVERIFY(
        told.last().startsWith("Lowest staff reading (m), Highest staff reading (m): the lowest"));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!std::filesystem::exists(f_->fixture.app.CheckSettingsFile()));
    dialog.Field("staff_min_m")->setText("0");
    dialog.Field("staff_max_m")->setText("0");
    dialog.Field("sight_length_m")->setText(" 1 ");
    dialog.Ok();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadFile(f_->fixture.app.CheckSettingsFile()), std::string("sight_length_m = 1\r\n"));

    f_->prompts.yesNo.enqueue(false);
    ProcessFile(f_->fixture.AddFieldFile("L.dat", SimulatedLine(3)));
    QVERIFY(Status().contains("3 set-ups fail their checks - see the Checks sheet."));
    auto* label = window.findChild<QLabel*>("Label3");
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(label->geometry().bottom() < window.centralWidget()->height());
  }

  // File > Save Points... after a single-run line: the points as CSV where
  // the surveyor says, suggested beside the application folder.
  void savePointsWritesTheLastRunsPoints() {
    MainWindow& window = Open();
    QAction* save = window.findChild<QAction*>("SavePoints");
    QVERIFY(!save->isEnabled());
    f_->prompts.yesNo.enqueue(false);
    ProcessFile(f_->fixture.AddFieldFile(
        "SITE.dat", vireo::examples::SimulateFieldFile(
                        {.setupsPerLine = 3, .method = "BF", .intermediates = 1})));
    QVERIFY(save->isEnabled());
    const std::string csv = f_->fixture.app.root + "/site points.csv";
    f_->prompts.saveFiles.enqueue(QString::fromStdString(csv));
    save->trigger();
    QVERIFY(f_->prompts.Of("SaveFile")[0].initialText.endsWith("SITE_points.csv"));
    const std::string text = ReadFile(csv);
    QVERIFY(text.starts_with("point,kind,line,field_line,reduced_level_m,adjusted_level_m\r\n"));
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 1 + 1 + 3 * 3);
    QVERIFY(Status().contains("Saved the points of SITE.dat"));
  }

  // Readings before any line start record: the run assumes one and warns.
  std::string FileWithAWarning() {
    std::string content;
    for (const auto& line : QString::fromStdString(SimulatedLine(3)).split("\r\n"))
      if (!line.isEmpty() && !line.contains("Start-Line")) content += line.toStdString() + "\r\n";
    return f_->fixture.AddFieldFile("NOSTART.dat", content);
  }

  void linksOpenTheReportAndShowTheWarningsUntilTheNextRun() {
    const std::string path = FileWithAWarning();
    MainWindow& window = Open();
    QList<QUrl> opened;
    window.SetDocumentOpener([&](const QUrl& url, const OpenFailure&) { opened << url; });
    auto* links = window.findChild<QLabel*>("ReportLinks");
    ProcessFile(path);
    QVERIFY(Status().startsWith(
        "Status - Done: " + QFileInfo(QString::fromStdString(path)).fileName() + "\n"));
    QVERIFY(Status().endsWith("\n1 warning \u2014 see the list"));
    QVERIFY(links->isVisible() && links->text().contains(">Open the report</a>") &&
            links->text().contains(">Show warnings</a>"));
    QVERIFY(opened.isEmpty());  // nothing opens by itself
    QCOMPARE(f_->prompts.Of("Tell").size(), 1u);
    QCOMPARE(f_->prompts.Of("Tell")[0].messageKind, MessageKind::Warning);
    QVERIFY(
        f_->prompts.Of("Tell")[0].text.contains(QRegularExpression("line \\d+: no line start")));
    QVERIFY(!f_->prompts.Of("Tell")[0].overrideCursor);

    emit links->linkActivated("report");
    const QString workbook =
        QFileInfo(QString::fromStdString(f_->fixture.app.ProcessedWorkbook("NOSTART")))
            .absoluteFilePath();
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(workbook)});
    emit links->linkActivated("warnings");
    auto told = f_->prompts.Of("Tell");
    QCOMPARE(told.size(), 2u);
    QCOMPARE(told[1].text, told[0].text);
    // A desktop without a program for it: the link says so, with the full
    // path in a field to select and copy.
    window.SetDocumentOpener([](const QUrl&, const OpenFailure& failed) {
      failed("no program on this desktop opened it");
    });
    auto* note = window.findChild<vireo::gui::NotOpenedNote*>("NotOpened");
    QVERIFY(!note->isVisible());
    emit links->linkActivated("report");
    QVERIFY(note->isVisible() && note->Text().contains("no program on this desktop opened it"));
    QCOMPARE(note->Path(), workbook);
    QVERIFY(window.findChild<QLineEdit*>("NotOpenedPath")->isReadOnly());
    QVERIFY(note->geometry().bottom() < window.centralWidget()->height());
    QCOMPARE(f_->prompts.Of("Tell").size(), 2u);

    // The next run, refused for want of a template, says so, returns to
    // Idle and takes both links away.
    std::filesystem::remove(f_->fixture.app.Template());
    ProcessFile(path);
    QVERIFY(!links->isVisible() && !note->isVisible());
    told = f_->prompts.Of("Tell");
    QVERIFY(told.size() == 3u && told[2].messageKind == MessageKind::Error);
    QVERIFY2(told[2].text.contains("Existing.xlsx"), qPrintable(told[2].text));
    QCOMPARE(f_->prompts.Of("AskYesNo").size(), 1u);
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

  // A long run leaves the window answering: Exit asks before it cancels the
  // run (No keeps it), and Cancel leaves the earlier outputs byte for byte.
  void cancelDuringALongRunKeepsTheEarlierOutputs() {
    const std::string path = f_->fixture.AddFieldFile("LONG.dat", SimulatedLine(3));
    MainWindow& window = Open();
    ProcessFile(path);
    const std::string workbook = f_->fixture.app.ProcessedWorkbook("LONG");
    const std::string levels = f_->fixture.app.LevelDataFile("LONG");
    const std::string workbookBefore = ReadFile(workbook), levelsBefore = ReadFile(levels);
    WriteLongRun(path);
    f_->prompts.asked.clear();
    f_->prompts.files.enqueue(QString::fromStdString(path));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    vireo::gui::JobBar* job = window.RunProgress();
    QVERIFY(job->Running() && job->isVisible());
    QVERIFY(!Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QTRY_VERIFY(job->findChild<QProgressBar*>()->value() > 0);
    f_->prompts.yesNo.enqueue(false);
    QTest::mouseClick(Button("ExitProgram"), Qt::LeftButton);
    QCOMPARE(f_->prompts.Of("AskYesNo").size(), 1u);
    QVERIFY(f_->prompts.Of("AskYesNo")[0].text.startsWith("The processing run is still running."));
    QVERIFY(job->Running() && window.isVisible());
    QTest::mouseClick(job->findChild<QPushButton*>("CancelJob"), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());
    QVERIFY2(Status().startsWith("Status - Cancelled: LONG.dat\n"), qPrintable(Status()));
    QVERIFY(Button("StartProcess")->isEnabled() && !job->isVisible());
    QCOMPARE(f_->prompts.Of("AskYesNo").size(), 1u);
    QVERIFY(ReadFile(workbook) == workbookBefore);
    QVERIFY(ReadFile(levels) == levelsBefore);
    // No temporary file of the run is left beside them.
    for (const std::string& output : {workbook, levels}) {
      const auto folder = std::filesystem::path(output).parent_path();
      QCOMPARE(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    }
  }

  // Keyed levels judge the file again: after the RL dialog's OK the status
  // tells the adjusted verdict, the sentence the Checks sheet now holds.
  void verdictAfterTheKeyedLevelsOfAnOpenLoop() {
    const std::string path = f_->fixture.AddFieldFile("LINE7.dat", SimulatedLine(4));
    Open();
    f_->prompts.yesNo.enqueue(true);
    ProcessFile(path);
    QVERIFY(Status().contains("within tolerance. Every check passes."));
    QWidget* dialog = f_->window->RlDialog();
    QVERIFY(dialog);
    dialog->findChild<QRadioButton*>("Option2")->click();
    dialog->findChild<QLineEdit*>("Text1")->setText("100");
    dialog->findChild<QLineEdit*>("Text2")->setText("100.5");
    QTest::mouseClick(dialog->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());
    QCOMPARE(f_->prompts.Of("Tell").size(), 0u);
    const QString verdict = Status().section('\n', 2, 2);
    QVERIFY2(verdict.contains(": OUT OF TOLERANCE.") && !verdict.contains("Every check passes"),
             qPrintable(verdict));
    vireo::Workbook book = vireo::Workbook::Open(f_->fixture.app.ProcessedWorkbook("LINE7"));
    QCOMPARE(verdict, QString::fromStdString(book.Sheet("Checks").Get(2, 1).text));
  }

  void unsavedWorkbookAsksNoRlQuestion() {
    // An earlier result of the same name, then a run whose save fails: no
    // question about keying in levels for a workbook that is not this run's.
    const std::string path = f_->fixture.AddFieldFile("LINE7.dat", SimulatedLine(3));
    Open();
    ProcessFile(path);
    const std::string workbook = f_->fixture.app.ProcessedWorkbook("LINE7");
    // A folder in the workbook's place: the save cannot rename over it.
    std::filesystem::remove(workbook);
    std::filesystem::create_directories(workbook + "/in the way");

    f_->prompts.yesNo.enqueue(true);
    ProcessFile(path);
    QCOMPARE(f_->prompts.Of("AskYesNo").size(), 1u);  // the first run's only
    QVERIFY(!f_->window->RlDialog());
    const auto told = f_->prompts.Of("Tell");
    QCOMPARE(told.size(), 1u);
    QCOMPARE(told[0].messageKind, MessageKind::Error);
    QVERIFY2(told[0].text.contains("processed workbook was not saved"), qPrintable(told[0].text));
    QVERIFY(std::filesystem::is_directory(workbook + "/in the way"));
  }

  // The real DNA03 job: "Show checks" lists its 17 set-ups and three line
  // or section checks that fail, sorts them as numbers and copies them.
  void failedChecksOfTheRealJobInTheirWindow() {
    MainWindow& window = Open();
    ProcessFile(f_->fixture.AddFieldFile("DNA03.gsi", ReadFile(vireo::testing::kRealGsiJob)));
    auto* links = window.findChild<QLabel*>("ReportLinks");
    QVERIFY2(links->text().contains(">Show checks (22 failed)</a>"), qPrintable(links->text()));
    emit links->linkActivated("checks");
    vireo::app::FailedChecksWindow* list = window.ChecksWindow();
    QVERIFY(list && list->isVisible() && !list->isModal() && list->parentWidget() == &window);

    auto* table = list->findChild<QTableWidget*>("FailedCheckRows");
    auto row = [&](int r) {
      QStringList cells;
      for (int c = 0; c < table->columnCount(); ++c) cells << table->item(r, c)->text();
      return cells.join('\t');
    };
    std::set<QString> setups;
    QStringList lineChecks;
    for (int r = 0; r < table->rowCount(); ++r)
      (table->item(r, 0)->text().isEmpty() ? (lineChecks << row(r), 0)
                                           : (setups.insert(table->item(r, 0)->text()), 0));
    QCOMPARE(setups.size(), 17u);
    // In the file's order: the 11th line's closing block against its lost
    // set-up, two lines' imbalance, the 17th and 18th lines' section.
    QCOMPARE(
        lineChecks,
        QStringList({"\t535\t11\t\tThe level's own figures: the level's closing block gives the "
                     "end height -0.49863 m, the set-ups reduce to 0.16586 m (664.49 mm)\t\t",
                     "\t536\t11\t\tThe level's own figures: the level's closing block counts 13 "
                     "set-ups, the file holds 12\t\t",
                     "\t675\t14\tI \u2192 J\tLine imbalance (m)\t-13.900\t10.000",
                     "\t857\t17 and 18\tI \u2192 N\tSection forward and back (mm)\t-73.36\t2.10",
                     "\t1101\t24\tH \u2192 B\tLine imbalance (m)\t17.089\t10.000"}));
    QCOMPARE(row(0),
             QString("48\t252\t8\t26 \u2192 27\tAgreement with the instrument (mm)\t0.65\t0.05"));

    // By value as numbers, the findings without one first: the 664.49 mm of
    // the lost blocks comes first of the values.
    table->sortItems(5, Qt::AscendingOrder);
    int valued = 0;
    while (table->item(valued, 5)->text().isEmpty()) ++valued;
    QCOMPARE(valued, 2);
    for (int r = valued + 1; r < table->rowCount(); ++r)
      QVERIFY(table->item(r - 1, 5)->text().toDouble() <= table->item(r, 5)->text().toDouble());
    QVERIFY(row(valued).startsWith("102\t530\t11\t35 \u2192 M\t"));
    // Copy takes the selected rows, else all, as tab-separated lines.
    const QString headings = "Set-up\tFile line\tLine of levelling\tPoints\tCheck\tValue\tLimit\n";
    QVERIFY(list->Copy().startsWith(headings + row(0) + '\n') && list->Copy().count('\n') == 23);
    table->selectRow(2);
    QCOMPARE(list->Copy(), headings + row(2) + '\n');
    QCOMPARE(QApplication::clipboard()->text(), headings + row(2) + '\n');
    // The next run closes the list of the run before.
    ProcessFile(f_->fixture.AddFieldFile("L.dat", SimulatedLine(3)));
    QVERIFY(!list->isVisible() && links->text().contains("No check failed"));
  }

  // Every menu, item and button has its mnemonic; F10 and Alt reach the
  // menu bar.
  void menusAndButtonsAnswerTheKeyboard() {
    MainWindow& window = Open();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    for (const QAction* bar : window.menuBar()->actions()) {
      const QMenu* menu = bar->menu();
      QVERIFY2(menu->title().contains('&'), qPrintable(menu->title()));
      for (const QAction* item : menu->actions())
        QVERIFY2(item->isSeparator() || item->text().contains('&'), qPrintable(item->text()));
    }
    for (const QPushButton* button : window.findChildren<QPushButton*>())
      QVERIFY2(button->text().contains('&'), qPrintable(button->text()));
    QMenuBar* bar = window.menuBar();
    for (const Qt::Key key : {Qt::Key_F10, Qt::Key_Alt}) {
      QTest::keyClick(&window, key);
      QVERIFY(bar->activeAction());
      QCOMPARE(bar->activeAction(), window.findChild<QMenu*>("File")->menuAction());
      if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
      QTest::keyClick(bar, Qt::Key_Escape);
    }
  }

  // The window opens where it was when the program last ended, restart
  // after restart, without creeping by its title bar.
  void positionIsKeptForTheNextStart() {
    Open().move(140, 90);
    for (int start = 0; start < 10; ++start) {
      f_->window->EndProgram();
      QCOMPARE(Open().pos(), QPoint(140, 90));
    }
  }

  void exitEndsTheProgram_data() {
    QTest::addColumn<QString>("item");
    QTest::newRow("button") << "ExitProgram";
    QTest::newRow("menu item") << "Exit";
  }
  void exitEndsTheProgram() {
    QFETCH(QString, item);
    MainWindow& window = Open();
    if (auto* button = window.findChild<QPushButton*>(item))
      QTest::mouseClick(button, Qt::LeftButton);
    else
      window.findChild<QAction*>(item)->trigger();
    QVERIFY(!window.isVisible());
    QVERIFY(f_->prompts.asked.empty());
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
