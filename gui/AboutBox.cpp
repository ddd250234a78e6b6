#include "AboutBox.h"

#include <QMessageBox>
#include <QtGlobal>

#include <opencv2/core/version.hpp>

#include "base/Version.h"

QString aboutText() {
  QString qt = QString::fromLatin1(qVersion());
  if (qt != QLatin1String(QT_VERSION_STR)) {
    qt += QString::fromUtf8(" (übersetzt mit %1)").arg(QT_VERSION_STR);
  }
  return QString::fromUtf8(
             "<h3>Panorama-Betrachter</h3>"
             "<p>Version %1</p>"
             "<p>Zeigt sphärische Panoramen aus vielen überlappenden Fotos, auf Wunsch mit "
             "einer Schallkarte darüber.</p>"
             "<p>Verwendet Qt %2 und OpenCV %3.</p>")
      .arg(QString::fromLatin1(kProgramVersion), qt, QString::fromLatin1(CV_VERSION));
}

void showAboutBox(QWidget* parent) {
  QMessageBox::about(parent, QString::fromUtf8("Über den Panorama-Betrachter"), aboutText());
}
