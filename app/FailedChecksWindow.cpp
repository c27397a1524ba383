#include "app/FailedChecksWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "gui/Geometry.h"

namespace vireo::app {

using gui::ElidedMiddle;
namespace {

// Set-up, file line, value and limit sort as numbers; an empty cell first.
constexpr int kNumericColumns[] = {0, 1, 5, 6};
constexpr int kSortKey = Qt::UserRole;

class Item : public QTableWidgetItem {
 public:
  using QTableWidgetItem::QTableWidgetItem;
  bool operator<(const QTableWidgetItem& other) const override {
    const QVariant mine = data(kSortKey), theirs = other.data(kSortKey);
    if (mine.isValid() && theirs.isValid()) return mine.toDouble() < theirs.toDouble();
    if (mine.isValid() != theirs.isValid()) return !mine.isValid();
    return QTableWidgetItem::operator<(other);
  }
};

}  // namespace

FailedChecksWindow::FailedChecksWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("FailedChecks"));
  setWindowTitle(QStringLiteral("Failed checks"));
  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  QStringList headings;
  for (const std::string& h : vireo::FailedCheckHeadings()) headings << QString::fromStdString(h);
  table_ = new QTableWidget(0, static_cast<int>(headings.size()), this);
  table_->setObjectName(QStringLiteral("FailedCheckRows"));
  table_->setHorizontalHeaderLabels(headings);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
  copy->setObjectName(QStringLiteral("Copy"));
  auto* close = new QPushButton(QStringLiteral("C&lose"), this);
  close->setObjectName(QStringLiteral("Close"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QLabel(QStringLiteral("Click a heading to sort; Copy takes the selected "
                                               "rows, or all, for a spreadsheet or an e-mail.")),
                     1);
  buttons->addWidget(copy);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  resize(760, 380);
  connect(copy, &QPushButton::clicked, this, &FailedChecksWindow::Copy);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this,
          &FailedChecksWindow::Copy);
}

void FailedChecksWindow::ShowRows(const std::vector<vireo::FailedCheckRow>& rows,
                                  const QString& fileName) {
  // A long file name is cut in its middle, so the window fits the screen
  // with Copy and Close in reach; the tooltip shows it whole.
  const QString file = ElidedMiddle(fileName, summary_->font(), 360);
  summary_->setToolTip(fileName);
  summary_->setText(
      rows.empty()
          ? QStringLiteral("Every check of the run on %1 passes.").arg(file)
          : QStringLiteral("%1 of the run on %2 broke %3 limit:")
                .arg(rows.size() == 1 ? QStringLiteral("One check")
                                      : QStringLiteral("%1 checks").arg(rows.size()),
                     file, rows.size() == 1 ? QStringLiteral("its") : QStringLiteral("their")));
  table_->setSortingEnabled(false);
  table_->clearContents();
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const vireo::FailedCheckRow& row = rows[static_cast<std::size_t>(r)];
    const std::vector<std::string> cells = vireo::FailedCheckCells(row);
    const double numbers[] = {static_cast<double>(row.setup), static_cast<double>(row.fieldLine),
                              row.value.value_or(0), row.limit.value_or(0)};
    const bool present[] = {row.setup > 0, row.fieldLine > 0, row.value.has_value(),
                            row.limit.has_value()};
    for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
      auto* item = new Item(QString::fromStdString(cells[static_cast<std::size_t>(c)]));
      for (std::size_t n = 0; n < std::size(kNumericColumns); ++n)
        if (kNumericColumns[n] == c) {
          item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
          if (present[n]) item->setData(kSortKey, numbers[n]);
        }
      // Lines "17 and 18" sort by their first number.
      if (c == 2 && !row.lines.empty())
        item->setData(kSortKey, QString::fromStdString(row.lines).section(' ', 0, 0).toDouble());
      item->setToolTip(item->text());
      table_->setItem(r, c, item);
    }
  }
  // As the field file goes, until the surveyor clicks another heading.
  QHeaderView* header = table_->horizontalHeader();
  header->setSortIndicator(1, Qt::AscendingOrder);
  table_->setSortingEnabled(true);
  header->setSortIndicatorShown(true);
  // Whole headings beside the sort mark; the check's name takes the room left.
  table_->resizeColumnsToContents();
  for (int c = 0; c < table_->columnCount(); ++c)
    header->resizeSection(c, header->sectionSize(c) + 18);
  header->setSectionResizeMode(4, QHeaderView::Stretch);
}

QString FailedChecksWindow::Copy() {
  std::set<int> selected;
  for (const QTableWidgetItem* item : table_->selectedItems()) selected.insert(item->row());
  QStringList lines;
  QStringList headings;
  for (int c = 0; c < table_->columnCount(); ++c)
    headings << table_->horizontalHeaderItem(c)->text();
  lines << headings.join(QLatin1Char('\t'));
  for (int r = 0; r < table_->rowCount(); ++r) {
    if (!selected.empty() && !selected.count(r)) continue;
    QStringList cells;
    for (int c = 0; c < table_->columnCount(); ++c)
      cells << (table_->item(r, c) ? table_->item(r, c)->text() : QString());
    lines << cells.join(QLatin1Char('\t'));
  }
  const QString text = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
  QApplication::clipboard()->setText(text);
  return text;
}

}  // namespace vireo::app
