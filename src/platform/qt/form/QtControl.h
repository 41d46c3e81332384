#pragma once

#include <QWidget>

#include "platform/Window.h"

namespace xmlpellor {

// Pixels as twips, and back. Twips are rounded to the nearest whole pixel,
// so what a control reports after a move is the pixel it really got.
float ToTwips(int pixels) noexcept;
int ToPixels(float twips) noexcept;

// Places `widget` at a twip position and size. A negative (or not finite)
// width or height is refused with run-time error 5 and the widget keeps its
// place.
void MoveInTwips(QWidget& widget, float left, float top, float width, float height);

// The geometry half of every control, over the widget that shows it. The
// widget belongs to its parent window; this only borrows it.
template <class Interface>
class QtControl : public Interface {
 public:
  explicit QtControl(QWidget& widget) : m_widget(widget) {}

  float Left() const override { return ToTwips(m_widget.x()); }
  float Top() const override { return ToTwips(m_widget.y()); }
  float Width() const override { return ToTwips(m_widget.width()); }
  float Height() const override { return ToTwips(m_widget.height()); }
  void Move(float left, float top, float width, float height) override {
    MoveInTwips(m_widget, left, top, width, height);
  }

 protected:
  QWidget& m_widget;
};

}  // namespace xmlpellor
