#include "view/ViewState.h"

#include <QWidget>

#include "app/Layout.h"
#include "view/SeekMath.h"

namespace view {

void PlaceThumb(QWidget* thumb, float left) {
  ImgSliderLeft = left;
  thumb->move(seekmath::ThumbPixelX(left), layout::px(layout::kImgSlider.top));
}

void ResetState() {
  Dragging = false;
  Elapsed = 0;
  ImgSliderLeft = static_cast<float>(layout::kImgSlider.left);
}

}  // namespace view
