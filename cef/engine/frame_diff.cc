#include "cef/engine/frame_diff.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace cef_engine {
namespace {

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;  // right/bottom exclusive
  bool empty = true;
  void Add(int l, int t, int r, int b) {
    if (empty) {
      left = l, top = t, right = r, bottom = b;
      empty = false;
    } else {
      left = std::min(left, l), top = std::min(top, t);
      right = std::max(right, r), bottom = std::max(bottom, b);
    }
  }
  CefRect ToRect() const { return CefRect(left, top, right - left, bottom - top); }
};

// First and last differing pixel of a span of n pixels, or false.
bool ChangedSpan(const uint8_t* a, const uint8_t* b, int n, int* first, int* last) {
  int i = 0;
  while (i < n && std::memcmp(a + 4 * i, b + 4 * i, 4) == 0) ++i;
  if (i == n) return false;
  int j = n - 1;
  while (j > i && std::memcmp(a + 4 * j, b + 4 * j, 4) == 0) --j;
  *first = i;
  *last = j;
  return true;
}

}  // namespace

std::vector<CefRect> DiffFrames(const Bitmap& prev, const Bitmap& cur) {
  std::vector<CefRect> rects;
  const int width = cur.width, height = cur.height;
  if (width <= 0 || height <= 0) return rects;
  if (prev.width != width || prev.height != height) {
    rects.push_back(CefRect(0, 0, width, height));
    return rects;
  }
  const int blocks = (width + kDiffBlockSize - 1) / kDiffBlockSize;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  std::vector<Box> band(static_cast<size_t>(blocks));
  // Rectangles of the previous band, open for merging with the next.
  std::vector<CefRect> open;
  Box all;

  for (int band_top = 0; band_top < height; band_top += kDiffBlockSize) {
    const int band_bottom = std::min(height, band_top + kDiffBlockSize);
    std::fill(band.begin(), band.end(), Box());
    for (int y = band_top; y < band_bottom; ++y) {
      const uint8_t* a = prev.row(y);
      const uint8_t* b = cur.row(y);
      if (std::memcmp(a, b, row_bytes) == 0) continue;
      for (int bx = 0; bx < blocks; ++bx) {
        const int x0 = bx * kDiffBlockSize;
        const int n = std::min(kDiffBlockSize, width - x0);
        int first, last;
        if (ChangedSpan(a + 4 * x0, b + 4 * x0, n, &first, &last)) {
          band[static_cast<size_t>(bx)].Add(x0 + first, y, x0 + last + 1, y + 1);
        }
      }
    }
    // Runs of neighbouring changed blocks become one rectangle.
    std::vector<CefRect> current;
    for (int bx = 0; bx < blocks;) {
      if (band[static_cast<size_t>(bx)].empty) {
        ++bx;
        continue;
      }
      Box run;
      while (bx < blocks && !band[static_cast<size_t>(bx)].empty) {
        const Box& b = band[static_cast<size_t>(bx)];
        run.Add(b.left, b.top, b.right, b.bottom);
        ++bx;
      }
      current.push_back(run.ToRect());
      all.Add(run.left, run.top, run.right, run.bottom);
    }
    // A rectangle continues one of the band above when it has the same
    // columns and starts right where that one ends.
    std::vector<CefRect> next_open;
    for (const CefRect& r : current) {
      auto above = std::find_if(open.begin(), open.end(), [&](const CefRect& o) {
        return o.x == r.x && o.width == r.width && o.y + o.height == r.y;
      });
      if (above != open.end()) {
        CefRect merged(above->x, above->y, above->width, above->height + r.height);
        open.erase(above);
        next_open.push_back(merged);
      } else {
        next_open.push_back(r);
      }
    }
    rects.insert(rects.end(), open.begin(), open.end());  // closed for good
    open = std::move(next_open);
  }
  rects.insert(rects.end(), open.begin(), open.end());
  if (rects.size() > kMaxDirtyRects) {
    rects.clear();
    rects.push_back(all.ToRect());
  }
  return rects;
}

}  // namespace cef_engine
