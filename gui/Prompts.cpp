#include "gui/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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

QString QtPrompts::OpenFile(const QString& title, const QString& folder,
                            const QStringList& filters) {
  ArrowWhileAsking arrow;
  return QFileDialog::getOpenFileName(parent_, title, folder, filters.join(QStringLiteral(";;")));
}

QStringList Prompts::OpenFiles(const QString& title, const QString& folder,
                               const QStringList& filters) {
  const QString file = OpenFile(title, folder, filters);
  return file.isEmpty() ? QStringList() : QStringList{file};
}

QStringList QtPrompts::OpenFiles(const QString& title, const QString& folder,
                                 const QStringList& filters) {
  ArrowWhileAsking arrow;
  return QFileDialog::getOpenFileNames(parent_, title, folder, filters.join(QStringLiteral(";;")));
}

std::optional<QString> QtPrompts::InputBox(const QString& prompt, const QString& title,
                                           const QString& initialText) {
  ArrowWhileAsking arrow;
  bool ok = false;
  // No owner: the main window is disabled while the box is open, and the
  // box takes the platform's default position.
  const QString answer =
      QInputDialog::getText(nullptr, title, prompt, QLineEdit::Normal, initialText, &ok);
  if (!ok) return std::nullopt;
  return answer;
}

bool QtPrompts::AskYesNo(const QString& title, const QString& text) {
  ArrowWhileAsking arrow;
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompts::Tell(const QString& title, const QString& text, MessageKind kind,
                     const QString& details) {
  ArrowWhileAsking arrow;
  QMessageBox::Icon icon = QMessageBox::Information;
  if (kind == MessageKind::Warning) icon = QMessageBox::Warning;
  if (kind == MessageKind::Error) icon = QMessageBox::Critical;
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent_);
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
