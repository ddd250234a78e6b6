// Linked into every widget test: before anything reads QSettings, they are
// pointed at a temporary directory of this test run, so that no test reads
// or writes the user's remembered choices, and every run starts without any.
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

namespace {

void useTemporarySettings() {
  static QTemporaryDir directory;
  QCoreApplication::setOrganizationName("panorama-viewer-test");
  QCoreApplication::setApplicationName(QCoreApplication::applicationName() + "-test");
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    QSettings::setPath(format, QSettings::UserScope, directory.path() + "/user");
    QSettings::setPath(format, QSettings::SystemScope, directory.path() + "/system");
  }
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(useTemporarySettings)
