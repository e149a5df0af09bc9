#include <QApplication>
#include <memory>

#include "app/Identity.h"
#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  velmar::setApplicationIdentity();

  // No disc source yet: an empty virtual disc reports no disc.
  frmVelmar window(
      std::make_unique<VirtualCdDevice>(std::vector<TocEntry>{}, VirtualCdDevice::steadyClock()));
  window.show();
  return QApplication::exec();
}
