#include "platform/linux/group_box_frame.h"

#include <QtWidgets/qdrawutil.h>
#include <QPainter>
#include <algorithm>

namespace snapwick::linux {

void GroupBoxFrame::SetCaption(const QString& caption) {
  caption_ = caption;
  // Painted by hand, so a screen reader learns the caption only from here,
  // as it does from a Windows group box's text.
  setAccessibleName(caption);
  update();
}

void GroupBoxFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const QRect edge = rect().adjusted(0, metrics.height() / 2, 0, 0);
  qDrawShadeRect(&painter, edge, palette(), /*sunken=*/true, /*lineWidth=*/1);
  if (caption_.isEmpty()) return;
  const int average = metrics.averageCharWidth();
  const int padding = std::max(1, average / 3);
  QRect text = metrics.boundingRect(caption_);
  text.moveTo(average + padding, 0);
  text.setHeight(metrics.height());
  painter.fillRect(text.adjusted(-padding, 0, padding, 0), palette().color(backgroundRole()));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption_);
}

}  // namespace snapwick::linux
