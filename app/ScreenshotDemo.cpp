#include "app/ScreenshotDemo.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QTextStream>

#include "app/MainWindow.h"
#include "gui/Prompts.h"
#include "rlinput/InputOption.h"

namespace vireo::app {

using namespace vireo::gui;
namespace {

// Answers like a surveyor who picks `file` and wants to key in a level.
class DemoPrompts : public Prompts {
 public:
  explicit DemoPrompts(QString file) : file_(std::move(file)) {}
  QString OpenFile(QWidget*, const QString&, const QString&, const QStringList&) override {
    return file_;
  }
  QStringList OpenFiles(QWidget*, const QString&, const QString&, const QStringList&) override {
    return files_;
  }
  QString SaveFile(QWidget*, const QString&, const QString& suggested,
                   const QStringList&) override {
    return suggested;
  }
  QStringList files_;
  std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
  void Tell(QWidget*, const QString& title, const QString& text, MessageKind,
            const QString&) override {
    QTextStream(stderr) << title << ": " << text << '\n';
  }

 private:
  QString file_;
};

QString SampleFile(const vireo::AppFolder& app) {
  const QDir folder(QString::fromStdString(app.FieldData()));
  if (folder.exists(QStringLiteral("LOOP_BFFB.dat")))
    return folder.filePath(QStringLiteral("LOOP_BFFB.dat"));
  const QStringList samples = folder.entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
  return samples.isEmpty() ? QString() : folder.filePath(samples.first());
}

bool Save(QWidget* widget, const QString& path) {
  QCoreApplication::processEvents();
  if (!widget->grab().save(path)) {
    QTextStream(stderr) << "could not write " << path << '\n';
    return false;
  }
  QTextStream(stdout) << path << '\n';
  return true;
}

// The network window after adjusting the sample network of two days with
// BM1 fixed and BM3 weighted.
bool NetworkPicture(MainWindow& window, DemoPrompts& prompts, const QDir& out) {
  const QDir folder(QString::fromStdString(window.App().FieldData()));
  prompts.files_ = {folder.filePath(QStringLiteral("NETWORK_DAY1.dat")),
                    folder.filePath(QStringLiteral("NETWORK_DAY2.gsi"))};
  window.findChild<QAction*>(QStringLiteral("AdjustNetwork"))->trigger();
  NetworkWindow* network = window.AdjustNetworkWindow();
  network->findChild<QPushButton*>(QStringLiteral("AddFiles"))->click();
  auto* benchmarks = network->findChild<QTableWidget*>(QStringLiteral("Benchmarks"));
  const QStringList rows[] = {{"BM1", "100.000", ""}, {"BM3", "99.6121", "2"}};
  benchmarks->setRowCount(2);
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 3; ++column)
      benchmarks->setItem(row, column, new QTableWidgetItem(rows[row][column]));
  network->findChild<QPushButton*>(QStringLiteral("Adjust"))->click();
  return !network->WorkbookPath().isEmpty() &&
         Save(network, out.filePath(QStringLiteral("network-window.png")));
}

}  // namespace

int RunScreenshotDemo(const vireo::AppFolder& app, const QString& outputFolder) {
  const QString sample = SampleFile(app);
  if (sample.isEmpty()) {
    QTextStream(stderr) << "no sample field data file under " << app.FieldData().c_str() << '\n';
    return 1;
  }
  QDir().mkpath(outputFolder);
  DemoPrompts prompts(sample);
  MainWindow window(app, prompts);
  window.show();
  QCoreApplication::processEvents();
  window.findChild<QPushButton*>(QStringLiteral("StartProcess"))->click();
  QCoreApplication::processEvents();
  InputOption* dialog = window.RlDialog();
  if (!dialog) return 1;
  const QDir out(outputFolder);
  const bool saved = Save(&window, out.filePath(QStringLiteral("main-window.png"))) &&
                     Save(dialog, out.filePath(QStringLiteral("rl-dialog.png")));
  return saved && NetworkPicture(window, prompts, out) ? 0 : 1;
}

}  // namespace vireo::app
