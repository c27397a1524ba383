#include "gui/Desktop.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace vireo::gui {

DocumentOpener DesktopOpener() {
  return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void OpenDocument(const QString& path, const DocumentOpener& opener, Prompts& prompts,
                  const QString& title, const QString& what) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (!QFileInfo::exists(absolute)) {
    prompts.Tell(title, QStringLiteral("%1 %2 is no longer there.").arg(what, absolute),
                 MessageKind::Error);
  } else if (!opener(QUrl::fromLocalFile(absolute))) {
    prompts.Tell(title,
                 QStringLiteral("No program on this desktop opened %1. Open it with a "
                                "spreadsheet program such as LibreOffice Calc or Excel.")
                     .arg(absolute),
                 MessageKind::Error);
  }
}

}  // namespace vireo::gui
