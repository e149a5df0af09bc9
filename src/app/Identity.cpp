#include "app/Identity.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

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
  installQtTranslation();
}

bool installQtTranslation() {
  static QTranslator* installed = nullptr;
  if (installed) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_es"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  // Lives as long as the program; QCoreApplication keeps only a pointer.
  installed = translator.release();
  QCoreApplication::installTranslator(installed);
  return true;
}

}  // namespace velmar
