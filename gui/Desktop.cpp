#include "gui/Desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace vireo::gui {
namespace {

// xdg-open's exit statuses.
QString OpenerFailure(int status) {
  switch (status) {
    case 2:
      return QStringLiteral("the desktop's opener did not find the file");
    case 3:
      return QStringLiteral("the desktop's opener misses a program it needs");
    case 4:
      return QStringLiteral("no program on this desktop opened it");
    default:
      return QStringLiteral("the desktop's opener failed (status %1)").arg(status);
  }
}

}  // namespace

DocumentOpener DesktopOpener() {
  return [](const QUrl& url, const OpenFailure& failed) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
      failed(QStringLiteral("this desktop has no opener for documents (xdg-open is missing)"));
      return;
    }
    // The opener may wait for the program it starts, so it runs on while
    // the window goes on; its end tells whether a program took the file.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int status, QProcess::ExitStatus exit) {
                       if (exit != QProcess::NormalExit)
                         failed(QStringLiteral("the desktop's opener ended abnormally"));
                       else if (status != 0)
                         failed(OpenerFailure(status));
                       process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       failed(QStringLiteral("the desktop's opener could not be started"));
                       process->deleteLater();
                     });
    process->start(opener, {url.toLocalFile()});
  };
}

void OpenDocument(const QString& path, const DocumentOpener& opener, const OpenFailure& failed) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (!QFileInfo::exists(absolute))
    failed(QStringLiteral("it is no longer there"));
  else
    opener(QUrl::fromLocalFile(absolute), failed);
}

NotOpenedNote::NotOpenedNote(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("NotOpened"));
  text_ = new QLabel(this);
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("NotOpenedPath"));
  path_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(text_);
  layout->addWidget(path_);
  hide();
}

void NotOpenedNote::Show(const QString& what, const QString& path, const QString& cause) {
  text_->setText(QStringLiteral("%1 was not opened: %2. Open it with a spreadsheet program such "
                                "as LibreOffice Calc or Excel; it is")
                     .arg(what, cause));
  path_->setText(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  path_->setCursorPosition(0);
  show();
}

void NotOpenedNote::Clear() {
  text_->clear();
  path_->clear();
  hide();
}

QString NotOpenedNote::Text() const {
  return text_->text();
}

QString NotOpenedNote::Path() const {
  return path_->text();
}

}  // namespace vireo::gui
