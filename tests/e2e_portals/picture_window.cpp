// A known picture over the whole screen, for the scenarios to find in what
// the portals hand over: a grid of 8x2 flat colour blocks (the same table
// is in pictures.py), all different, so that a frame that is shifted,
// scaled, mirrored or has its channels swapped fails the check.
//
//   snapwick_picture_window [animate FPS]
// With "animate", a white square also crosses the screen, moved FPS times
// a second: a screen that never rests, for the figures of what a changing
// screen costs.

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr QRgb kBlocks[2][8] = {
    {0xd01010, 0x10d010, 0x1010d0, 0xd0d010, 0xd010d0, 0x10d0d0, 0x805020, 0x208050},
    {0x502080, 0xf08040, 0x40f080, 0x8040f0, 0x303030, 0xa0a0a0, 0xe0e0e0, 0x601030}};

class PictureWindow : public QRasterWindow {
 public:
  void Animate(int framesPerSecond) {
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, this, [this] {
      ++step_;
      update();
    });
    timer->start(1000 / framesPerSecond);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    for (int row = 0; row < 2; ++row) {
      for (int column = 0; column < 8; ++column) {
        const QRect block(column * w / 8, row * h / 2, (column + 1) * w / 8 - column * w / 8,
                          (row + 1) * h / 2 - row * h / 2);
        painter.fillRect(block, QColor(kBlocks[row][column]));
      }
    }
    if (step_ > 0) {
      const int side = h / 8;
      painter.fillRect((step_ * 16) % (w - side), (h - side) / 2, side, side, Qt::white);
    }
    if (!reported_) {
      reported_ = true;
      std::printf("painted %d %d\n", w, h);
      std::fflush(stdout);
    }
  }

 private:
  bool reported_ = false;
  int step_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  PictureWindow window;
  window.setTitle(QStringLiteral("snapwick test picture"));
  window.showFullScreen();
  if (argc == 3 && std::strcmp(argv[1], "animate") == 0 && std::atoi(argv[2]) > 0) {
    window.Animate(std::atoi(argv[2]));
  }
  return app.exec();
}
