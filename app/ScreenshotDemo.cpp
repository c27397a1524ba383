#include "app/ScreenshotDemo.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QQueue>
#include <QScreen>
#include <QTextStream>
#include <QThread>

#include "app/MainWindow.h"
#include "gui/Placement.h"
#include "gui/Prompts.h"
#include "network/NetworkJob.h"
#include "rlinput/InputOption.h"

namespace vireo::app {

using namespace vireo::gui;
namespace {

// Answers like a surveyor who picks the queued files and says `yes`.
class DemoPrompts : public Prompts {
 public:
  QString OpenFile(QWidget*, const QString&, const QString&, const QStringList&) override {
    return files.isEmpty() ? QString() : files.dequeue();
  }
  QString SaveFile(QWidget*, const QString&, const QString& suggested,
                   const QStringList&) override {
    return suggested;
  }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return yes; }
  void Tell(QWidget*, const QString& title, const QString& text, MessageKind,
            const QString&) override {
    QTextStream(stderr) << title << ": " << text << '\n';
  }
  QQueue<QString> files;
  bool yes = false;
};

// Lets the window manager map, place and frame the windows.
void Settle() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(25);
  }
}

// Lets a window's job run to its end (and its end be shown).
void WaitFor(const JobBar* job) {
  while (job->Running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }
}

// The screen where `windows` stand, frames included.
bool Save(std::initializer_list<const QWidget*> windows, const QString& path) {
  Settle();
  QRect area;
  for (const QWidget* w : windows) area |= w->frameGeometry();
  area &= QGuiApplication::primaryScreen()->geometry();
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                       area.width(), area.height());
  if (!picture.save(path)) {
    QTextStream(stderr) << "could not write " << path << '\n';
    return false;
  }
  QTextStream(stdout) << path << '\n';
  return true;
}

QString DnaJob(const QDir& folder) {
  if (folder.exists(QStringLiteral("OSGeoLabBp_tutorials_test.gsi")))
    return folder.filePath(QStringLiteral("OSGeoLabBp_tutorials_test.gsi"));
  const QStringList jobs = folder.entryList({QStringLiteral("*.gsi")}, QDir::Files, QDir::Name);
  return jobs.isEmpty() ? QString() : folder.filePath(jobs.first());
}

}  // namespace

int RunScreenshotDemo(const vireo::AppFolder& app, const QString& outputFolder) {
  const QDir folder(QString::fromStdString(app.FieldData()));
  const QString dna = DnaJob(folder), loop = folder.filePath(QStringLiteral("LOOP_BFFB.dat"));
  if (dna.isEmpty() || !QFileInfo::exists(loop)) {
    QTextStream(stderr) << "no DNA03 job or LOOP_BFFB.dat under " << folder.path() << '\n';
    return 1;
  }
  QDir().mkpath(outputFolder);
  const QDir out(outputFolder);
  DemoPrompts prompts;
  MainWindow window(app, prompts);
  window.move(24, 24);
  window.show();
  Settle();

  // The real job and its failed checks, the list beside the window.
  prompts.files.enqueue(dna);
  window.ProcessCommand();
  WaitFor(window.RunProgress());
  window.ShowChecks();
  if (!window.ChecksWindow() ||
      !Save({&window, window.ChecksWindow()}, out.filePath(QStringLiteral("main-window.png"))))
    return 1;
  window.ChecksWindow()->close();

  // A sample answered Yes: the Input RL dialog opens beside the window.
  prompts.files.enqueue(loop);
  prompts.yes = true;
  window.ProcessCommand();
  WaitFor(window.RunProgress());
  if (!window.RlDialog() ||
      !Save({&window, window.RlDialog()}, out.filePath(QStringLiteral("rl-dialog.png"))))
    return 1;
  window.RlDialog()->close();

  // A long run (the loop 10,000 times over) with its progress bar and
  // Cancel, then cancelled.
  const QString longRun = folder.filePath(QStringLiteral("LONG_RUN.dat"));
  {
    QFile loopFile(loop), longFile(longRun);
    if (!loopFile.open(QIODevice::ReadOnly) || !longFile.open(QIODevice::WriteOnly)) return 1;
    const QByteArray once = loopFile.readAll();
    for (int i = 0; i < 10000; ++i) longFile.write(once);
  }
  prompts.files.enqueue(longRun);
  prompts.yes = false;
  window.ProcessCommand();
  auto* bar = window.RunProgress()->findChild<QProgressBar*>();
  while (window.RunProgress()->Running() && bar->value() < 100)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  if (!Save({&window}, out.filePath(QStringLiteral("progress.png")))) return 1;
  window.RunProgress()->Cancel();
  WaitFor(window.RunProgress());
  QFile::remove(longRun);

  // The sample network as a job: opened, adjusted.
  vireo::NetworkJob job;
  job.inputs = {folder.filePath(QStringLiteral("NETWORK_DAY1.dat")).toStdString(),
                folder.filePath(QStringLiteral("NETWORK_DAY2.gsi")).toStdString()};
  job.benchmarks = {{"BM1", 100.0, std::nullopt, "", 0}, {"BM3", 99.6121, 2.0, "", 0}};
  job.sigmaKm = 1.0;
  job.name = "NETWORK";
  const QString jobPath = QDir(QString::fromStdString(app.root)).filePath("two days.job");
  vireo::SaveNetworkJob(job, jobPath.toStdString());
  window.findChild<QAction*>(QStringLiteral("AdjustNetwork"))->trigger();
  NetworkWindow* network = window.AdjustNetworkWindow();
  network->resize(1180, 640);
  network->move(24, 24);
  KeepOnScreen(network, &window);
  prompts.files.enqueue(jobPath);
  network->OpenJob();
  network->Adjust();
  WaitFor(network->AdjustmentProgress());
  return !network->WorkbookPath().isEmpty() &&
                 Save({network}, out.filePath(QStringLiteral("network-window.png")))
             ? 0
             : 1;
}

}  // namespace vireo::app
