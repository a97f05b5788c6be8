#pragma once
// The two kinds of label that Qt's QLabel does not make by itself.

#include <QLabel>
#include <QString>
#include <functional>

namespace snapwick::linux {

// Shows a text too long for its width shortened in the middle with an
// ellipsis, so that both the start and the end of a path stay in view; the
// whole text stays the label's text.
class ElidedLabel final : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent) : QLabel(parent) {}

  void SetFullText(const QString& text);
  const QString& FullText() const { return fullText_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Elide();

  QString fullText_;
};

// A label that is clicked like a link: a click is a press and a release of
// the left button over it.
class ClickableLabel final : public QLabel {
 public:
  ClickableLabel(QWidget* parent, std::function<void()> onClick)
      : QLabel(parent), onClick_(std::move(onClick)) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::function<void()> onClick_;
  bool pressed_ = false;
};

}  // namespace snapwick::linux
