// Every modal question the program asks goes through Prompts: the file-open
// dialogs, the input box, the Yes/No box and the message box. The windows
// use QtPrompts; tests hand the windows a scripted implementation.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "settings/SettingsCommands.h"

class QWidget;

namespace vireo::gui {

enum class MessageKind { Information, Warning, Error };

// Each question belongs to the window that asks it, its `owner`: the box
// or dialog stands in front of that window and gives it the focus back when
// it closes. A null owner is the main window. The overloads without an
// owner ask for the main window.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // A file-open dialog; an empty text when the surveyor cancels.
  virtual QString OpenFile(QWidget* owner, const QString& title, const QString& folder,
                           const QStringList& filters) = 0;
  // The same dialog for several files at once; an empty list on Cancel.
  // Unless overridden, the one-file dialog.
  virtual QStringList OpenFiles(QWidget* owner, const QString& title, const QString& folder,
                                const QStringList& filters);
  // A file-save dialog that offers `suggested` (a path); an empty text on
  // Cancel. The dialog asks before a file is replaced.
  virtual QString SaveFile(QWidget* owner, const QString& title, const QString& suggested,
                           const QStringList& filters) = 0;
  // A one-line input box; nullopt on Cancel.
  virtual std::optional<QString> InputBox(QWidget* owner, const QString& prompt,
                                          const QString& title, const QString& initialText) = 0;
  // A box with the buttons Yes and No and no icon; true for Yes.
  virtual bool AskYesNo(QWidget* owner, const QString& title, const QString& text) = 0;
  // A message with an OK button; `details` (may be empty) can be unfolded.
  virtual void Tell(QWidget* owner, const QString& title, const QString& text, MessageKind kind,
                    const QString& details = {}) = 0;

  QString OpenFile(const QString& title, const QString& folder, const QStringList& filters) {
    return OpenFile(nullptr, title, folder, filters);
  }
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& initialText) {
    return InputBox(nullptr, prompt, title, initialText);
  }
  bool AskYesNo(const QString& title, const QString& text) {
    return AskYesNo(nullptr, title, text);
  }
  void Tell(const QString& title, const QString& text, MessageKind kind,
            const QString& details = {}) {
    Tell(nullptr, title, text, kind, details);
  }
};

// The Qt dialogs. While one of them is open the pointer is the normal arrow,
// even when a processing run has set the busy pointer.
class QtPrompts : public Prompts {
 public:
  explicit QtPrompts(QWidget* mainWindow = nullptr) : mainWindow_(mainWindow) {}
  void SetParent(QWidget* mainWindow) { mainWindow_ = mainWindow; }

  using Prompts::AskYesNo;
  using Prompts::InputBox;
  using Prompts::OpenFile;
  using Prompts::Tell;
  QString OpenFile(QWidget* owner, const QString& title, const QString& folder,
                   const QStringList& filters) override;
  QStringList OpenFiles(QWidget* owner, const QString& title, const QString& folder,
                        const QStringList& filters) override;
  QString SaveFile(QWidget* owner, const QString& title, const QString& suggested,
                   const QStringList& filters) override;
  // The box is wide enough to show its whole title.
  std::optional<QString> InputBox(QWidget* owner, const QString& prompt, const QString& title,
                                  const QString& initialText) override;
  bool AskYesNo(QWidget* owner, const QString& title, const QString& text) override;
  void Tell(QWidget* owner, const QString& title, const QString& text, MessageKind kind,
            const QString& details = {}) override;

 private:
  QWidget* Owner(QWidget* owner) const { return owner ? owner : mainWindow_; }
  QWidget* mainWindow_;
};

// The settings commands' input box on top of Prompts. The control file holds
// bytes of the system code page; they are shown decoded, and an answer left
// as shown is handed back as the original bytes, so it compares equal.
class PromptsInputBox : public vireo::InputBoxPrompter {
 public:
  explicit PromptsInputBox(Prompts& prompts) : prompts_(prompts) {}
  std::string Ask(const std::string& prompt, const std::string& title,
                  const std::string& initialText) override;

 private:
  Prompts& prompts_;
};

// Control file bytes as shown in a window (UTF-8, or Windows-1252 where the
// bytes are not UTF-8).
QString TextFromControlBytes(const std::string& bytes);

// The width a window needs to show `title` whole in its title bar, beside
// the window manager's buttons.
int WidthForTitle(const QString& title);

}  // namespace vireo::gui
