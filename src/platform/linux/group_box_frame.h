#pragma once
// A frame drawn the way Windows draws a group box, whatever Qt style is in
// use: an etched edge whose top line runs through the middle of the
// caption, the caption on the frame's own background.

#include <QString>
#include <QWidget>

namespace snapwick::linux {

class GroupBoxFrame final : public QWidget {
 public:
  GroupBoxFrame(const QString& caption, QWidget* parent) : QWidget(parent) { SetCaption(caption); }

  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};

}  // namespace snapwick::linux
