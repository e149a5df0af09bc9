#include "app/Identity.h"

#include <QApplication>

#include "app/Pictures.h"

namespace velmar {

QString versionText() {
  return QStringLiteral("%1.%2")
      .arg(VELMAR_VERSION_MAJOR)
      .arg(VELMAR_VERSION_MINOR, 2, 10, QLatin1Char('0'));
}

void setApplicationIdentity() {
  QCoreApplication::setApplicationName(QStringLiteral("Velmar"));
  QCoreApplication::setApplicationVersion(versionText());
  QGuiApplication::setDesktopFileName(QLatin1String(kDesktopFileName));
  QApplication::setWindowIcon(pictures::windowIcon());
}

}  // namespace velmar
