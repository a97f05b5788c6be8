#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "form/layout.h"

namespace snapwick::layout {
namespace {

bool Overlap(const PixelRect& a, const PixelRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

TEST(Layout, At96Dpi_ClientAreaAndApplyButton) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 463);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 210);
  EXPECT_EQ(PixelsInWindow(ControlById(ControlId::ApplyButton), 96),
            (PixelRect{320, 176, 137, 25}));
}

TEST(Layout, ControlsInsideFrames_WindowPositions) {
  const std::pair<ControlId, TwipsRect> expected[] = {
      {ControlId::SoundCheck, {6480, 1440, 0, 0}},    {ControlId::HotkeyBox, {2640, 1470, 0, 0}},
      {ControlId::QualityCombo, {2640, 1970, 0, 0}},  {ControlId::SoundLabel, {4200, 1560, 0, 0}},
      {ControlId::HotkeyLabel, {240, 1560, 0, 0}},    {ControlId::QualityLabel, {240, 2040, 0, 0}},
      {ControlId::ShotFolderLabel, {240, 480, 0, 0}},
  };
  for (const auto& [id, r] : expected) {
    const TwipsRect w = InWindow(ControlById(id));
    EXPECT_EQ(w.left, r.left) << ControlById(id).name;
    EXPECT_EQ(w.top, r.top) << ControlById(id).name;
  }
}

TEST(Layout, VisibleControls_DoNotOverlapAndStayInsideTheWindow) {
  for (const auto& a : Controls()) {
    if (a.kind == Kind::Frame) continue;
    const PixelRect ra = PixelsInWindow(a, 96);
    EXPECT_LE(ra.x + ra.width, 463) << a.name;
    EXPECT_LE(ra.y + ra.height, 210) << a.name;
    for (const auto& b : Controls()) {
      if (&a == &b || b.kind == Kind::Frame) continue;
      EXPECT_FALSE(Overlap(ra, PixelsInWindow(b, 96))) << a.name << " and " << b.name;
    }
    // A control is either inside a frame or clear of every frame.
    for (const auto& f : Controls()) {
      if (f.kind != Kind::Frame || a.container == f.id) continue;
      EXPECT_FALSE(Overlap(ra, PixelsInWindow(f, 96))) << a.name << " and " << f.name;
    }
  }
}

TEST(Layout, TabOrder_UniqueAndFocusCyclesThroughTheFive) {
  std::set<int> indices;
  std::vector<std::pair<int, std::string_view>> focus;
  for (const auto& c : Controls()) {
    EXPECT_TRUE(indices.insert(c.tabIndex).second) << c.name;
    if (TakesFocus(c)) focus.emplace_back(c.tabIndex, c.name);
  }
  EXPECT_EQ(indices.size(), static_cast<std::size_t>(kControlCount));
  EXPECT_EQ(*indices.begin(), 0);
  EXPECT_EQ(*indices.rbegin(), 13);
  std::sort(focus.begin(), focus.end());
  std::vector<std::string_view> names;
  for (const auto& f : focus) names.push_back(f.second);
  EXPECT_EQ(names, (std::vector<std::string_view>{"ExitButton", "QualityCombo", "ApplyButton",
                                                  "HotkeyBox", "SoundCheck"}));
}

TEST(Layout, At144Dpi_EverythingScalesByOneAndAHalf) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 695);  // 694.5, rounded
  for (const auto& c : Controls()) {
    const TwipsRect t = InWindow(c);
    const PixelRect r = PixelsInWindow(c, 144);
    EXPECT_EQ(r.x, t.left / 10) << c.name;
    EXPECT_EQ(r.y, t.top / 10) << c.name;
    EXPECT_NEAR(r.width, t.width / 10.0, 1.0) << c.name;
  }
}

}  // namespace
}  // namespace snapwick::layout
