// vireo: the Qt program. It starts by creating the main window.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <exception>
#include <stdexcept>

#include "app/MainWindow.h"
#include "app/ScreenshotDemo.h"
#include "common/AppFolderChoice.h"
#include "gui/Prompts.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The remembered window places live in ~/.config/Vireo/Vireo.conf.
  QApplication::setOrganizationName(QStringLiteral("Vireo"));
  QApplication::setApplicationName(QStringLiteral("Vireo"));
  QApplication::setApplicationVersion(QStringLiteral(VIREO_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Vireo: reduction of double-run levelling from DiNi M5 or Leica GSI field "
                     "data files, with a least-squares network adjustment."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption home(QStringLiteral("home"),
                                QStringLiteral("Use DIR as the application folder."),
                                QStringLiteral("DIR"));
  QCommandLineOption demo(QStringLiteral("screenshot-demo"),
                          QStringLiteral("Save pictures of the windows into DIR."),
                          QStringLiteral("DIR"));
  demo.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(home);
  parser.addOption(demo);
  parser.process(application);

  vireo::AppFolder app;
  try {
    // An empty --home would quietly mean the program's own folder.
    if (parser.isSet(home) && parser.value(home).isEmpty())
      throw std::invalid_argument(
          "--home needs a folder; leave it out to use the program's folder");
    app = vireo::ResolveAppFolder(parser.value(home).toStdString());
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Vireo"), QString::fromStdString(e.what()));
    return 1;
  }
  if (parser.isSet(demo)) return vireo::app::RunScreenshotDemo(app, parser.value(demo));

  vireo::gui::QtPrompts prompts;
  vireo::app::MainWindow window(app, prompts);
  prompts.SetParent(&window);
  window.show();
  return application.exec();
}
