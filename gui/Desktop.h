// Handing a saved document (a workbook) to the desktop's program for it.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "gui/Prompts.h"

namespace vireo::gui {

// How a document is handed to the desktop; true when the desktop took it.
// Windows use DesktopOpener (QDesktopServices::openUrl); tests put their own.
using DocumentOpener = std::function<bool(const QUrl&)>;
DocumentOpener DesktopOpener();

// Opens the file at `path`. When it is no longer there, or no program took
// it, tells the surveyor so under `title`; `what` names the document in that
// message ("The report").
void OpenDocument(const QString& path, const DocumentOpener& opener, Prompts& prompts,
                  const QString& title, const QString& what);

}  // namespace vireo::gui
