#include "app/Pictures.h"

#include <QBitmap>

// The resources live in a static library: reference them so the linker keeps
// them. Must be called outside any namespace.
static void initPictureResources() {
  Q_INIT_RESOURCE(velmar);
}

namespace pictures {
namespace {
QPixmap load(const char* name) {
  static const bool ready = (initPictureResources(), true);
  (void)ready;
  return QPixmap(QStringLiteral(":/velmar/") + QLatin1String(name));
}
}  // namespace

QIcon windowIcon() {
  QIcon icon;
  for (const char* name : {"velmar-16.png", "velmar-32.png"}) icon.addPixmap(load(name));
  return icon;
}

QPixmap seekThumb() {
  return load("seek-thumb.png");
}

QCursor handCursor() {
  return QCursor(load("hand-cursor.png"), kHandHotSpot.x(), kHandHotSpot.y());
}

QList<QPixmap> imageList1() {
  return {load("imagelist-1.png"), load("imagelist-2.png")};
}

}  // namespace pictures
