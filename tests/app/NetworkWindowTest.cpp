// The "Adjust Network" window, opened from the main window's File menu and
// driven through scripted prompts: two field files, a fixed and a weighted
// benchmark, Adjust, the heights shown and the workbook saved; refusals.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

#include "app/MainWindow.h"
#include "common/Text.h"
#include "examples/NetworkSimulation.h"
#include "network/NetworkWindow.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/FieldFiles.h"

using vireo::gui::MessageKind;
using vireo::network::NetworkWindow;
using vireo::testing::AppFixture;
using vireo::testing::ScriptedPrompts;

namespace {

// Two files of a network with two loops over A, B, C and D, and the
// prompts a window asks.
struct Job {
  AppFixture fixture;
  ScriptedPrompts prompts;
  vireo::examples::NetworkSimulation network{5,
                                             {{"A", 100}, {"B", 101.5}, {"C", 99.2}, {"D", 102}}};
  QString net1 = Write("NET1.dat", {{"A", "B", 6}, {"B", "C", 5}});
  QString net2 = Write("NET2.dat", {{"C", "A", 4}, {"A", "D", 5}, {"D", "B", 4}});
  QString Write(const std::string& name, const std::vector<vireo::examples::SimulatedLine>& l) {
    return QString::fromStdString(
        fixture.AddFieldFile(name, vireo::examples::SimulateNetworkFile(network, l)));
  }
  // Adds `files` with the "Add files..." button, one file dialog each.
  void Add(QWidget& window, const QStringList& files) {
    for (const QString& file : files) {
      prompts.files << file;
      window.findChild<QPushButton*>("AddFiles")->click();
    }
  }
};

void SetRow(QTableWidget* table, int row, const QStringList& texts) {
  for (int column = 0; column < 3; ++column)
    table->setItem(row, column, new QTableWidgetItem(texts[column]));
}

QString Cell(const QTableWidget* table, int row, int column) {
  return table->item(row, column) ? table->item(row, column)->text() : QString();
}

}  // namespace

class NetworkWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void aJobSavedAndOpenedAgainAdjustsTheSame();
  void adjustsTwoFilesAndSavesTheWorkbook() {
    Job job;
    vireo::app::MainWindow main(job.fixture.app, job.prompts);
    main.show();
    const QList<QAction*> items = main.findChild<QMenu*>("File")->actions();
    QCOMPARE(items.last()->objectName(), QString("AdjustNetwork"));
    QCOMPARE(items.last()->text(), QString("Adjust &Network..."));
    items.last()->trigger();
    NetworkWindow* window = main.AdjustNetworkWindow();
    QVERIFY(window && window->isVisible());
    items.last()->trigger();
    QCOMPARE(main.AdjustNetworkWindow(), window);  // one window, raised again

    job.Add(*window, {job.net1, job.net2});
    QCOMPARE(job.prompts.asked[0].initialText, QString::fromStdString(job.fixture.app.FieldData()));
    QVERIFY(job.prompts.asked[0].filters.join(';').contains("*.gsi"));
    auto* benchmarks = window->findChild<QTableWidget*>("Benchmarks");
    SetRow(benchmarks, 0, {"A", "100", ""});
    window->findChild<QPushButton*>("AddBenchmark")->click();
    // The surveyor types the new benchmark's name at once.
    auto* editor = qobject_cast<QLineEdit*>(window->focusWidget());
    QVERIFY(editor && benchmarks->isAncestorOf(editor) && benchmarks->currentRow() == 1 &&
            benchmarks->currentColumn() == 0);
    QTest::keyClicks(editor, " D ");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(Cell(benchmarks, 1, 0), QString(" D "));  // committed after the key
    SetRow(benchmarks, 1, {" D ", "102.002", "3"});
    window->findChild<QPushButton*>("Adjust")->click();
    QVERIFY(vireo::testing::JobsEnded());
    QCOMPARE(job.prompts.Of("Tell").size(), 0u);

    // The window shows what the adjustment of the same inputs gives.
    const auto expected = vireo::AdjustNetwork(
        vireo::ReadNetworkInputs({job.net1.toStdString(), job.net2.toStdString()}),
        {{"A", 100, std::nullopt, "", 0}, {"D", 102.002, 3.0, "", 0}});
    auto* heights = window->findChild<QTableWidget*>("Heights");
    QCOMPARE(heights->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
      const vireo::AdjustedPoint& p = expected.points[static_cast<std::size_t>(row)];
      QCOMPARE(Cell(heights, row, 0), QString::fromStdString(p.name));
      QCOMPARE(Cell(heights, row, 1), QString::fromStdString(vireo::FormatFixed(p.height, 5)));
      QCOMPARE(Cell(heights, row, 2), QString::fromStdString(vireo::FormatFixed(p.sigma, 2)));
    }
    QCOMPARE(Cell(heights, 1, 3), QString("weighted"));

    // The workbook is named after the first file.
    const std::string path = job.fixture.app.AdjustedNetworkWorkbook("NET1");
    QCOMPARE(window->WorkbookPath(), QString::fromStdString(path));
    // The sheet keeps heights to 0.0001 mm.
    QVERIFY(std::abs(vireo::Workbook::Open(path).Sheet("Heights").Get(3, 2).number -
                     expected.points[1].height) <= 0.5e-7);
    QUrl opened;
    window->SetDocumentOpener(
        [&](const QUrl& url, const vireo::gui::OpenFailure&) { opened = url; });
    auto* links = window->findChild<QLabel*>("WorkbookLinks");
    QVERIFY(links->isVisible() && links->text().contains("Open the workbook"));
    emit links->linkActivated("workbook");
    QCOMPARE(opened, QUrl::fromLocalFile(QString::fromStdString(path)));
  }

  void refusalsNameFileAndCauseAndWriteNothing() {
    Job job;
    NetworkWindow window(job.fixture.app, job.prompts);
    auto* benchmarks = window.findChild<QTableWidget*>("Benchmarks");
    auto* sigma = window.findChild<QLineEdit*>("SigmaKm");
    window.show();
    const struct {
      QString file, name, height, sigmaKm, expected;
      const char* focus;  // the field that has the focus afterwards
    } cases[] = {
        {job.net1, "A", "1O0", "1", "the benchmark table: read the benchmarks (row 1: the height",
         "Benchmarks"},
        {job.net1, "", "", "1", "NET1.dat: adjust the network (no benchmark is given", ""},
        {job.net1, "A", "100", "0", "\u03C3 for 1 km: read the standard deviation", "SigmaKm"},
        {"/nowhere/N.dat", "A", "100", "1", "/nowhere/N.dat: open", ""},
        {job.net1, "a", "100", "1",
         "row 1: read the benchmarks (a: no observation reaches it; did you mean A?)",
         "Benchmarks"},
    };
    for (const auto& c : cases) {
      job.prompts.asked.clear();
      job.Add(window, {c.file, c.file});  // listed once
      QCOMPARE(window.findChild<QListWidget*>("InputFiles")->count(), 1);
      SetRow(benchmarks, 0, {c.name, c.height, ""});
      sigma->setText(c.sigmaKm);
      window.findChild<QPushButton*>("Adjust")->click();
      QVERIFY(vireo::testing::JobsEnded());
      const auto told = job.prompts.Of("Tell");
      QCOMPARE(told.size(), 1u);
      QCOMPARE(told[0].messageKind, MessageKind::Error);
      QVERIFY2(told[0].text.contains(c.expected), qPrintable(told[0].text));
      QCOMPARE(told[0].owner, static_cast<QWidget*>(&window));
      if (*c.focus) QCOMPARE(window.focusWidget()->objectName(), QString(c.focus));
      QCOMPARE(window.findChild<QTableWidget*>("Heights")->rowCount(), 0);
      QVERIFY(!std::filesystem::exists(job.fixture.app.AdjustedNetworks()));
      window.findChild<QListWidget*>("InputFiles")->selectAll();
      window.findChild<QPushButton*>("RemoveFiles")->click();
    }
  }

  // Cancel while the inputs are read keeps the last adjustment: its
  // results in the window and its workbook byte for byte.
  void cancelKeepsTheLastAdjustment() {
    Job job;
    NetworkWindow window(job.fixture.app, job.prompts);
    job.Add(window, {job.net1, job.net2});
    SetRow(window.findChild<QTableWidget*>("Benchmarks"), 0, {"A", "100", ""});
    window.findChild<QPushButton*>("Adjust")->click();
    QVERIFY(vireo::testing::JobsEnded());
    const std::string workbook = job.fixture.app.AdjustedNetworkWorkbook("NET1");
    const std::string before = vireo::testing::ReadFile(workbook);
    const double height = window.Result()->points.back().height;
    job.Add(window, {job.Write("LONG.dat", {{"B", "D", 3000}})});
    window.findChild<QPushButton*>("Adjust")->click();
    QTest::mouseClick(window.findChild<QPushButton*>("CancelJob"), Qt::LeftButton);
    QVERIFY(vireo::testing::JobsEnded());
    const QString status = window.findChild<QLabel*>("Status")->text();
    QVERIFY2(status.startsWith("Cancelled; the earlier results and workbook are as they were."),
             qPrintable(status));
    QCOMPARE(window.Result()->inputs.size(), 2u);
    QCOMPARE(window.Result()->points.back().height, height);
    QVERIFY(vireo::testing::ReadFile(workbook) == before);
    const auto folder = std::filesystem::path(workbook).parent_path();
    QCOMPARE(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  }

  // A name wider than the summary's column (a turning point of a file with
  // a long name) wraps at its separators and shows whole in its row, the
  // figures beside the labels in view.
  void longNamesInTheSummaryShowWhole() {
    Job job;
    const QString longName = job.Write("THE_SECOND_DAY_OF_LEVELLING_ON_THE_NORTH_ROAD.dat",
                                       {{"C", "A", 4, 0.01}, {"A", "D", 5}, {"D", "B", 4}});
    NetworkWindow window(job.fixture.app, job.prompts);
    job.Add(window, {job.net1, longName});
    SetRow(window.findChild<QTableWidget*>("Benchmarks"), 0, {"A", "100", ""});
    window.show();
    window.resize(1180, 665);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QPushButton*>("Adjust")->click();
    QVERIFY(vireo::testing::JobsEnded());
    QApplication::processEvents();
    auto* summary = window.findChild<QTableWidget*>("Summary");
    auto* shown = qobject_cast<QStyledItemDelegate*>(summary->itemDelegateForColumn(1));
    QVERIFY(shown);
    const int width = summary->columnWidth(1) - 8;  // the cell's margins
    bool wider = false;                             // a word wider than the column
    for (int row = 0; row < summary->rowCount(); ++row) {
      const QString text = summary->item(row, 1)->text();
      for (const QString& word : text.split(u' '))
        wider = wider || summary->fontMetrics().horizontalAdvance(word) > width;
      const QRect needed = summary->fontMetrics().boundingRect(
          QRect(0, 0, width, 100000), Qt::TextWordWrap, shown->displayText(text, QLocale()));
      QVERIFY2(needed.width() <= width && needed.height() <= summary->rowHeight(row),
               qPrintable(text));
    }
    QVERIFY(wider);
    // No figure is out of view.
    QVERIFY(summary->columnViewportPosition(1) + summary->columnWidth(1) <=
            summary->viewport()->width());
  }

  // "Find blunders" snoops: the window names the removed line, its w and
  // estimated blunder, and where snooping stopped.
  void findBlundersShowsTheSnoopingRounds() {
    Job job;
    const QString blundered =
        job.Write("NET3.dat", {{"C", "A", 4, 0.03}, {"A", "D", 5}, {"D", "C", 4}});
    NetworkWindow window(job.fixture.app, job.prompts);
    job.Add(window, {job.net1, blundered});
    SetRow(window.findChild<QTableWidget*>("Benchmarks"), 0, {"A", "100", ""});
    window.findChild<QCheckBox*>("FindBlunders")->setChecked(true);
    window.findChild<QPushButton*>("Adjust")->click();
    QVERIFY(vireo::testing::JobsEnded());
    QCOMPARE(job.prompts.Of("Tell").size(), 0u);
    const QString status = window.findChild<QLabel*>("Status")->text();
    QVERIFY2(status.contains("Round 1: removed NET3 line of levelling 1 C → A (w ") &&
                 status.contains("Snooping ended: "),
             qPrintable(status));
    QCOMPARE(window.Result()->snooping->rounds.size(), 1u);
  }
};

// Saved as a job and opened again in a new window (which starts in the
// folder, at the size, the first one had), the network adjusts to the same
// heights; benchmarks come from a list as --benchmarks reads it.
void NetworkWindowTest::aJobSavedAndOpenedAgainAdjustsTheSame() {
  Job job;
  const std::string folder = job.fixture.folder.Path();
  vireo::testing::WriteFile(folder + "/list.csv", "# known heights\nA,100\nD, 102.002, 3\n");
  NetworkWindow first(job.fixture.app, job.prompts);
  first.show();
  first.resize(760, 500);
  const QSize size = first.size();
  job.Add(first, {job.net1, job.net2});
  job.prompts.files << QString::fromStdString(folder + "/list.csv");
  first.findChild<QPushButton*>("LoadBenchmarks")->click();
  auto* table = first.findChild<QTableWidget*>("Benchmarks");
  QCOMPARE(table->rowCount(), 2);
  QCOMPARE(Cell(table, 1, 0) + Cell(table, 1, 1) + Cell(table, 1, 2), QString("D102.0023"));
  first.findChild<QLineEdit*>("SigmaKm")->setText("1.5");
  first.findChild<QCheckBox*>("FindBlunders")->setChecked(true);
  first.findChild<QPushButton*>("Adjust")->click();
  QVERIFY(vireo::testing::JobsEnded());
  QVERIFY(first.Result());
  const QString path = QString::fromStdString(folder + "/jobs/two days.job");
  std::filesystem::create_directories(folder + "/jobs");
  job.prompts.saveFiles << path << path;
  const QString adjusted = first.findChild<QLabel*>("Status")->text();
  for (int save = 0; save < 2; ++save) first.findChild<QPushButton*>("SaveJob")->click();
  QCOMPARE(job.prompts.asked.back().owner, static_cast<QWidget*>(&first));
  QCOMPARE(first.findChild<QLabel*>("Status")->text(),
           adjusted + "\nSaved the job as " + path + ".");
  first.close();

  NetworkWindow second(job.fixture.app, job.prompts);
  QCOMPARE(second.size(), size);
  job.prompts.files << path;
  second.findChild<QPushButton*>("OpenJob")->click();
  QCOMPARE(job.prompts.asked.back().initialText, QString::fromStdString(folder + "/jobs"));
  second.findChild<QPushButton*>("Adjust")->click();
  QVERIFY(vireo::testing::JobsEnded());
  QVERIFY(second.Result());
  QCOMPARE(second.Result()->points.size(), first.Result()->points.size());
  for (std::size_t i = 0; i < first.Result()->points.size(); ++i)
    QCOMPARE(second.Result()->points[i].height, first.Result()->points[i].height);
  QCOMPARE(second.Result()->sigmaKm, 1.5);
  QVERIFY(second.findChild<QCheckBox*>("FindBlunders")->isChecked() && second.Result()->snooping);

  // The job cut short before its settings is refused by its line; the window
  // keeps the job and the results it showed.
  const std::string text = vireo::testing::ReadFile(path.toStdString());
  vireo::testing::WriteFile(path.toStdString(), text.substr(0, text.find("input")));
  const int files = second.findChild<QListWidget*>("InputFiles")->count();
  job.prompts.files << path;
  second.findChild<QPushButton*>("OpenJob")->click();
  QVERIFY(job.prompts.asked.back().text.contains(": the job holds no setting"));
  QCOMPARE(second.findChild<QListWidget*>("InputFiles")->count(), files);
  QVERIFY(second.Result());
}

QTEST_MAIN(NetworkWindowTest)
#include "NetworkWindowTest.moc"
