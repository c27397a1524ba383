// Prompts answered from a script, for the window tests: each question takes
// the next queued answer and is recorded together with the window's state
// at the moment it is asked (buttons, enabled state, busy pointer).
#pragma once

#include <QApplication>
#include <QCursor>
#include <QPushButton>
#include <QQueue>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "gui/Prompts.h"

namespace vireo::testing {

struct AskedQuestion {
  QString kind;              // "OpenFile", "SaveFile", "InputBox", "AskYesNo", "Tell"
  QWidget* owner = nullptr;  // the window asking; null for the main window
  QString title;
  QString text;         // prompt or message
  QString initialText;  // input box: initial text; file dialog: folder
  QStringList filters;
  vireo::gui::MessageKind messageKind = vireo::gui::MessageKind::Information;
  QString details;
  // The main window at the moment of the question.
  bool windowEnabled = false;
  bool startProcessEnabled = false;
  bool exitProgramEnabled = false;
  std::optional<Qt::CursorShape> overrideCursor;
};

class ScriptedPrompts : public vireo::gui::Prompts {
 public:
  QQueue<QString> files;                  // OpenFile answers; "" = Cancel
  QQueue<QString> saveFiles;              // SaveFile answers; "" = Cancel
  QQueue<std::optional<QString>> inputs;  // InputBox answers; nullopt = Cancel
  QQueue<bool> yesNo;                     // AskYesNo answers
  std::vector<AskedQuestion> asked;
  QWidget* window = nullptr;  // the main window, for the snapshot
  // Runs while a Yes/No question is open (e.g. to look at the buttons).
  std::function<void()> duringYesNo;

  using Prompts::AskYesNo;
  using Prompts::InputBox;
  using Prompts::OpenFile;
  using Prompts::Tell;

  QString OpenFile(QWidget* owner, const QString& title, const QString& folder,
                   const QStringList& filters) override {
    AskedQuestion q = Snapshot("OpenFile", owner, title, QString());
    q.initialText = folder;
    q.filters = filters;
    asked.push_back(q);
    return files.isEmpty() ? QString() : files.dequeue();
  }
  QString SaveFile(QWidget* owner, const QString& title, const QString& suggested,
                   const QStringList& filters) override {
    AskedQuestion q = Snapshot("SaveFile", owner, title, QString());
    q.initialText = suggested;
    q.filters = filters;
    asked.push_back(q);
    return saveFiles.isEmpty() ? QString() : saveFiles.dequeue();
  }
  std::optional<QString> InputBox(QWidget* owner, const QString& prompt, const QString& title,
                                  const QString& initialText) override {
    AskedQuestion q = Snapshot("InputBox", owner, title, prompt);
    q.initialText = initialText;
    asked.push_back(q);
    return inputs.isEmpty() ? std::nullopt : inputs.dequeue();
  }
  bool AskYesNo(QWidget* owner, const QString& title, const QString& text) override {
    asked.push_back(Snapshot("AskYesNo", owner, title, text));
    if (duringYesNo) duringYesNo();
    return yesNo.isEmpty() ? false : yesNo.dequeue();
  }
  void Tell(QWidget* owner, const QString& title, const QString& text, vireo::gui::MessageKind kind,
            const QString& details) override {
    AskedQuestion q = Snapshot("Tell", owner, title, text);
    q.messageKind = kind;
    q.details = details;
    asked.push_back(q);
  }

  std::vector<AskedQuestion> Of(const QString& kind) const {
    std::vector<AskedQuestion> found;
    for (const auto& q : asked)
      if (q.kind == kind) found.push_back(q);
    return found;
  }

 private:
  AskedQuestion Snapshot(const char* kind, QWidget* owner, const QString& title,
                         const QString& text) const {
    AskedQuestion q;
    q.kind = QString::fromLatin1(kind);
    q.owner = owner;
    q.title = title;
    q.text = text;
    if (window) {
      q.windowEnabled = window->isEnabled();
      if (auto* b = window->findChild<QPushButton*>(QStringLiteral("StartProcess")))
        q.startProcessEnabled = b->isEnabled();
      if (auto* b = window->findChild<QPushButton*>(QStringLiteral("ExitProgram")))
        q.exitProgramEnabled = b->isEnabled();
    }
    if (const QCursor* c = QApplication::overrideCursor()) q.overrideCursor = c->shape();
    return q;
  }
};

}  // namespace vireo::testing
