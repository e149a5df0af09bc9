#pragma once

#include <QCursor>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QPoint>

// The window's pictures, compiled in from resources/ (16-colour pictures drawn
// by resources/make_pictures.py). Sizes are in pixels.
namespace pictures {

inline constexpr QPoint kHandHotSpot{15, 13};

// The window icon: a 16 x 16 and a 32 x 32 image, transparent outside the
// disc and the note. (The desktop's themed icon has more sizes.)
QIcon windowIcon();
// The seek thumb, a raised button face of 12 x 21.
QPixmap seekThumb();
// The pointer over the seek bar and its thumb, hot spot at kHandHotSpot.
QCursor handCursor();
// ImageList1's two 16 x 16 images; nothing shows them.
QList<QPixmap> imageList1();

}  // namespace pictures
