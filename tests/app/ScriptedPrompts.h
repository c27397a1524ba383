// Prompts answered from a script, for the window tests: each question takes
// the next queued answer and is recorded together with the window's state
// at the moment it is asked (buttons, enabled state, busy pointer).
#pragma once

#include <QApplication>
#include <QCursor>
#include <QPushButton>
#include <QQueue>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/MainWindow.h"
#include "gui/Job.h"
#include "gui/Prompts.h"
#include "tests/support/FieldFiles.h"

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
    Record("OpenFile", owner, title, {}, folder, filters);
    return files.isEmpty() ? QString() : files.dequeue();
  }
  QString SaveFile(QWidget* owner, const QString& title, const QString& suggested,
                   const QStringList& filters) override {
    Record("SaveFile", owner, title, {}, suggested, filters);
    return saveFiles.isEmpty() ? QString() : saveFiles.dequeue();
  }
  std::optional<QString> InputBox(QWidget* owner, const QString& prompt, const QString& title,
                                  const QString& initialText) override {
    Record("InputBox", owner, title, prompt, initialText);
    return inputs.isEmpty() ? std::nullopt : inputs.dequeue();
  }
  bool AskYesNo(QWidget* owner, const QString& title, const QString& text) override {
    Record("AskYesNo", owner, title, text);
    if (duringYesNo) duringYesNo();
    return yesNo.isEmpty() ? false : yesNo.dequeue();
  }
  void Tell(QWidget* owner, const QString& title, const QString& text, vireo::gui::MessageKind kind,
            const QString& details) override {
    AskedQuestion& q = Record("Tell", owner, title, text);
    q.messageKind = kind;
    q.details = details;
  }

  std::vector<AskedQuestion> Of(const QString& kind) const {
    std::vector<AskedQuestion> found;
    for (const auto& q : asked)
      if (q.kind == kind) found.push_back(q);
    return found;
  }

 private:
  AskedQuestion& Record(const char* kind, QWidget* owner, const QString& title, const QString& text,
                        const QString& initialText = {}, const QStringList& filters = {}) {
    AskedQuestion& q = asked.emplace_back();
    q.kind = QString::fromLatin1(kind);
    q.owner = owner;
    q.title = title;
    q.text = text;
    q.initialText = initialText;
    q.filters = filters;
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

// Waits until no window's job (a run, an RL or network adjustment) runs,
// and its end has been shown.
inline bool JobsEnded(int timeoutMs = 30000) {
  return QTest::qWaitFor(
      [] {
        for (QWidget* w : QApplication::allWidgets())
          if (auto* bar = qobject_cast<vireo::gui::JobBar*>(w); bar && bar->Running()) return false;
        return true;
      },
      timeoutMs);
}

// What each test function of a window test starts from: an application
// folder, scripted prompts, and the main window over them once opened.
struct WindowFixture {
  AppFixture fixture;
  ScriptedPrompts prompts;
  std::unique_ptr<app::MainWindow> window;
  app::MainWindow& Open() {
    window = std::make_unique<app::MainWindow>(fixture.app, prompts);
    prompts.window = window.get();
    window->show();
    return *window;
  }
};

}  // namespace vireo::testing
