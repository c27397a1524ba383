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
    // An installed program (under /opt or /usr) never writes into its own
    // folder, though root may write there.
    const char* rows[][6] = {
        {"--home wins", "/tmp/h", "/opt/v/bin", "", "/u/V", "/tmp/h"},
        {"writable portable copy", "", "/home/a/v", "w", "/u/V", "/home/a/v"},
        {"read-only portable copy", "", "/home/a/v", "", "/u/V", "/u/V"},
        {"portable, no user folder known", "", "/home/a/v", "", "", "/home/a/v"},
        {"installed, writable for root", "", "/opt/v/bin", "w", "/root/V", "/root/V"},
        {"installed under /usr/local", "", "/usr/local/bin", "w", "/u/V", "/u/V"},
        {"installed, no user folder known", "", "/opt/v/bin", "w", "", ""},
        {"a folder named like one", "", "/optical/bin", "w", "/u/V", "/optical/bin"},
        {"a build under /usr/src", "", "/usr/src/v/build", "w", "/u/V", "/usr/src/v/build"},
    };
    for (const auto& r : rows)
      QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]) << (*r[3] == 'w') << QString(r[4])
                          << QString(r[5]);
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
