#include <QApplication>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmar"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));

  // No disc source yet: an empty virtual disc reports no disc.
  frmVelmar window(
      std::make_unique<VirtualCdDevice>(std::vector<TocEntry>{}, VirtualCdDevice::steadyClock()));
  window.show();
  return QApplication::exec();
}
