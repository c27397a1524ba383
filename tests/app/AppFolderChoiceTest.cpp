// Which folder the program uses, and the seeding of the user data folder.
#include <sys/resource.h>

#include <QtTest>
#include <csignal>
#include <filesystem>

#include "common/AppFolderChoice.h"
#include "common/Error.h"
#include "tests/support/TempFolder.h"

using namespace vireo;
using vireo::testing::ListFolder;
using vireo::testing::ReadFile;
using vireo::testing::TempFolder;
using vireo::testing::WriteFile;

namespace {

// An installed program folder: control file, template and two samples.
void FillInstallFolder(const TempFolder& install) {
  WriteFile(install / "ctlini.dat", "E4\r\n");
  WriteFile(install / "Existing.xlsx", "template");
  std::filesystem::create_directory(install / "Field Data");
  WriteFile(install / "Field Data/A.dat", "a");
  WriteFile(install / "Field Data/B.dat", "b");
}

// Writes past `bytes` fail in this process as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    const rlimit limit{bytes, old_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

 private:
  rlimit old_{};
};

}  // namespace

class AppFolderChoiceTest : public QObject {
  Q_OBJECT

 private slots:
  void rule_data() {
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("executable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("userData");
    QTest::addColumn<QString>("chosen");  // empty: refused
    QTest::newRow("--home wins") << "/tmp/h"
                                 << "/opt/v/bin" << false << "/u/Vireo"
                                 << "/tmp/h";
    QTest::newRow("writable portable copy") << ""
                                            << "/home/ann/v/bin" << true << "/u/Vireo"
                                            << "/home/ann/v/bin";
    QTest::newRow("read-only portable copy") << ""
                                             << "/home/ann/v/bin" << false << "/u/Vireo"
                                             << "/u/Vireo";
    QTest::newRow("portable, no user folder known") << ""
                                                    << "/home/ann/v/bin" << false << ""
                                                    << "/home/ann/v/bin";
    // Installed for every user: root may write there, but the program must not.
    QTest::newRow("installed, writable for root") << ""
                                                  << "/opt/v/bin" << true << "/root/Vireo"
                                                  << "/root/Vireo";
    QTest::newRow("installed under /usr/local") << ""
                                                << "/usr/local/bin" << true << "/u/Vireo"
                                                << "/u/Vireo";
    QTest::newRow("installed, no user folder known") << ""
                                                     << "/opt/v/bin" << true << ""
                                                     << "";
    QTest::newRow("a folder named like one") << ""
                                             << "/optical/bin" << true << "/u/Vireo"
                                             << "/optical/bin";
    QTest::newRow("a build under /usr/src") << ""
                                            << "/usr/src/v/build" << true << "/u/Vireo"
                                            << "/usr/src/v/build";
  }
  void rule() {
    QFETCH(QString, home);
    QFETCH(QString, executable);
    QFETCH(bool, writable);
    QFETCH(QString, userData);
    QFETCH(QString, chosen);
    try {
      QCOMPARE(QString::fromStdString(ChooseAppFolderRoot(
                   home.toStdString(), executable.toStdString(), writable, userData.toStdString())),
               chosen);
    } catch (const Error& e) {
      QVERIFY2(chosen.isEmpty(), e.what());
      QVERIFY(std::string(e.what()).find("--home") != std::string::npos);
    }
  }

  void userDataFolder() {
    QCOMPARE(UserDataFolder("/x/data", "/home/ann"), std::string("/x/data/Vireo"));
    QCOMPARE(UserDataFolder("relative", "/home/ann"), std::string("/home/ann/.local/share/Vireo"));
    QCOMPARE(UserDataFolder(nullptr, "/home/ann"), std::string("/home/ann/.local/share/Vireo"));
    QCOMPARE(UserDataFolder(nullptr, nullptr), std::string());
  }

  void seedingCopiesOnlyWhatIsMissing() {
    TempFolder install, user;
    FillInstallFolder(install);
    const std::string root = user / "Vireo";
    std::filesystem::create_directories(root + "/Field Data");
    WriteFile(root + "/ctlini.dat", "E10\r\n");  // the surveyor's own settings
    WriteFile(root + "/Field Data/A.dat", "mine");

    SeedAppFolder(install.Path(), root);
    QCOMPARE(ReadFile(root + "/ctlini.dat"), std::string("E10\r\n"));
    QCOMPARE(ReadFile(root + "/Existing.xlsx"), std::string("template"));
    QCOMPARE(ListFolder(root + "/Field Data"), std::string("A.dat;B.dat;"));
    QCOMPARE(ReadFile(root + "/Field Data/A.dat"), std::string("mine"));
  }

  void aCopyCutShortLeavesNoPartialFile() {
    TempFolder install, user;
    FillInstallFolder(install);
    const std::string root = user / "Vireo";
    {
      FileSizeLimit full(5);  // the template does not fit
      QVERIFY_THROWS_EXCEPTION(vireo::Error, SeedAppFolder(install.Path(), root));
    }
    QCOMPARE(ListFolder(root), std::string("Field Data;ctlini.dat;"));

    // A sample that cannot be copied does not stop the start; it is tried
    // again next time.
    WriteFile(install / "Field Data/A.dat", std::string(100, 'a'));
    {
      FileSizeLimit full(50);
      SeedAppFolder(install.Path(), root);
    }
    QCOMPARE(ReadFile(root + "/Existing.xlsx"), std::string("template"));
    QCOMPARE(ListFolder(root + "/Field Data"), std::string("B.dat;"));
    QCOMPARE(ReadFile(root + "/Field Data/B.dat"), std::string("b"));
  }
};

QTEST_GUILESS_MAIN(AppFolderChoiceTest)
#include "AppFolderChoiceTest.moc"
