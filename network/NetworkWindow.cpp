#include "network/NetworkWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <new>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Text.h"
#include "gui/Placement.h"
#include "gui/Plural.h"
#include "network/NetworkWorkbook.h"
#include "settings/ControlFile.h"

namespace vireo::network {

using gui::JobControl;
using gui::MessageKind;
using gui::Plural;
namespace {

const QString kTitle = QStringLiteral("Adjust Network");
const QString kBenchmarkTable = QStringLiteral("the benchmark table");
const QString kSigmaKm = QStringLiteral("\u03C3 for 1 km");
const QString kGeometryKey = QStringLiteral("AdjustNetwork/place");
const QString kFolderKey = QStringLiteral("AdjustNetwork/lastFolder");
const QStringList kJobFilters = {QStringLiteral("Network job (*.job)"),
                                 QStringLiteral("All Files (*)")};
const QColor kAlarm(255, 199, 206);  // the workbook's red fill
constexpr int kListedInBox = 20;

// `text` with `mark` after each separator of a long name: where a line may
// break in it.
QString MarkedAfterSeparators(const QString& text, QChar mark) {
  QString marked;
  marked.reserve(text.size() + 8);
  for (const QChar c : text) {
    marked += c;
    if (c == u'@' || c == u':' || c == u'_' || c == u'/' || c == u'\\') marked += mark;
  }
  return marked;
}

// Shows a cell's text with a line break allowed after the separators of
// long names (TP1@NETWORK_DAY2:1, a path), so that a wrapped row keeps every
// character of a name wider than its column; the item's own text (its
// tooltip, a copy) stays as it is.
class BreakableNames : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale& locale) const override {
    // A zero-width space: a break, nothing drawn.
    return MarkedAfterSeparators(QStyledItemDelegate::displayText(value, locale), QChar(0x200B));
  }
};

// The widest piece of a value that cannot break (a figure, a word up to a
// separator BreakableNames breaks after), with the cell's margins.
int WidestPiece(const QTableWidget* table, int column) {
  int widest = 0;
  for (int row = 0; row < table->rowCount(); ++row)
    if (const QTableWidgetItem* item = table->item(row, column))
      for (const QString& piece :
           MarkedAfterSeparators(item->text(), u' ').split(u' ', Qt::SkipEmptyParts))
        widest = std::max(widest, table->fontMetrics().horizontalAdvance(piece));
  const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
  return widest + 2 * margin + table->fontMetrics().averageCharWidth();
}

// The labels take what they need up to two thirds of the table, the values
// (wrapping) the rest, and never less than their widest figure: the
// figures stay whole and in view at any scale. Room is kept for the scroll
// bar, which long results bring.
void FitSummaryColumns(QTableWidget* table) {
  const int room = table->contentsRect().width() - table->verticalScrollBar()->sizeHint().width();
  table->resizeColumnToContents(0);
  const int values =
      std::max(WidestPiece(table, 1), room - std::min(table->columnWidth(0), room * 2 / 3));
  table->setColumnWidth(1, values);
  table->setColumnWidth(0, std::max(room - values, table->fontMetrics().averageCharWidth() * 8));
}

template <typename W, typename... Args>
W* Make(const char* name, Args&&... args) {
  W* widget = new W(std::forward<Args>(args)...);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QTableWidget* MakeTable(const char* name, const QStringList& headings) {
  auto* table = Make<QTableWidget>(name, 0, static_cast<int>(headings.size()));
  table->setHorizontalHeaderLabels(headings);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

QTableWidgetItem* Item(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(alignment | Qt::AlignVCenter);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

QString Shown(const std::string& bytes) {
  return QString::fromStdString(vireo::ToUtf8(bytes));
}

QString Fixed(double value, int decimals) {
  return QString::fromStdString(vireo::FormatFixed(value, decimals));
}

std::string CellText(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text().trimmed().toStdString() : std::string();
}

}  // namespace

NetworkWindow::NetworkWindow(vireo::AppFolder app, gui::Prompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window),
      app_(std::move(app)),
      prompts_(prompts),
      opener_(gui::DesktopOpener()) {
  setObjectName(QStringLiteral("AdjustNetwork"));
  setWindowTitle(kTitle);

  auto* openJob = Make<QPushButton>("OpenJob", QStringLiteral("&Open job..."));
  auto* saveJob = Make<QPushButton>("SaveJob", QStringLiteral("&Save job..."));
  auto* jobButtons = new QHBoxLayout;
  jobButtons->addWidget(openJob);
  jobButtons->addWidget(saveJob);
  jobButtons->addStretch();

  files_ = Make<QListWidget>("InputFiles");
  files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* addFiles = Make<QPushButton>("AddFiles", QStringLiteral("A&dd..."));
  auto* removeFiles = Make<QPushButton>("RemoveFiles", QStringLiteral("Re&move"));
  auto* fileButtons = new QHBoxLayout;
  fileButtons->addWidget(addFiles);
  fileButtons->addWidget(removeFiles);
  fileButtons->addStretch();
  auto* filesBox = new QGroupBox(QStringLiteral("Input files (field data or level data files)"));
  auto* filesLayout = new QVBoxLayout(filesBox);
  filesLayout->addWidget(files_);
  filesLayout->addLayout(fileButtons);

  benchmarks_ = MakeTable("Benchmarks", {QStringLiteral("Name"), QStringLiteral("Height (m)"),
                                         QStringLiteral("σ (mm)")});
  benchmarks_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  benchmarks_->setRowCount(1);
  auto* addBenchmark = Make<QPushButton>("AddBenchmark", QStringLiteral("Add &benchmark"));
  auto* removeBenchmarks = Make<QPushButton>("RemoveBenchmarks", QStringLiteral("Remo&ve"));
  auto* loadBenchmarks = Make<QPushButton>("LoadBenchmarks", QStringLiteral("&Load benchmarks..."));
  auto* benchmarkButtons = new QHBoxLayout;
  benchmarkButtons->addWidget(addBenchmark);
  benchmarkButtons->addWidget(removeBenchmarks);
  benchmarkButtons->addWidget(loadBenchmarks);
  benchmarkButtons->addStretch();
  auto* benchmarksBox = new QGroupBox(QStringLiteral("Benchmarks"));
  auto* benchmarksLayout = new QVBoxLayout(benchmarksBox);
  benchmarksLayout->addWidget(benchmarks_);
  benchmarksLayout->addWidget(
      new QLabel(QStringLiteral("An empty σ fixes the height; with a σ the height is weighted.")));
  benchmarksLayout->addLayout(benchmarkButtons);

  sigmaKm_ = Make<QLineEdit>("SigmaKm", QStringLiteral("1.0"));
  name_ = Make<QLineEdit>("WorkbookName");
  auto* settings = new QFormLayout;
  settings->addRow(QStringLiteral("σ for 1 km of levelling (mm):"), sigmaKm_);
  settings->addRow(QStringLiteral("Workbook name:"), name_);
  findBlunders_ = Make<QCheckBox>("FindBlunders", QStringLiteral("Find blunders"));
  findBlunders_->setToolTip(
      QStringLiteral("Data snooping: remove the section with the largest |w| above the flag "
                     "limit and adjust again, round by round"));
  settings->addRow(QString(), findBlunders_);
  adjust_ = Make<QPushButton>("Adjust", QStringLiteral("Ad&just"));
  auto* adjustRow = new QHBoxLayout;
  adjustRow->addStretch();
  adjustRow->addWidget(adjust_);

  auto* inputs = new QVBoxLayout;
  inputs->addLayout(jobButtons);
  inputs->addWidget(filesBox, 2);
  inputs->addWidget(benchmarksBox, 3);
  inputs->addLayout(settings);
  inputs->addLayout(adjustRow);

  status_ = Make<QLabel>("Status");
  status_->setWordWrap(true);
  summary_ = MakeTable("Summary", {QStringLiteral("Result"), QStringLiteral("Value")});
  summary_->horizontalHeader()->hide();
  // Long names (from -> to) break at their blanks and separators rather
  // than being cut, and the rows follow the column's width.
  summary_->setWordWrap(true);
  summary_->setTextElideMode(Qt::ElideNone);
  summary_->setItemDelegateForColumn(1, new BreakableNames(summary_));
  summary_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  summary_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  summary_->horizontalHeader()->setStretchLastSection(false);
  summary_->installEventFilter(this);
  heights_ = MakeTable("Heights", {QStringLiteral("Point"), QStringLiteral("Height (m)"),
                                   QStringLiteral("σ (mm)"), QStringLiteral("Kind")});
  links_ = Make<QLabel>("WorkbookLinks");
  links_->setTextFormat(Qt::RichText);
  links_->setWordWrap(true);
  links_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  notOpened_ = new gui::NotOpenedNote;
  auto* summaryBox = new QGroupBox(QStringLiteral("Summary"));
  (new QVBoxLayout(summaryBox))->addWidget(summary_);
  auto* heightsBox = new QGroupBox(QStringLiteral("Heights of the network points"));
  (new QVBoxLayout(heightsBox))->addWidget(heights_);
  auto* tables = new QHBoxLayout;
  tables->addWidget(summaryBox, 4);
  tables->addWidget(heightsBox, 3);
  auto* results = new QVBoxLayout;
  results->addWidget(status_);
  job_ = new gui::JobBar;
  results->addWidget(job_);
  results->addLayout(tables, 1);
  results->addWidget(links_);
  results->addWidget(notOpened_);

  auto* root = new QHBoxLayout(this);
  root->addLayout(inputs, 4);
  root->addLayout(results, 7);
  resize(1180, 640);
  gui::RestoreGeometry(this, kGeometryKey);
  const QSettings remembered;
  lastFolder_ = remembered.value(kFolderKey).toString();
  ClearResults(QStringLiteral("Add the input files and the benchmarks, then press Adjust."));

  connect(addFiles, &QPushButton::clicked, this, &NetworkWindow::AddFiles);
  connect(removeFiles, &QPushButton::clicked, this, &NetworkWindow::RemoveFiles);
  connect(addBenchmark, &QPushButton::clicked, this, &NetworkWindow::AddBenchmark);
  connect(removeBenchmarks, &QPushButton::clicked, this, &NetworkWindow::RemoveBenchmarks);
  connect(adjust_, &QPushButton::clicked, this, &NetworkWindow::Adjust);
  connect(loadBenchmarks, &QPushButton::clicked, this, &NetworkWindow::LoadBenchmarks);
  connect(openJob, &QPushButton::clicked, this, &NetworkWindow::OpenJob);
  connect(saveJob, &QPushButton::clicked, this, &NetworkWindow::SaveJob);
  connect(links_, &QLabel::linkActivated, this, [this](const QString& link) {
    if (link == QLatin1String("workbook"))
      OpenWorkbook();
    else
      ShowWarnings();
  });
}

void NetworkWindow::closeEvent(QCloseEvent* event) {
  gui::SaveGeometry(this, kGeometryKey);
  QWidget::closeEvent(event);
}

QString NetworkWindow::Folder() const {
  return lastFolder_.isEmpty() || !QFileInfo(lastFolder_).isDir()
             ? QString::fromStdString(app_.FieldData())
             : lastFolder_;
}

void NetworkWindow::SetLastFolder(const QString& file) {
  lastFolder_ = QFileInfo(file).absolutePath();
  QSettings().setValue(kFolderKey, lastFolder_);
}

void NetworkWindow::AddFiles() {
  // The Process command's filters; level data files are .dat files too.
  AddFilePaths(
      prompts_.OpenFiles(this, QStringLiteral("Add input files..."), Folder(),
                         {QStringLiteral("DATfile (*.dat)"), QStringLiteral("All Files (*)"),
                          QStringLiteral("GSI file (*.gsi *.GSI)")}));
}

void NetworkWindow::AddFilePaths(const QStringList& paths) {
  for (const QString& path : paths) {
    SetLastFolder(path);
    // A file listed twice would count its observations twice.
    bool listed = false;
    for (int i = 0; i < files_->count() && !listed; ++i)
      listed = files_->item(i)->data(Qt::UserRole).toString() == path;
    if (listed) continue;
    auto* item = new QListWidgetItem(QDir::toNativeSeparators(path), files_);
    item->setData(Qt::UserRole, path);
  }
  name_->setPlaceholderText(DefaultName());
}

void NetworkWindow::RemoveFiles() {
  qDeleteAll(files_->selectedItems());
  name_->setPlaceholderText(DefaultName());
  // A refusal shown would speak of files no longer listed.
  if (!result_)
    ClearResults(QStringLiteral("%1 listed; press Adjust.")
                     .arg(Plural(files_->count(), "input file", "input files")));
}

void NetworkWindow::AddBenchmark() {
  const int row = benchmarks_->rowCount();
  benchmarks_->insertRow(row);
  for (int column = 0; column < benchmarks_->columnCount(); ++column)
    benchmarks_->setItem(row, column, new QTableWidgetItem);
  // The surveyor types the new benchmark's name right away.
  benchmarks_->setFocus(Qt::OtherFocusReason);
  benchmarks_->setCurrentCell(row, 0);
  benchmarks_->editItem(benchmarks_->item(row, 0));
}

void NetworkWindow::AddBenchmarkRows(const std::vector<vireo::Benchmark>& benchmarks) {
  // Empty rows (the one a new window has) make way.
  for (int row = benchmarks_->rowCount() - 1; row >= 0; --row)
    if (CellText(benchmarks_, row, 0).empty() && CellText(benchmarks_, row, 1).empty() &&
        CellText(benchmarks_, row, 2).empty())
      benchmarks_->removeRow(row);
  for (const vireo::Benchmark& b : benchmarks) {
    const int row = benchmarks_->rowCount();
    benchmarks_->insertRow(row);
    benchmarks_->setItem(row, 0, new QTableWidgetItem(Shown(b.name)));
    benchmarks_->setItem(
        row, 1, new QTableWidgetItem(QString::fromStdString(vireo::DecimalText(b.height))));
    benchmarks_->setItem(
        row, 2,
        new QTableWidgetItem(b.sigma ? QString::fromStdString(vireo::DecimalText(*b.sigma))
                                     : QString()));
  }
}

void NetworkWindow::LoadBenchmarks() {
  const QString path = prompts_.OpenFile(
      this, QStringLiteral("Load benchmarks..."), Folder(),
      {QStringLiteral("Benchmark list (*.csv *.txt)"), QStringLiteral("All Files (*)")});
  if (path.isEmpty()) return;
  SetLastFolder(path);
  try {
    AddBenchmarkRows(vireo::ReadBenchmarkFile(QFile::encodeName(path).toStdString()));
  } catch (const std::exception& e) {
    Refuse(QStringLiteral("The benchmarks were not loaded."), e);
  }
}

vireo::NetworkJob NetworkWindow::Job() const {
  vireo::NetworkJob job;
  for (int i = 0; i < files_->count(); ++i)
    job.inputs.push_back(
        QFile::encodeName(files_->item(i)->data(Qt::UserRole).toString()).toStdString());
  for (int row = 0; row < benchmarks_->rowCount(); ++row) {
    const std::string texts[3] = {CellText(benchmarks_, row, 0), CellText(benchmarks_, row, 1),
                                  CellText(benchmarks_, row, 2)};
    if (texts[0].empty() && texts[1].empty() && texts[2].empty()) continue;
    vireo::Benchmark& b = job.benchmarks.emplace_back(vireo::ParseBenchmarkEntry(
        texts[0], texts[1], texts[2], kBenchmarkTable.toStdString(), row + 1));
    // Where it was given, as the results and messages name it.
    b.source = kBenchmarkTable.toStdString() + ", row " + std::to_string(row + 1);
    b.sourceLine = 0;
  }
  const std::string sigma = sigmaKm_->text().trimmed().toStdString();
  const auto sigmaKm = vireo::StrictNumber(sigma);
  if (!sigmaKm || !(*sigmaKm >= vireo::kMinSigmaKm && *sigmaKm <= vireo::kMaxSigmaKm))
    throw vireo::Error(kSigmaKm.toStdString(), "read the standard deviation for 1 km",
                       "\"" + sigma + "\" is not a number of millimetres from " +
                           vireo::DecimalText(vireo::kMinSigmaKm) + " to " +
                           vireo::DecimalText(vireo::kMaxSigmaKm));
  job.sigmaKm = *sigmaKm;
  job.name = name_->text().trimmed().toStdString();
  job.snoop = findBlunders_->isChecked();
  return job;
}

void NetworkWindow::SetJob(const vireo::NetworkJob& job) {
  files_->clear();
  QStringList paths;
  for (const std::string& input : job.inputs) paths << QFile::decodeName(input.c_str());
  AddFilePaths(paths);
  benchmarks_->setRowCount(0);
  AddBenchmarkRows(job.benchmarks);
  if (benchmarks_->rowCount() == 0) benchmarks_->setRowCount(1);
  sigmaKm_->setText(
      QString::fromStdString(job.sigmaKm ? vireo::DecimalText(*job.sigmaKm) : std::string("1.0")));
  name_->setText(Shown(job.name));
  findBlunders_->setChecked(job.snoop);
  result_.reset();
  workbook_.clear();
  ClearResults(QStringLiteral("Opened the job; press Adjust."));
}

void NetworkWindow::OpenJob() {
  const QString path =
      prompts_.OpenFile(this, QStringLiteral("Open job..."), Folder(), kJobFilters);
  if (path.isEmpty()) return;
  SetLastFolder(path);
  try {
    SetJob(vireo::ReadNetworkJob(QFile::encodeName(path).toStdString()));
    ClearResults(
        QStringLiteral("Opened the job %1; press Adjust.").arg(QDir::toNativeSeparators(path)));
  } catch (const std::exception& e) {
    Refuse(QStringLiteral("The job was not opened."), e);
  }
}

void NetworkWindow::SaveJob() {
  vireo::NetworkJob job;
  try {
    job = Job();
  } catch (const std::exception& e) {
    Refuse(QStringLiteral("The job was not saved."), e);
    return;
  }
  const QString name = name_->text().trimmed().isEmpty() ? DefaultName() : name_->text().trimmed();
  QString path = prompts_.SaveFile(
      this, QStringLiteral("Save job..."),
      QDir(Folder()).filePath((name.isEmpty() ? QStringLiteral("network") : name) + ".job"),
      kJobFilters);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".job");
  SetLastFolder(path);
  try {
    vireo::SaveNetworkJob(job, QFile::encodeName(path).toStdString());
    // Below the results, which stay in view (the snooping's sentence with them).
    QString shown = status_->text();
    if (const qsizetype note = shown.indexOf(QStringLiteral("Saved the job as ")); note >= 0)
      shown.truncate(note);
    status_->setText(shown + (shown.isEmpty() || shown.endsWith('\n') ? "" : "\n") +
                     QStringLiteral("Saved the job as %1.").arg(QDir::toNativeSeparators(path)));
  } catch (const std::exception& e) {
    Refuse(QStringLiteral("The job was not saved."), e);
  }
}

void NetworkWindow::Refuse(const QString& title, const std::exception& e) {
  const QString what = QString::fromStdString(e.what());
  prompts_.Tell(this, kTitle, title + QStringLiteral("\n\n") + what, MessageKind::Error);
  // Back to the field the message is about.
  const auto* error = dynamic_cast<const vireo::Error*>(&e);
  const QString where = error ? QString::fromStdString(error->File()) : QString();
  activateWindow();
  if (where == kSigmaKm) {
    sigmaKm_->setFocus(Qt::OtherFocusReason);
    sigmaKm_->selectAll();
  } else if (where.startsWith(kBenchmarkTable)) {
    const QRegularExpressionMatch row =
        QRegularExpression(QStringLiteral("row (\\d+)")).match(what);
    benchmarks_->setFocus(Qt::OtherFocusReason);
    if (row.hasMatch()) benchmarks_->setCurrentCell(row.captured(1).toInt() - 1, 0);
  } else if (error && error->Operation() == "name the adjustment") {
    name_->setFocus(Qt::OtherFocusReason);
  }
}

void NetworkWindow::RemoveBenchmarks() {
  QList<int> rows;
  for (const QTableWidgetSelectionRange& range : benchmarks_->selectedRanges())
    for (int row = range.topRow(); row <= range.bottomRow(); ++row) rows << row;
  if (rows.isEmpty() && benchmarks_->currentRow() >= 0) rows << benchmarks_->currentRow();
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int row : rows) benchmarks_->removeRow(row);
}

QString NetworkWindow::DefaultName() const {
  if (files_->count() == 0) return {};
  return QString::fromStdString(
      vireo::BaseNameOf(files_->item(0)->data(Qt::UserRole).toString().toStdString()));
}

void NetworkWindow::Adjust() {
  if (job_->Running()) return;
  if (files_->count() == 0) {
    prompts_.Tell(this, kTitle,
                  QStringLiteral("Add the field data files or level data files to adjust."),
                  MessageKind::Information);
    return;
  }
  struct Outcome {
    std::optional<vireo::NetworkAdjustment> result;
    std::string workbook, failure;
  };
  auto outcome = std::make_shared<Outcome>();
  try {
    // What the window holds is checked before any input is read.
    const vireo::NetworkJob job = Job();
    vireo::AdjustmentOptions options;
    options.sigmaKm = *job.sigmaKm;
    options.snoop = job.snoop;
    std::optional<std::string> factorWarning;
    options.errorFactor = vireo::ErrorFactorForTolerances(app_, factorWarning);
    const std::string name = vireo::AdjustmentName(job.name, job.inputs.front());
    // Read, adjusted and saved off the window's thread; Cancel is honoured
    // at the next read of an input, between the steps of the adjustment and
    // its rounds of snooping, and while the workbook is written, before it
    // replaces the earlier one.
    adjust_->setEnabled(false);
    job_->Start(
        QStringLiteral("Reading the input files"),
        [outcome, job, options, factorWarning, name, app = app_](JobControl& control) {
          const std::vector<vireo::NetworkInput> inputs = vireo::ReadNetworkInputs(
              job.inputs, control.Files(), [&control](std::size_t done, std::size_t total) {
                control.SetProgress(done, total);
              });
          control.StopPoint();
          control.SetStep("Adjusting the network");
          control.SetProgress(0, 0);
          vireo::AdjustmentOptions stoppable = options;
          stoppable.stopPoint = [&control] { control.StopPoint(); };
          outcome->result = vireo::AdjustNetwork(inputs, job.benchmarks, stoppable);
          if (factorWarning) outcome->result->warnings.push_back({"", 0, *factorWarning});
          control.StopPoint();
          control.SetStep("Saving the workbook");
          try {
            outcome->workbook =
                vireo::SaveNetworkWorkbook(*outcome->result, name, app, control.Files());
          } catch (const vireo::Error& e) {
            outcome->failure = e.what();
          }
        },
        [this, outcome](std::exception_ptr failure) {
          adjust_->setEnabled(true);
          FinishAdjustment(failure, outcome->result, QString::fromStdString(outcome->workbook),
                           QString::fromStdString(outcome->failure));
        });
  } catch (const std::exception&) {
    FinishAdjustment(std::current_exception(), std::nullopt, QString(), QString());
  }
}

bool NetworkWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == summary_ && event->type() == QEvent::Resize) FitSummaryColumns(summary_);
  return QWidget::eventFilter(watched, event);
}

void NetworkWindow::FinishAdjustment(std::exception_ptr thrown,
                                     std::optional<vireo::NetworkAdjustment> result,
                                     const QString& workbook, const QString& failure) {
  std::optional<vireo::Error> refusal;
  QString shortage;
  try {
    if (thrown) std::rethrow_exception(thrown);
    result_ = std::move(result);
    workbook_ = workbook;
    ShowResults();
    if (!failure.isEmpty())
      status_->setText(status_->text() + QStringLiteral("\nThe workbook was not saved: ") +
                       failure);
  } catch (const gui::JobCancelled&) {
    // The window keeps the last adjustment's results, and its workbook.
    const QString note =
        QStringLiteral("Cancelled; the earlier results and workbook are as they were.");
    if (result_) ShowResults();
    status_->setText(result_ ? note + QLatin1Char('\n') + status_->text() : note);
    return;
  } catch (const vireo::Error& e) {
    refusal = e;
  } catch (const std::bad_alloc&) {
    shortage = QStringLiteral("There was not enough memory to adjust the network.");
  } catch (const std::exception& e) {
    refusal = vireo::Error("", "adjust the network", e.what());
  }
  if (refusal || !shortage.isEmpty()) {
    result_.reset();
    workbook_.clear();
    ClearResults(QStringLiteral("Not adjusted: ") +
                 (refusal ? QString::fromStdString(refusal->what()) : shortage));
  }
  if (refusal) Refuse(QStringLiteral("The network was not adjusted."), *refusal);
  if (!shortage.isEmpty())
    prompts_.Tell(this, kTitle, QStringLiteral("The network was not adjusted.\n\n") + shortage,
                  MessageKind::Error);
  if (!failure.isEmpty())
    prompts_.Tell(
        this, kTitle,
        QStringLiteral("The network was adjusted, but its workbook was not saved.\n\n") + failure,
        MessageKind::Error);
}

void NetworkWindow::ClearResults(const QString& status) {
  status_->setText(status);
  summary_->setRowCount(0);
  heights_->setRowCount(0);
  links_->clear();
  links_->hide();
  notOpened_->Clear();
}

void NetworkWindow::ShowResults() {
  const vireo::NetworkAdjustment& result = *result_;
  QString status =
      QStringLiteral("Adjusted: %1, %2.")
          .arg(Plural(static_cast<qsizetype>(result.inputs.size()), "input file", "input files"),
               Plural(result.setups, "set-up", "set-ups"));
  // The snooping rounds, one line each, and where snooping stopped.
  if (result.snooping) {
    for (const vireo::SnoopingRound& r : result.snooping->rounds) {
      QString removed = QStringLiteral("the height of the benchmark %1");
      if (r.removed.section >= 0) {
        const vireo::AdjustedSection& s =
            result.sections[static_cast<std::size_t>(r.removed.section)];
        removed = Shown(result.FileOf(s) + " line of levelling " + std::to_string(s.line) + " " +
                        result.Route(s, " → "));
      } else {
        removed = removed.arg(
            Shown(result.benchmarks[static_cast<std::size_t>(r.removed.benchmark)].name));
      }
      status += QStringLiteral(
                    "\nRound %1: removed %2 (w %3, estimated blunder %4 mm); global "
                    "test after: %5.")
                    .arg(r.round)
                    .arg(removed, Fixed(r.removed.w, 2), Fixed(r.estimatedBlunderMm, 2),
                         r.testAfter ? (r.testAfter->pass ? QStringLiteral("passed")
                                                          : QStringLiteral("FAILED"))
                                     : QStringLiteral("none"));
    }
    status += QStringLiteral("\nSnooping ended: %1.").arg(Shown(result.snooping->end));
  }
  status_->setText(status);
  const std::vector<vireo::SummaryItem> items = vireo::SummaryItems(result);
  summary_->setRowCount(static_cast<int>(items.size()));
  for (int row = 0; row < static_cast<int>(items.size()); ++row) {
    const vireo::SummaryItem& s = items[static_cast<std::size_t>(row)];
    summary_->setItem(row, 0, Item(QString::fromStdString(s.label)));
    auto* value =
        s.number ? Item(Fixed(*s.number, s.decimals), Qt::AlignRight) : Item(Shown(s.text));
    value->setToolTip(value->text());
    if (s.alarm) value->setBackground(kAlarm);
    summary_->setItem(row, 1, value);
  }
  FitSummaryColumns(summary_);

  int rows = 0;
  for (const vireo::AdjustedPoint& p : result.points) rows += p.turningPoint ? 0 : 1;
  heights_->setRowCount(rows);
  int row = 0;
  for (const vireo::AdjustedPoint& p : result.points) {
    if (p.turningPoint) continue;
    heights_->setItem(row, 0, Item(Shown(p.name)));
    heights_->setItem(row, 1, Item(Fixed(p.height, 5), Qt::AlignRight));
    heights_->setItem(row, 2, Item(Fixed(p.sigma, 2), Qt::AlignRight));
    heights_->setItem(row, 3,
                      Item(QString::fromLatin1(vireo::PointKindName(p.kind)) +
                           (p.observed ? QString() : QStringLiteral(" (not observed)"))));
    ++row;
  }

  QStringList links;
  if (!workbook_.isEmpty())
    links << QStringLiteral("Saved %1 &nbsp; <a href=\"workbook\">Open the workbook</a>")
                 .arg(QDir::toNativeSeparators(workbook_).toHtmlEscaped());
  if (!result.warnings.empty())
    links << QStringLiteral("<a href=\"warnings\">Show warnings (%1)</a>")
                 .arg(result.warnings.size());
  links_->setText(links.join(QStringLiteral(" &nbsp; ")));
  links_->setVisible(!links.isEmpty());
  notOpened_->Clear();
}

void NetworkWindow::OpenWorkbook() {
  if (workbook_.isEmpty()) return;
  const QString workbook = workbook_;
  QPointer<NetworkWindow> window(this);
  gui::OpenDocument(workbook, opener_, [window, workbook](const QString& cause) {
    // The opener may answer late: only while the window shows that workbook.
    if (window && window->workbook_ == workbook)
      window->notOpened_->Show(QStringLiteral("The workbook"), workbook, cause);
  });
}

void NetworkWindow::ShowWarnings() {
  if (!result_ || result_->warnings.empty()) return;
  QStringList lines;
  for (const vireo::NetworkWarning& w : result_->warnings) {
    QString where = Shown(w.file);
    if (w.line > 0)
      where += (where.isEmpty() ? QStringLiteral("file line %1") : QStringLiteral(" file line %1"))
                   .arg(w.line);
    lines << (where.isEmpty() ? Shown(w.message) : where + QStringLiteral(": ") + Shown(w.message));
  }
  const bool more = lines.size() > kListedInBox;
  prompts_.Tell(this, QStringLiteral("Adjustment warnings"),
                QStringLiteral("The adjustment went on past %1:\n\n")
                        .arg(Plural(lines.size(), "warning", "warnings")) +
                    lines.mid(0, kListedInBox).join(QLatin1Char('\n')) +
                    (more ? QStringLiteral("\n…") : QString()),
                MessageKind::Warning, more ? lines.join(QLatin1Char('\n')) : QString());
}

}  // namespace vireo::network
