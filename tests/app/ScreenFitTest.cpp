// Every window on the screen, its buttons in reach: run twice by the test
// command, on a 1280 x 800 screen and on a 1920 x 1080 screen at
// QT_SCALE_FACTOR=2, with the real DNA03 job under a 226-character name.
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QtTest>
#include <optional>

#include "app/MainWindow.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/FieldFiles.h"

using vireo::app::MainWindow;

namespace {

// Where `window` or one of its buttons leaves the screen's room, else empty.
QString OffTheScreen(const QWidget* window) {
  const QRect room = window->screen()->availableGeometry();
  if (!room.contains(window->frameGeometry())) return window->objectName() + " leaves the screen";
  for (const QPushButton* button : window->findChildren<QPushButton*>()) {
    if (button->window() != window || !button->isVisibleTo(window)) continue;
    const QRect at(button->mapTo(window, QPoint()), button->size());
    if (!window->rect().contains(at)) return window->objectName() + ": " + button->text();
  }
  return {};
}

}  // namespace

class ScreenFitTest : public QObject {
  Q_OBJECT

 private:
  std::optional<vireo::testing::WindowFixture> f_;

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() { f_.emplace(); }
  void cleanup() { f_.reset(); }

  void everyWindowAndItsButtonsFit() {
    MainWindow& window = f_->Open();
    window.move(window.screen()->availableGeometry().topLeft());
    const std::string name = std::string(222, 'L') + ".gsi";
    f_->prompts.files.enqueue(QString::fromStdString(
        f_->fixture.AddFieldFile(name, vireo::testing::ReadFile(vireo::testing::kRealGsiJob))));
    f_->prompts.yesNo.enqueue(true);
    window.ProcessCommand();
    QVERIFY(vireo::testing::JobsEnded());
    QVERIFY(window.RlDialog());
    emit window.findChild<QLabel*>("ReportLinks")->linkActivated("checks");
    window.AdjustNetworkCommand();
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             &window, window.RlDialog(), window.ChecksWindow(), window.AdjustNetworkWindow()}) {
      QVERIFY(w->isVisible());
      const QString off = OffTheScreen(w);
      QVERIFY2(off.isEmpty(), qPrintable(off));
    }
    // The list of failed checks opens beside the RL dialog where there is room.
    if (window.screen()->devicePixelRatio() == 1)
      QVERIFY(
          !window.ChecksWindow()->frameGeometry().intersects(window.RlDialog()->frameGeometry()));
  }

  // A place kept from a screen that is gone comes back on this one.
  void aPlaceOffEveryScreenComesBackOnIt() {
    QSettings().setValue("MainWindow/geometry", QRect(5000, 4000, 602, 231));
    QSettings().setValue("AdjustNetwork/place", QRect(-3000, 20, 2400, 1300));
    MainWindow& window = f_->Open();
    window.AdjustNetworkCommand();
    for (const QWidget* w :
         {static_cast<QWidget*>(&window), static_cast<QWidget*>(window.AdjustNetworkWindow())})
      QVERIFY2(OffTheScreen(w).isEmpty(), qPrintable(OffTheScreen(w)));
  }
};

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
