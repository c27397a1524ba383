#include "gui/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <algorithm>

#include "common/Text.h"

namespace vireo::gui {
namespace {

// A busy pointer set by a run would hide the fact that a question waits for
// an answer: the arrow is pushed over it and popped again afterwards.
class ArrowWhileAsking {
 public:
  ArrowWhileAsking() : pushed_(QApplication::overrideCursor() != nullptr) {
    if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileAsking() {
    if (pushed_) QApplication::restoreOverrideCursor();
  }
  ArrowWhileAsking(const ArrowWhileAsking&) = delete;
  ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

 private:
  bool pushed_;
};

}  // namespace

QString QtPrompts::OpenFile(QWidget* owner, const QString& title, const QString& folder,
                            const QStringList& filters) {
  ArrowWhileAsking arrow;
  return QFileDialog::getOpenFileName(Owner(owner), title, folder,
                                      filters.join(QStringLiteral(";;")));
}

QStringList Prompts::OpenFiles(QWidget* owner, const QString& title, const QString& folder,
                               const QStringList& filters) {
  const QString file = OpenFile(owner, title, folder, filters);
  return file.isEmpty() ? QStringList() : QStringList{file};
}

QStringList QtPrompts::OpenFiles(QWidget* owner, const QString& title, const QString& folder,
                                 const QStringList& filters) {
  ArrowWhileAsking arrow;
  return QFileDialog::getOpenFileNames(Owner(owner), title, folder,
                                       filters.join(QStringLiteral(";;")));
}

QString QtPrompts::SaveFile(QWidget* owner, const QString& title, const QString& suggested,
                            const QStringList& filters) {
  ArrowWhileAsking arrow;
  return QFileDialog::getSaveFileName(Owner(owner), title, suggested,
                                      filters.join(QStringLiteral(";;")));
}

int WidthForTitle(const QString& title) {
  // The title bar's font is the window manager's; the application's bold
  // font is a fair measure, and the buttons beside the title take about
  // 120 pixels.
  QFont font = QApplication::font();
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(title) + 120;
}

namespace {

// A setting is one line of the control file: a line break (pasted with a
// name) is refused while the box is open, its text kept for correcting.
class OneLineInputDialog : public QInputDialog {
 public:
  using QInputDialog::QInputDialog;
  void done(int result) override {
    if (result == QDialog::Accepted &&
        (textValue().contains(QLatin1Char('\n')) || textValue().contains(QLatin1Char('\r')))) {
      QMessageBox::critical(this, windowTitle(),
                            QStringLiteral("The text holds a line break (pasted with it?). A "
                                           "setting is one line: remove the break and press OK "
                                           "again."));
      return;
    }
    QInputDialog::done(result);
  }
};

}  // namespace

std::optional<QString> QtPrompts::InputBox(QWidget* owner, const QString& prompt,
                                           const QString& title, const QString& initialText) {
  ArrowWhileAsking arrow;
  OneLineInputDialog box(Owner(owner));
  box.setWindowTitle(title);
  box.setLabelText(prompt);
  box.setTextValue(initialText);
  // The box's layout sizes it around its line edit.
  if (auto* edit = box.findChild<QLineEdit*>()) edit->setMinimumWidth(WidthForTitle(title));
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

bool QtPrompts::AskYesNo(QWidget* owner, const QString& title, const QString& text) {
  ArrowWhileAsking arrow;
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No,
                  Owner(owner));
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompts::Tell(QWidget* owner, const QString& title, const QString& text, MessageKind kind,
                     const QString& details) {
  ArrowWhileAsking arrow;
  QMessageBox::Icon icon = QMessageBox::Information;
  if (kind == MessageKind::Warning) icon = QMessageBox::Warning;
  if (kind == MessageKind::Error) icon = QMessageBox::Critical;
  QMessageBox box(icon, title, text, QMessageBox::Ok, Owner(owner));
  if (!details.isEmpty()) box.setDetailedText(details);
  box.exec();
}

QString TextFromControlBytes(const std::string& bytes) {
  return QString::fromStdString(vireo::ToUtf8(bytes));
}

std::string PromptsInputBox::Ask(const std::string& prompt, const std::string& title,
                                 const std::string& initialText) {
  const QString shown = TextFromControlBytes(initialText);
  const std::optional<QString> answer =
      prompts_.InputBox(QString::fromStdString(prompt), QString::fromStdString(title), shown);
  if (!answer) return {};
  if (*answer == shown) return initialText;
  return answer->toStdString();
}

}  // namespace vireo::gui
