// Handing a saved document (a workbook) to the desktop's program for it.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;

namespace vireo::gui {

// Called with the cause when no program took a document.
using OpenFailure = std::function<void(const QString& cause)>;

// How a document is handed to the desktop. It calls `failed` when no
// program takes the document: at once, or later, when the desktop's opener
// ends with a failure. Windows use DesktopOpener (xdg-open); tests put
// their own.
using DocumentOpener = std::function<void(const QUrl&, const OpenFailure& failed)>;
DocumentOpener DesktopOpener();

// Opens the file at `path`; calls `failed` with the cause when it is no
// longer there or no program took it.
void OpenDocument(const QString& path, const DocumentOpener& opener, const OpenFailure& failed);

// Under a window's links: that a document could not be opened, why, and
// the file's full path in a field to select and copy. Hidden until Show.
class NotOpenedNote : public QWidget {
 public:
  explicit NotOpenedNote(QWidget* parent = nullptr);
  // `what` names the document ("The report").
  void Show(const QString& what, const QString& path, const QString& cause);
  void Clear();
  QString Text() const;
  QString Path() const;

 private:
  QLabel* text_;
  QLineEdit* path_;
};

}  // namespace vireo::gui
