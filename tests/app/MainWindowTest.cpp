// The main window: error factor ticks, the settings commands and the
// Process command, driven through scripted prompts.
#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <set>

#include "app/CheckSettingsDialog.h"
#include "app/MainWindow.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/FieldFiles.h"

using vireo::app::MainWindow;
using vireo::gui::MessageKind;
using vireo::gui::OpenFailure;
using vireo::testing::AppFixture;
using vireo::testing::ReadFile;
using vireo::testing::ScriptedPrompts;

namespace {

const QStringList kErrorItems{"two", "four", "six", "eight", "ten"};

QString Ticked(const MainWindow& window) {
  QStringList ticked;
  for (const QString& name : kErrorItems)
    if (window.findChild<QAction*>(name)->isChecked()) ticked << name;
  return ticked.join(',');
}

std::string SimulatedLine(int setups) {
  vireo::examples::SimulationOptions options;
  options.setupsPerLine = setups;
  return vireo::examples::SimulateFieldFile(options);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<AppFixture> fixture_;
  std::unique_ptr<ScriptedPrompts> prompts_;
  std::unique_ptr<MainWindow> window_;

  MainWindow& Open() {
    window_ = std::make_unique<MainWindow>(fixture_->app, *prompts_);
    prompts_->window = window_.get();
    window_->show();
    return *window_;
  }
  QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(name); }
  QString Status() { return window_->findChild<QLabel*>("Label3")->text(); }

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
  void init() {
    fixture_ = std::make_unique<AppFixture>();
    prompts_ = std::make_unique<ScriptedPrompts>();
  }
  void cleanup() {
    window_.reset();
    prompts_.reset();
    fixture_.reset();
  }

  void startupTicksTheStoredFactor_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("ticked");
    QTest::newRow("E10") << "YA\r\nE10\r\n"
                         << "ten";
    QTest::newRow("E3") << "E3\r\n"
                        << "";
    QTest::newRow("key letter only") << "E\r\n"
                                     << "";
    QTest::newRow("E 4") << "E 4\r\n"
                         << "";
    QTest::newRow("trailing space") << "E4 \r\n"
                                    << "";
    QTest::newRow("no E line") << "YA\r\nPB\r\n"
                               << "";
    QTest::newRow("last line wins") << "E2\r\nYA\r\nE8\r\n"
                                    << "eight";
  }
  void startupTicksTheStoredFactor() {
    QFETCH(QString, control);
    QFETCH(QString, ticked);
    vireo::testing::WriteFile(fixture_->app.ControlFile(), control.toStdString());
    QCOMPARE(Ticked(Open()), ticked);
    QVERIFY(prompts_->asked.empty());
  }

  void startupWithoutControlFileSaysSoAndTicksNothing() {
    std::filesystem::remove(fixture_->app.ControlFile());
    MainWindow& window = Open();
    QCOMPARE(Ticked(window), QString());
    QCOMPARE(prompts_->asked.size(), 1u);
    QCOMPARE(prompts_->asked[0].messageKind, MessageKind::Error);
    QVERIFY(prompts_->asked[0].text.contains("ctlini.dat"));
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
  }

  void errorFactorItemRewritesAndMovesTheTick() {
    MainWindow& window = Open();
    QCOMPARE(Ticked(window), QString("four"));
    window.findChild<QAction*>("six")->trigger();
    QCOMPARE(Ticked(window), QString("six"));
    QCOMPARE(ReadFile(fixture_->app.ControlFile()), "YAcme Levels\r\nPJo Bloggs\r\nE6\r\n");
    // The ticked item clicked again stays ticked and rewrites the same line.
    window.findChild<QAction*>("six")->trigger();
    QCOMPARE(Ticked(window), QString("six"));
    QCOMPARE(ReadFile(fixture_->app.ControlFile()), "YAcme Levels\r\nPJo Bloggs\r\nE6\r\n");
  }

  void errorFactorItemWithoutControlFileKeepsTheTicks() {
    MainWindow& window = Open();
    std::filesystem::remove(fixture_->app.ControlFile());
    window.findChild<QAction*>("ten")->trigger();
    QCOMPARE(Ticked(window), QString("four"));
    QCOMPARE(prompts_->Of("Tell").size(), 1u);
    QVERIFY(prompts_->Of("Tell")[0].text.contains("ctlini.dat"));
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
    prompts_->inputs.enqueue(answer);
    window.findChild<QAction*>(item)->trigger();
    QCOMPARE(QString::fromStdString(ReadFile(fixture_->app.ControlFile())), expected);
    QCOMPARE(prompts_->asked.size(), 1u);
    const auto& box = prompts_->asked[0];
    QVERIFY(!box.windowEnabled);
    QVERIFY(window.isEnabled());
    if (item == "CompanyName") {
      QCOMPARE(box.title, QString("Company Name Input"));
      QCOMPARE(box.text, QString("What is your Company Name?"));
      QCOMPARE(box.initialText, QString("Acme Levels"));
    } else {
      QCOMPARE(box.title, QString("Personnel Name Input"));
      QCOMPARE(box.text, QString("Who is site Personnel that carried out the survey?"));
      QCOMPARE(box.initialText, QString("Jo Bloggs"));
    }
  }

  void processCommand_data() {
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("button") << false;
    QTest::newRow("menu item") << true;
  }

  void processCommandCancelled() {
    QFETCH(bool, fromMenu);
    MainWindow& window = Open();
    prompts_->files.enqueue(QString());
    if (fromMenu)
      window.findChild<QAction*>("Process")->trigger();
    else
      QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QCOMPARE(prompts_->asked.size(), 1u);
    const auto& dialog = prompts_->asked[0];
    QCOMPARE(dialog.title, QString("Send file..."));
    QCOMPARE(dialog.initialText, QString::fromStdString(fixture_->app.FieldData()));
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
    const std::string path = fixture_->AddFieldFile("LINE7.dat", SimulatedLine(4));
    MainWindow& window = Open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    prompts_->files.enqueue(QString::fromStdString(path));
    prompts_->yesNo.enqueue(false);
    // What the status label shows each time it is painted during the run.
    PaintedTexts painted(window.findChild<QLabel*>("Label3"));
    QString statusAtQuestion;
    prompts_->duringYesNo = [&] { statusAtQuestion = Status(); };
    if (fromMenu)
      window.findChild<QAction*>("Process")->trigger();
    else
      QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);

    QVERIFY(painted.texts.contains("Status - Processing.....\nFile : " +
                                   QString::fromStdString(path) + ", this may take a few seconds"));
    // The RL question comes once the run is over: the workbook saved, the
    // done text and the verdict on screen, both buttons back.
    QCOMPARE(prompts_->Of("AskYesNo").size(), 1u);
    const auto question = prompts_->Of("AskYesNo")[0];  // a copy: Of() returns a new list
    QVERIFY(question.startProcessEnabled && question.exitProgramEnabled);
    QCOMPARE(question.overrideCursor, std::optional<Qt::CursorShape>());
    QCOMPARE(question.title, QString("RL Input Option"));
    QVERIFY(question.text.startsWith("The Start Reference = "));
    QVERIFY(question.text.contains("\nThe Start RL   = ") && !question.text.contains('\r'));
    QCOMPARE(statusAtQuestion, Status());

    // The verdict of the checks follows the done text.
    QCOMPARE(Status().section('\n', 0, 1),
             QString("Status - Done\nPress PROCESS again if you want to continue "
                     "processing another file."));
    QVERIFY(Status().section('\n', 2).startsWith("Misclose "));
    QVERIFY(Status().section('\n', 2).endsWith("within tolerance. Every check passes."));
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(std::filesystem::exists(fixture_->app.ProcessedWorkbook("LINE7")));
    QVERIFY(prompts_->Of("Tell").empty());
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
    vireo::app::CheckSettingsDialog dialog(fixture_->app, [&](const QString& t) { told << t; });
    dialog.Field("sight_length_m")->setText("abc");
    dialog.Ok();
    QCOMPARE(told.size(), 1);
    QVERIFY(!std::filesystem::exists(fixture_->app.CheckSettingsFile()));
    dialog.Field("sight_length_m")->setText(" 1 ");
    dialog.Ok();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadFile(fixture_->app.CheckSettingsFile()), std::string("sight_length_m = 1\r\n"));

    prompts_->files.enqueue(
        QString::fromStdString(fixture_->AddFieldFile("L.dat", SimulatedLine(3))));
    prompts_->yesNo.enqueue(false);
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(Status().contains("3 set-ups fail their checks - see the Checks sheet."));
    auto* label = window.findChild<QLabel*>("Label3");
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(label->geometry().bottom() < window.centralWidget()->height());
  }

  // Readings before any line start record: the run assumes one and warns.
  std::string FileWithAWarning() {
    std::string content;
    for (const auto& line : QString::fromStdString(SimulatedLine(3)).split("\r\n"))
      if (!line.isEmpty() && !line.contains("Start-Line")) content += line.toStdString() + "\r\n";
    return fixture_->AddFieldFile("NOSTART.dat", content);
  }

  void linksOpenTheReportAndShowTheWarningsUntilTheNextRun() {
    const std::string path = FileWithAWarning();
    MainWindow& window = Open();
    QList<QUrl> opened;
    window.SetDocumentOpener([&](const QUrl& url, const OpenFailure&) { opened << url; });
    auto* links = window.findChild<QLabel*>("ReportLinks");
    prompts_->files.enqueue(QString::fromStdString(path));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(Status().startsWith("Status - Done\n"));
    QVERIFY(Status().endsWith("\n1 warning \u2014 see the list"));
    QVERIFY(links->isVisible() && links->text().contains(">Open the report</a>") &&
            links->text().contains(">Show warnings</a>"));
    QVERIFY(opened.isEmpty());  // nothing opens by itself
    QCOMPARE(prompts_->Of("Tell").size(), 1u);
    QCOMPARE(prompts_->Of("Tell")[0].messageKind, MessageKind::Warning);
    QVERIFY(prompts_->Of("Tell")[0].text.contains(QRegularExpression("line \\d+: no line start")));
    QVERIFY(!prompts_->Of("Tell")[0].overrideCursor);

    emit links->linkActivated("report");
    const QString workbook =
        QFileInfo(QString::fromStdString(fixture_->app.ProcessedWorkbook("NOSTART")))
            .absoluteFilePath();
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(workbook)});
    emit links->linkActivated("warnings");
    auto told = prompts_->Of("Tell");
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
    QCOMPARE(prompts_->Of("Tell").size(), 2u);

    // The next run, refused for want of a template, says so, returns to
    // Idle and takes both links away.
    std::filesystem::remove(fixture_->app.Template());
    prompts_->files.enqueue(QString::fromStdString(path));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(!links->isVisible() && !note->isVisible());
    told = prompts_->Of("Tell");
    QVERIFY(told.size() == 3u && told[2].messageKind == MessageKind::Error);
    QVERIFY2(told[2].text.contains("Existing.xlsx"), qPrintable(told[2].text));
    QCOMPARE(prompts_->Of("AskYesNo").size(), 1u);
    QVERIFY(Button("StartProcess")->isEnabled() && Button("ExitProgram")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

  void unsavedWorkbookAsksNoRlQuestion() {
    // An earlier result of the same name, then a run whose save fails: no
    // question about keying in levels for a workbook that is not this run's.
    const std::string path = fixture_->AddFieldFile("LINE7.dat", SimulatedLine(3));
    Open();
    prompts_->files.enqueue(QString::fromStdString(path));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    const std::string workbook = fixture_->app.ProcessedWorkbook("LINE7");
    // A folder in the workbook's place: the save cannot rename over it.
    std::filesystem::remove(workbook);
    std::filesystem::create_directories(workbook + "/in the way");

    prompts_->files.enqueue(QString::fromStdString(path));
    prompts_->yesNo.enqueue(true);
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QCOMPARE(prompts_->Of("AskYesNo").size(), 1u);  // the first run's only
    QVERIFY(!window_->RlDialog());
    const auto told = prompts_->Of("Tell");
    QCOMPARE(told.size(), 1u);
    QCOMPARE(told[0].messageKind, MessageKind::Error);
    QVERIFY2(told[0].text.contains("processed workbook was not saved"), qPrintable(told[0].text));
    QVERIFY(std::filesystem::is_directory(workbook + "/in the way"));
  }

  // The real DNA03 job: "Show checks" lists its 17 set-ups and three line
  // or section checks that fail, sorts them as numbers and copies them.
  void failedChecksOfTheRealJobInTheirWindow() {
    MainWindow& window = Open();
    prompts_->files.enqueue(QString::fromStdString(fixture_->AddFieldFile(
        "DNA03.gsi",
        ReadFile(std::string(VIREO_FIXTURES) + "/gsi/OSGeoLabBp_tutorials_test.gsi"))));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    auto* links = window.findChild<QLabel*>("ReportLinks");
    QVERIFY2(links->text().contains(">Show checks (20 failed)</a>"), qPrintable(links->text()));
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
    // In the file's order: two lines' imbalance, the 17th and 18th lines' section.
    QCOMPARE(
        lineChecks,
        QStringList({"\t675\t14\tI \u2192 J\tLine imbalance (m)\t-13.900\t10.000",
                     "\t857\t17 and 18\tI \u2192 N\tSection forward and back (mm)\t-73.36\t2.10",
                     "\t1101\t24\tH \u2192 B\tLine imbalance (m)\t17.089\t10.000"}));
    QCOMPARE(row(0),
             QString("48\t252\t8\t26 \u2192 27\tAgreement with the instrument (mm)\t0.65\t0.05"));

    // By value as numbers: the 664.49 mm of the lost blocks comes first.
    table->sortItems(5, Qt::AscendingOrder);
    for (int r = 1; r < table->rowCount(); ++r)
      QVERIFY(table->item(r - 1, 5)->text().toDouble() <= table->item(r, 5)->text().toDouble());
    QVERIFY(row(0).startsWith("102\t530\t11\t35 \u2192 M\t"));
    // Copy takes the selected rows, else all, as tab-separated lines.
    const QString headings = "Set-up\tFile line\tLine\tPoints\tCheck\tValue\tLimit\n";
    QVERIFY(list->Copy().startsWith(headings + row(0) + '\n') && list->Copy().count('\n') == 21);
    table->selectRow(2);
    QCOMPARE(list->Copy(), headings + row(2) + '\n');
    QCOMPARE(QApplication::clipboard()->text(), headings + row(2) + '\n');
    // The next run closes the list of the run before.
    prompts_->files.enqueue(
        QString::fromStdString(fixture_->AddFieldFile("L.dat", SimulatedLine(3))));
    QTest::mouseClick(Button("StartProcess"), Qt::LeftButton);
    QVERIFY(!list->isVisible() && links->text().contains("No check failed"));
  }

  // The window opens where it was when the program last ended.
  void positionIsKeptForTheNextStart() {
    Open().move(140, 90);
    window_->EndProgram();
    MainWindow& again = Open();
    QCOMPARE(again.pos(), QPoint(140, 90));
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
    QVERIFY(prompts_->asked.empty());
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
