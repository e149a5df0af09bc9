#pragma once

#include <QRect>
#include <cstdint>

// The window's geometry in twips (1/1440 inch), measured from the top-left
// corner of the client area; Label4 is measured from picLED's inner area.
// At 96 dots per inch one pixel is 15 twips. Every widget is placed from
// these values and nothing else.
namespace layout {

inline constexpr int kTwipsPerPixel = 15;

// Twips to whole pixels (positions and sizes here are multiples of 15).
constexpr int px(int twips) {
  return twips / kTwipsPerPixel;
}
// Pixels to twips, for mouse coordinates.
constexpr float twips(float pixels) {
  return pixels * kTwipsPerPixel;
}

struct TwipRect {
  int left, top, width, height;
  constexpr QRect pixels() const { return QRect(px(left), px(top), px(width), px(height)); }
};

struct TwipLine {
  int x1, y1, x2, y2;
};

inline constexpr int kClientWidth = 4065;   // 271 px
inline constexpr int kClientHeight = 2010;  // 134 px

inline constexpr TwipRect kList1{120, 720, 2940, 315};
inline constexpr TwipRect kSlider1{3240, 120, 615, 975};
inline constexpr TwipRect kPicLED{120, 120, 2940, 525};
inline constexpr TwipRect kLabel4{360, 120, 2055, 255};  // inside picLED
inline constexpr TwipRect kMMControl1{240, 1560, 3510, 375};
inline constexpr TwipRect kLblSlider{0, 1200, 4215, 300};
inline constexpr TwipRect kImgSlider{3750, 1200, 180, 315};
inline constexpr TwipRect kLabel1{3840, 240, 135, 855};

inline constexpr TwipLine kLine1{120, 1320, 3900, 1320};
inline constexpr TwipLine kLine2{135, 1335, 3900, 1335};
inline constexpr TwipLine kLine3{135, 1350, 3900, 1350};

inline constexpr int kTimerIntervalMs = 200;

}  // namespace layout
