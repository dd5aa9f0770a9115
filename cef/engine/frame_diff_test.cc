#include "cef/engine/frame_diff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace cef_engine {
namespace {

Bitmap Filled(int w, int h, uint8_t value) {
  Bitmap b;
  b.Resize(w, h);
  std::fill(b.pixels.begin(), b.pixels.end(), value);
  return b;
}

void SetPixel(Bitmap* b, int x, int y, uint8_t value) { b->row(y)[4 * x + 1] = value; }

bool Changed(const Bitmap& a, const Bitmap& b, int x, int y) {
  return std::memcmp(a.row(y) + 4 * x, b.row(y) + 4 * x, 4) != 0;
}

// Checks the contract against a pixel-by-pixel comparison of the frames.
void CheckAgainstFullDiff(const Bitmap& prev, const Bitmap& cur, const std::vector<CefRect>& rects) {
  std::vector<int> cover(static_cast<size_t>(cur.width) * cur.height, 0);
  for (const CefRect& r : rects) {
    ASSERT_GT(r.width, 0);
    ASSERT_GT(r.height, 0);
    ASSERT_GE(r.x, 0);
    ASSERT_GE(r.y, 0);
    ASSERT_LE(r.x + r.width, cur.width);
    ASSERT_LE(r.y + r.height, cur.height);
    bool top = false, bottom = false, left = false, right = false;
    for (int y = r.y; y < r.y + r.height; ++y) {
      for (int x = r.x; x < r.x + r.width; ++x) {
        ++cover[static_cast<size_t>(y) * cur.width + x];
        if (!Changed(prev, cur, x, y)) continue;
        top |= y == r.y;
        bottom |= y == r.y + r.height - 1;
        left |= x == r.x;
        right |= x == r.x + r.width - 1;
      }
    }
    EXPECT_TRUE(top && bottom && left && right)
        << "rectangle " << r.x << "," << r.y << " " << r.width << "x" << r.height
        << " has an edge without a change";
  }
  for (int y = 0; y < cur.height; ++y) {
    for (int x = 0; x < cur.width; ++x) {
      int n = cover[static_cast<size_t>(y) * cur.width + x];
      EXPECT_LE(n, 1) << "rectangles overlap at " << x << "," << y;
      if (Changed(prev, cur, x, y)) {
        ASSERT_EQ(n, 1) << "change not covered at " << x << "," << y;
      }
    }
  }
}

TEST(FrameDiffTest, IdenticalFramesHaveNoChange) {
  Bitmap a = Filled(300, 200, 9), b = Filled(300, 200, 9);
  EXPECT_TRUE(DiffFrames(a, b).empty());
}

TEST(FrameDiffTest, OnePixelGivesOneTinyRectangle) {
  Bitmap a = Filled(300, 200, 0), b = a;
  SetPixel(&b, 130, 77, 1);
  std::vector<CefRect> rects = DiffFrames(a, b);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], CefRect(130, 77, 1, 1));
}

TEST(FrameDiffTest, FullChangeIsOneRectangle) {
  Bitmap a = Filled(1280, 720, 0), b = Filled(1280, 720, 1);
  std::vector<CefRect> rects = DiffFrames(a, b);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], CefRect(0, 0, 1280, 720));
}

TEST(FrameDiffTest, SizeChangeRepaintsEverything) {
  Bitmap a = Filled(100, 100, 0), b = Filled(120, 90, 0);
  std::vector<CefRect> rects = DiffFrames(a, b);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], CefRect(0, 0, 120, 90));
}

TEST(FrameDiffTest, RandomChangesMatchTheFullDiff) {
  std::mt19937 rng(42);
  for (int round = 0; round < 30; ++round) {
    int w = 1 + static_cast<int>(rng() % 400), h = 1 + static_cast<int>(rng() % 300);
    Bitmap a = Filled(w, h, 0), b = a;
    // Some scattered pixels and some filled boxes.
    int dots = static_cast<int>(rng() % 20);
    for (int i = 0; i < dots; ++i) {
      SetPixel(&b, static_cast<int>(rng() % w), static_cast<int>(rng() % h), 5);
    }
    int boxes = static_cast<int>(rng() % 4);
    for (int i = 0; i < boxes; ++i) {
      int x0 = static_cast<int>(rng() % w), y0 = static_cast<int>(rng() % h);
      int x1 = std::min(w, x0 + 1 + static_cast<int>(rng() % 150));
      int y1 = std::min(h, y0 + 1 + static_cast<int>(rng() % 150));
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) SetPixel(&b, x, y, 7);
    }
    std::vector<CefRect> rects = DiffFrames(a, b);
    EXPECT_LE(rects.size(), kMaxDirtyRects);
    CheckAgainstFullDiff(a, b, rects);
  }
}

TEST(FrameDiffTest, ManyScatteredChangesFallBackToTheBoundingBox) {
  Bitmap a = Filled(1024, 1024, 0), b = a;
  // One pixel in every other block of each row: 128 separate changes.
  for (int by = 0; by < 16; ++by)
    for (int bx = 0; bx < 16; bx += 2) SetPixel(&b, bx * 64 + 10, by * 64 + 10, 1);
  std::vector<CefRect> rects = DiffFrames(a, b);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], CefRect(10, 10, 14 * 64 + 1, 15 * 64 + 1));
}

}  // namespace
}  // namespace cef_engine
