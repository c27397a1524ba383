// The RL input dialog after real runs answered Yes: its fields, the loop
// type switch, and what OK, Cancel and the close box do to the workbook.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <filesystem>
#include <optional>

#include "app/MainWindow.h"
#include "checks/CheckedRun.h"
#include "output/Workbook.h"
#include "report/ReportSheet.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/FieldFiles.h"

using vireo::rlinput::InputOption;
using vireo::testing::ReadFile;

namespace {

std::string SimulatedLine(int setups, bool closedLoop) {
  return vireo::examples::SimulateFieldFile({.seed = static_cast<std::uint32_t>(setups),
                                             .setupsPerLine = setups,
                                             .closedLoop = closedLoop});
}

template <typename W>
W* Child(QWidget* parent, const char* name) {
  W* widget = parent->findChild<W*>(name);
  if (!widget) qFatal("no widget %s", name);
  return widget;
}

// Deletes the dialogs that were closed (they delete themselves later).
void FlushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class InputOptionTest : public QObject {
  Q_OBJECT

 private:
  std::optional<vireo::testing::WindowFixture> f_;

  // Runs `name` through the window, answered Yes; returns the summary the
  // run gives for that file (by the core run on the same folder beforehand).
  vireo::RunSummary RunYes(const std::string& name, const std::string& content) {
    const std::string path = f_->fixture.AddFieldFile(name, content);
    // As the window runs it: with the checks, whose facts the summary carries.
    const vireo::RunSummary expected = vireo::ProcessAndCheck(path, f_->fixture.app).run.summary;
    f_->prompts.files.enqueue(QString::fromStdString(path));
    f_->prompts.yesNo.enqueue(true);
    f_->window->ProcessCommand();
    [] { QVERIFY(vireo::testing::JobsEnded()); }();
    return expected;
  }
  InputOption* Dialog() { return f_->window->RlDialog(); }
  bool Enabled(const char* name) { return Child<QWidget>(Dialog(), name)->isEnabled(); }
  void Click(const char* name) {
    QTest::mouseClick(Child<QWidget>(Dialog(), name), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());
  }
  void Type(const char* name, const QString& text) {
    auto* edit = Child<QLineEdit>(Dialog(), name);
    edit->clear();
    QTest::keyClicks(edit, text);
  }

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() { f_.emplace().Open(); }
  void cleanup() {
    f_->window.reset();
    FlushDeletes();
    f_.reset();
  }

  void shownInItsLoadStateWithTheRunsFields() {
    const auto expected = RunYes("LINE1.dat", SimulatedLine(6, true));
    InputOption* dialog = Dialog();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!dialog->parent() && !dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("Input RL"));
    QCOMPARE(dialog->size(), QSize(236, 388));
    QVERIFY(dialog->Summary() == expected);
    QCOMPARE(Child<QLabel>(dialog, "Label4")->text(),
             QString::fromStdString(expected.startReference));
    QCOMPARE(Child<QLabel>(dialog, "Label7")->text(),
             QString::fromStdString(expected.endReference));
    QCOMPARE(Child<QLineEdit>(dialog, "Text1")->text(), QString::fromStdString(expected.startRl));
    QCOMPARE(Child<QLineEdit>(dialog, "Text2")->text(),
             QString::fromStdString(vireo::DecimalText(expected.endRl)));
    QVERIFY(Child<QRadioButton>(dialog, "Option1")->isChecked());
    for (const char* name : {"Frame3", "Text2", "Label6", "Label7", "Label8"})
      QVERIFY2(!Enabled(name), name);
    QVERIFY(Enabled("Frame2") && Enabled("Text1"));
    QCOMPARE(dialog->focusWidget(), Child<QWidget>(dialog, "Command1"));
    // The run went on and saved while the dialog stayed open.
    QVERIFY(std::filesystem::exists(expected.workbookPath));
  }

  // Escape while the OK adjusts cancels it: the workbook stays byte for
  // byte with no temporary beside it, and the dialog waits for another OK.
  void escapeWhileAdjustingKeepsTheWorkbook() {
    const auto run = RunYes("LONG.dat", SimulatedLine(2000, true));
    const std::string before = ReadFile(run.workbookPath);
    Type("Text1", "250");
    QTest::mouseClick(Child<QWidget>(Dialog(), "Command1"), Qt::LeftButton);
    QVERIFY(Dialog()->AdjustmentProgress()->Running());
    QTest::keyClick(Dialog(), Qt::Key_Escape);
    QVERIFY(vireo::testing::JobsEnded());
    QVERIFY(Dialog() && Dialog()->isVisible() && Child<QWidget>(Dialog(), "Command1")->isVisible());
    QVERIFY(ReadFile(run.workbookPath) == before);
    const auto folder = std::filesystem::path(run.workbookPath).parent_path();
    QCOMPARE(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    Click("Command1");
    QVERIFY(ReadFile(run.workbookPath) != before);
  }

  void loopTypeSwitchesTheEndFrame() {
    RunYes("LINE1.dat", SimulatedLine(6, true));
    Click("Option2");
    QVERIFY(Child<QRadioButton>(Dialog(), "Option2")->isChecked());
    for (const char* name : {"Frame3", "Text2", "Label6", "Label7", "Label8"})
      QVERIFY2(Enabled(name), name);
    Type("Text2", "123.4");
    Click("Option1");
    QVERIFY(!Enabled("Frame3") && !Enabled("Text2"));
    QCOMPARE(Child<QLineEdit>(Dialog(), "Text2")->text(), QString("123.4"));
    // The words beside the buttons do not change the selection.
    Click("Label2");
    QVERIFY(Child<QRadioButton>(Dialog(), "Option1")->isChecked());
    QCOMPARE(Dialog()->Loop(), vireo::LoopType::CloseLoop);
  }

  // The processing run and the dialog by key events alone: Enter presses
  // Process, Alt+O chooses Open Loop, Alt+R and Tab reach the levels, Enter
  // presses OK; Escape cancels the next dialog.
  void theKeyboardAloneProcessesAndAdjusts() {
    const int setups = 4;
    f_->prompts.files << QString::fromStdString(
        f_->fixture.AddFieldFile("LINE1.dat", SimulatedLine(setups, false)));
    f_->prompts.yesNo << true;
    QWidget* window = f_->window.get();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Return);
    QVERIFY(vireo::testing::JobsEnded());
    QVERIFY(Dialog());
    QVERIFY(QTest::qWaitForWindowActive(Dialog()));
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_O, Qt::AltModifier);
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_Space);
    QCOMPARE(Dialog()->Loop(), vireo::LoopType::OpenLoop);
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_R, Qt::AltModifier);
    QCOMPARE(Dialog()->focusWidget(), Child<QWidget>(Dialog(), "Text1"));
    auto typeOver = [](QWidget* edit, const char* text) {
      QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(edit, text);
    };
    typeOver(Dialog()->focusWidget(), "250.5");
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_Tab);
    QCOMPARE(Dialog()->focusWidget(), Child<QWidget>(Dialog(), "Text2"));
    typeOver(Dialog()->focusWidget(), "251.25");
    const vireo::RunSummary run = Dialog()->Summary();
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_Return);
    QVERIFY(vireo::testing::JobsEnded());
    FlushDeletes();
    QVERIFY(!Dialog());
    const auto book = vireo::Workbook::Open(run.workbookPath);
    QCOMPARE(book.Get(run.firstDataRow, vireo::kCalRl).number, 250.5);
    QVERIFY(qAbs(book.Get(run.firstDataRow + 2 * setups - 1, vireo::kAdjRl).number - 251.25) <
            1e-9);

    const auto again = RunYes("LINE2.dat", SimulatedLine(3, true));
    const std::string before = ReadFile(again.workbookPath);
    QTest::keyClick(Dialog()->focusWidget(), Qt::Key_Escape);
    FlushDeletes();
    QVERIFY(!Dialog());
    QCOMPARE(ReadFile(again.workbookPath), before);
  }

  void okAdjustsAndUnloads_data() {
    QTest::addColumn<bool>("openLoop");
    QTest::newRow("close loop") << false;
    QTest::newRow("open loop") << true;
  }
  void okAdjustsAndUnloads() {
    QFETCH(bool, openLoop);
    const int setups = 5;
    const auto fields = RunYes("LINE1.dat", SimulatedLine(setups, !openLoop));
    Type("Text1", "250.5");
    if (openLoop) {
      Click("Option2");
      Type("Text2", "251.25");
    }
    QSignalSpy saved(Dialog(), &InputOption::Saved);
    Click("Command1");
    QCOMPARE(saved.size(), 1);  // the window's "Open the report" link follows it
    QCOMPARE(saved[0][0].toString(), QString::fromStdString(fields.workbookPath));
    QVERIFY(f_->prompts.Of("Tell").empty());
    QVERIFY(!QApplication::overrideCursor());
    FlushDeletes();
    QVERIFY(!Dialog());

    const auto book = vireo::Workbook::Open(fields.workbookPath);
    const int first = fields.firstDataRow;
    QCOMPARE(book.Get(first, vireo::kCalRl).number, 250.5);
    if (openLoop)  // the last fore-sight row closes on the keyed end RL
      QVERIFY(qAbs(book.Get(first + 2 * setups - 1, vireo::kAdjRl).number - 251.25) < 1e-9);
  }

  void okOnTextThatIsNoNumberKeepsTheDialog() {
    const auto fields = RunYes("LINE1.dat", SimulatedLine(4, true));
    const std::string before = ReadFile(fields.workbookPath);
    Type("Text1", "abc");
    Click("Command1");
    FlushDeletes();
    QVERIFY(Dialog() && Dialog()->isVisible());
    const auto told = f_->prompts.Of("Tell");
    QCOMPARE(told.size(), 1u);
    QCOMPARE(told[0].title, QString("Input RL"));
    QVERIFY(!told[0].text.isEmpty());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(ReadFile(fields.workbookPath), before);
    // Beside the main window, not over its status and verdict.
    QVERIFY(!Dialog()->frameGeometry().intersects(f_->window->frameGeometry()));
    // The message stands in front of the dialog, which then has the focus
    // in the level refused, selected for typing over.
    QCOMPARE(told[0].owner, static_cast<QWidget*>(Dialog()));
    auto* text1 = Child<QLineEdit>(Dialog(), "Text1");
    QCOMPARE(Dialog()->focusWidget(), text1);
    QCOMPARE(text1->selectedText(), QString("abc"));
    Click("Option2");
    Type("Text1", "100");
    Type("Text2", "1e");
    Click("Command1");
    QCOMPARE(f_->prompts.Of("Tell").size(), 2u);
    QCOMPARE(Dialog()->focusWidget(), Child<QWidget>(Dialog(), "Text2"));
    // Levels no line can carry are refused by name before anything is written.
    for (const char* field : {"Text2", "Text1"}) {
      Type(field, "1e300");
      Click("Command1");
      const QString text = f_->prompts.Of("Tell").back().text;
      QVERIFY2(text.contains(QString(field == QString("Text1") ? "start" : "end") +
                             " RL 1e300 m is outside the levels a line can carry (-100000 to "
                             "100000 m)"),
               qPrintable(text));
      QCOMPARE(Dialog()->focusWidget(), Child<QWidget>(Dialog(), field));
    }
    QCOMPARE(ReadFile(fields.workbookPath), before);
  }

  void cancelAndCloseBoxDiscardTheDialog_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
  }
  void cancelAndCloseBoxDiscardTheDialog() {
    QFETCH(bool, closeBox);
    const auto fields = RunYes("LINE1.dat", SimulatedLine(4, true));
    const std::string before = ReadFile(fields.workbookPath);
    Click("Option2");
    Type("Text1", "999");
    if (closeBox)
      Dialog()->close();
    else
      Click("Command2");
    FlushDeletes();
    QVERIFY(!Dialog());
    QCOMPARE(ReadFile(fields.workbookPath), before);

    // The next show creates the dialog again, in its load state.
    RunYes("LINE2.dat", SimulatedLine(3, true));
    QVERIFY(Dialog());
    QVERIFY(Child<QRadioButton>(Dialog(), "Option1")->isChecked());
    QVERIFY(!Enabled("Frame3"));
  }

  // One run at a time: a new Process closes the dialog of the run before,
  // whose OK would adjust a workbook the status no longer speaks of.
  void aNewProcessClosesTheEarlierDialog() {
    const auto first = RunYes("LINE1.dat", SimulatedLine(4, true));
    const std::string before = ReadFile(first.workbookPath);
    Click("Option2");
    f_->prompts.files.enqueue(
        QString::fromStdString(f_->fixture.AddFieldFile("LINE2.dat", SimulatedLine(5, true))));
    f_->prompts.yesNo.enqueue(false);
    f_->window->ProcessCommand();
    QVERIFY(vireo::testing::JobsEnded());
    FlushDeletes();
    QVERIFY(!Dialog());
    QCOMPARE(ReadFile(first.workbookPath), before);
    // Answered Yes, the new run's dialog starts afresh and names its workbook.
    const auto third = RunYes("LINE3.dat", SimulatedLine(7, false));
    QVERIFY(Dialog()->Summary() == third);
    QCOMPARE(Dialog()->Loop(), vireo::LoopType::CloseLoop);
    auto* frame = Child<QGroupBox>(Dialog(), "Frame1");
    QCOMPARE(frame->title(), QString("LINE3.xlsx"));
    QVERIFY(frame->toolTip().endsWith(QString::fromStdString(third.workbookPath)));
  }

  void exitClosesTheDialogToo() {
    RunYes("LINE1.dat", SimulatedLine(3, true));
    QVERIFY(Dialog());
    QTest::mouseClick(f_->window->findChild<QPushButton*>("ExitProgram"), Qt::LeftButton);
    QVERIFY(!Dialog());
  }
};

QTEST_MAIN(InputOptionTest)
#include "InputOptionTest.moc"
