// The Qt input box shows its whole title; a desktop opener that fails or is
// missing is reported rather than passed over.
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "gui/Desktop.h"
#include "gui/Prompts.h"
#include "tests/support/TempFolder.h"

using vireo::testing::TempFolder;
using vireo::testing::WriteFile;

// What the desktop's opener reports for `path` within `ms`; "none" when
// nothing.
QString OpenerFailure(const QString& path, int ms = 5000) {
  QString cause = "none";
  vireo::gui::DesktopOpener()(QUrl::fromLocalFile(path), [&](const QString& c) { cause = c; });
  (void)QTest::qWaitFor([&] { return cause != "none"; }, ms);
  return cause;
}

class PromptsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void inputBoxShowsItsWholeTitleInFrontOfItsOwner() {
    QWidget owner;
    owner.show();
    QWidget* parent = nullptr;
    int width = 0;
    QTimer poll;
    // A name pasted with a line break is refused in front of the box, which
    // stays open with the text kept.
    QStringList kept;
    QTimer refusals;  // a timer does not fire again while its own slot waits
    connect(&refusals, &QTimer::timeout, [&] {
      if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        message->accept();
    });
    refusals.start(10);
    connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        parent = box->parentWidget();
        width = box->width();
        kept << box->textValue();
        box->setTextValue(kept.size() == 1 ? "North\nSurvey" : "North Survey");
        box->accept();
      }
    });
    poll.start(10);
    QCOMPARE(vireo::gui::QtPrompts().InputBox(&owner, "Name:", "Company Name Input", "old"),
             std::optional<QString>("North Survey"));
    QCOMPARE(kept, QStringList({"old", "North\nSurvey"}));
    QCOMPARE(parent, &owner);
    QVERIFY(width >= vireo::gui::WidthForTitle("Company Name Input"));
  }

  // xdg-open missing, its failure statuses, and one that takes the file.
  void aFailingOrMissingOpenerIsReported() {
    TempFolder bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.Path()));
    const QString file = QString::fromStdString(bin / "xdg-open");
    QCOMPARE(OpenerFailure(file), "this desktop has no opener for documents (xdg-open is missing)");
    for (const auto& [script, cause] :
         {std::pair{"exit 4", "no program on this desktop opened it"},
          std::pair{"exit 3", "the desktop's opener misses a program it needs"},
          std::pair{"echo \"$1\" >\"$0.opened\"", "none"}}) {
      WriteFile(file.toStdString(), std::string("#!/bin/sh\n") + script + "\n");
      std::filesystem::permissions(file.toStdString(), std::filesystem::perms::owner_all);
      QCOMPARE(OpenerFailure(file, cause == std::string("none") ? 1500 : 10000), QString(cause));
    }
    QCOMPARE(vireo::testing::ReadFile(bin / "xdg-open.opened"), file.toStdString() + "\n");
    qputenv("PATH", path);
  }
};

QTEST_MAIN(PromptsTest)
#include "PromptsTest.moc"
