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
  QString kind;  // "OpenFile", "InputBox", "AskYesNo", "Tell"
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
  QQueue<std::optional<QString>> inputs;  // InputBox answers; nullopt = Cancel
  QQueue<bool> yesNo;                     // AskYesNo answers
  std::vector<AskedQuestion> asked;
  QWidget* window = nullptr;  // the main window, for the snapshot
  // Runs while a Yes/No question is open (e.g. to look at the buttons).
  std::function<void()> duringYesNo;

  QString OpenFile(const QString& title, const QString& folder,
                   const QStringList& filters) override {
    AskedQuestion q = Snapshot("OpenFile", title, QString());
    q.initialText = folder;
    q.filters = filters;
    asked.push_back(q);
    return files.isEmpty() ? QString() : files.dequeue();
  }
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& initialText) override {
    AskedQuestion q = Snapshot("InputBox", title, prompt);
    q.initialText = initialText;
    asked.push_back(q);
    return inputs.isEmpty() ? std::nullopt : inputs.dequeue();
  }
  bool AskYesNo(const QString& title, const QString& text) override {
    asked.push_back(Snapshot("AskYesNo", title, text));
    if (duringYesNo) duringYesNo();
    return yesNo.isEmpty() ? false : yesNo.dequeue();
  }
  void Tell(const QString& title, const QString& text, vireo::gui::MessageKind kind,
            const QString& details) override {
    AskedQuestion q = Snapshot("Tell", title, text);
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
  AskedQuestion Snapshot(const char* kind, const QString& title, const QString& text) const {
    AskedQuestion q;
    q.kind = QString::fromLatin1(kind);
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
