// A frame of the view: BGRA pixels with premultiplied alpha, rows top to
// bottom, stride width * 4 (the layout OnPaint delivers).
#ifndef CEF_ENGINE_BITMAP_H_
#define CEF_ENGINE_BITMAP_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cef_engine {

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  // Sets the size; the pixel values are unspecified afterwards.
  void Resize(int w, int h) {
    width = w;
    height = h;
    pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  }
  const uint8_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 4; }
  uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 4; }
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_BITMAP_H_
