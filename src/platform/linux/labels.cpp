#include "platform/linux/labels.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>

namespace snapwick::linux {

void ElidedLabel::SetFullText(const QString& text) {
  fullText_ = text;
  Elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) Elide();
}

void ElidedLabel::Elide() {
  const int room = contentsRect().width();
  setText(fontMetrics().elidedText(fullText_, Qt::ElideMiddle, room));
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click && onClick_) onClick_();
}

}  // namespace snapwick::linux
