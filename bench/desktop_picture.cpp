// A desktop-like picture, the same pixels on every run and machine for a
// given size: a wallpaper, windows with title bars, lines of small glyphs,
// a terminal and a photo-like area, so that every screenshot tool in the
// benchmark compresses the same mix of flat colour, sharp edges and smooth
// detail a real screen has.

#include "desktop_picture.h"

#include <algorithm>
#include <cmath>

namespace {

// A generator of our own so that the picture does not depend on the
// standard library's.
class Random {
 public:
  explicit Random(std::uint64_t salt) : state_(salt) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 16);
  }
  int Upto(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

 private:
  std::uint64_t state_;
};

struct Rgb {
  int r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width), height_(height), bgrx_(static_cast<std::size_t>(width) * height * 4) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Bgrx() const { return bgrx_; }

  void Put(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = &bgrx_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    p[0] = static_cast<std::uint8_t>(std::clamp(c.b, 0, 255));
    p[1] = static_cast<std::uint8_t>(std::clamp(c.g, 0, 255));
    p[2] = static_cast<std::uint8_t>(std::clamp(c.r, 0, 255));
    p[3] = 0;
  }
  void Fill(int x, int y, int w, int h, Rgb c) {
    for (int j = std::max(y, 0); j < std::min(y + h, height_); ++j) {
      for (int i = std::max(x, 0); i < std::min(x + w, width_); ++i) Put(i, j, c);
    }
  }
  void VerticalGradient(int x, int y, int w, int h, Rgb top, Rgb bottom) {
    for (int j = 0; j < h; ++j) {
      const Rgb c{top.r + (bottom.r - top.r) * j / std::max(h - 1, 1),
                  top.g + (bottom.g - top.g) * j / std::max(h - 1, 1),
                  top.b + (bottom.b - top.b) * j / std::max(h - 1, 1)};
      Fill(x, y + j, w, 1, c);
    }
  }
  void Frame(int x, int y, int w, int h, Rgb c) {
    Fill(x, y, w, 1, c);
    Fill(x, y + h - 1, w, 1, c);
    Fill(x, y, 1, h, c);
    Fill(x + w - 1, y, 1, h, c);
  }

 private:
  int width_, height_;
  std::vector<std::uint8_t> bgrx_;
};

// Glyphs of 5x8 pixels drawn from the generator: text as an encoder sees
// it, without depending on installed fonts.
class Glyphs {
 public:
  explicit Glyphs(Random& random) {
    for (auto& glyph : glyphs_) {
      for (auto& row : glyph) row = static_cast<std::uint8_t>(random.Next() & 0x1F);
      glyph[0] = glyph[7] = 0;  // the gap between lines
    }
  }
  // Returns the x after the text.
  int Line(Canvas& canvas, int x, int y, int maxX, Random& random, Rgb ink) const {
    while (x + 6 < maxX) {
      const int word = 2 + random.Upto(8);
      for (int k = 0; k < word && x + 6 < maxX; ++k, x += 6) {
        const auto& glyph = glyphs_[static_cast<std::size_t>(random.Upto(kCount))];
        for (int j = 0; j < 8; ++j) {
          for (int i = 0; i < 5; ++i) {
            if (glyph[static_cast<std::size_t>(j)] >> i & 1) canvas.Put(x + i, y + j, ink);
          }
        }
      }
      x += 6;
      if (random.Upto(9) == 0) break;  // a short line
    }
    return x;
  }

 private:
  static constexpr int kCount = 64;
  std::uint8_t glyphs_[kCount][8]{};
};

// Smooth detail at several scales, as in a photograph.
double Noise(int x, int y, int cell, std::uint32_t salt) {
  auto lattice = [&](int i, int j) {
    std::uint32_t h = static_cast<std::uint32_t>(i) * 374761393u +
                      static_cast<std::uint32_t>(j) * 668265263u + salt * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
  };
  const int i = x / cell, j = y / cell;
  const double fx = static_cast<double>(x % cell) / cell, fy = static_cast<double>(y % cell) / cell;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double top = lattice(i, j) + (lattice(i + 1, j) - lattice(i, j)) * sx;
  const double bottom = lattice(i, j + 1) + (lattice(i + 1, j + 1) - lattice(i, j + 1)) * sx;
  return top + (bottom - top) * sy;
}

void Photo(Canvas& canvas, int x0, int y0, int w, int h) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double sky = static_cast<double>(y) / h;
      const double n = 0.5 * Noise(x, y, 96, 1) + 0.3 * Noise(x, y, 24, 2) +
                       0.15 * Noise(x, y, 6, 3) + 0.05 * Noise(x, y, 2, 4);
      const bool land = sky > 0.45 + 0.25 * (Noise(x, 0, 128, 5) - 0.5);
      Rgb c = land ? Rgb{static_cast<int>(60 + 90 * n), static_cast<int>(90 + 100 * n),
                         static_cast<int>(40 + 50 * n)}
                   : Rgb{static_cast<int>(110 + 80 * n * sky), static_cast<int>(150 + 60 * n),
                         static_cast<int>(210 + 40 * n)};
      canvas.Put(x0 + x, y0 + y, c);
    }
  }
}

void DrawWindow(Canvas& canvas, const Glyphs& glyphs, Random& random, int x, int y, int w, int h,
                bool terminal) {
  canvas.Fill(x + 4, y + 4, w, h, {40, 40, 48});  // shadow
  canvas.VerticalGradient(x, y, w, 26, {64, 110, 190}, {36, 70, 140});
  glyphs.Line(canvas, x + 10, y + 9, x + w / 2, random, {255, 255, 255});
  for (int k = 0; k < 3; ++k) canvas.Fill(x + w - 22 - 20 * k, y + 6, 14, 14, {210, 210, 220});
  const Rgb paper = terminal ? Rgb{18, 18, 22} : Rgb{246, 246, 242};
  const Rgb ink = terminal ? Rgb{120, 230, 120} : Rgb{30, 30, 40};
  canvas.Fill(x, y + 26, w, h - 26, paper);
  canvas.Frame(x, y, w, h, {90, 90, 100});
  if (!terminal) {  // a menu bar and a tool bar
    canvas.Fill(x + 1, y + 26, w - 2, 22, {228, 228, 224});
    for (int i = x + 8; i + 60 < x + w; i += 70) canvas.Fill(i, y + 52, 60, 22, {200, 210, 225});
  }
  for (int line = y + (terminal ? 34 : 84); line + 10 < y + h; line += 12) {
    glyphs.Line(canvas, x + 10, line, x + w - 10, random, ink);
  }
}

}  // namespace

std::vector<std::uint8_t> DesktopPicture(int width, int height) {
  Random random(20261207);
  Canvas canvas(width, height);
  canvas.VerticalGradient(0, 0, width, height, {20, 60, 110}, {90, 40, 120});
  const Glyphs glyphs(random);
  for (int k = 0; k < 8; ++k) {  // desktop icons and their names
    canvas.Fill(24, 24 + k * 90, 48, 48, {200 - 15 * k, 160, 60 + 20 * k});
    glyphs.Line(canvas, 18, 78 + k * 90, 80, random, {255, 255, 255});
  }
  // Sizes in proportion to the screen, so that 4K is the same desktop.
  const auto sx = [&](double f) { return static_cast<int>(f * width); };
  const auto sy = [&](double f) { return static_cast<int>(f * height); };
  DrawWindow(canvas, glyphs, random, sx(0.08), sy(0.06), sx(0.46), sy(0.55), false);
  DrawWindow(canvas, glyphs, random, sx(0.50), sy(0.10), sx(0.44), sy(0.42), true);
  DrawWindow(canvas, glyphs, random, sx(0.30), sy(0.45), sx(0.52), sy(0.48), false);
  Photo(canvas, sx(0.33), sy(0.55), sx(0.46), sy(0.34));
  canvas.Fill(0, height - 36, width, 36, {32, 32, 38});  // a task bar
  glyphs.Line(canvas, 12, height - 22, sx(0.4), random, {220, 220, 220});

  return canvas.Bgrx();
}
