// The changed parts of a frame, found by comparing it with the previous one
// (the engine reports no damage of its own).
#ifndef CEF_ENGINE_FRAME_DIFF_H_
#define CEF_ENGINE_FRAME_DIFF_H_

#include <vector>

#include "cef/engine/bitmap.h"
#include "cef/include/internal/cef_types_wrappers.h"

namespace cef_engine {

// Rectangles, disjoint, that together cover every pixel where cur differs
// from prev, and whose every edge row and column holds a changed pixel.
// Empty when nothing changed. Frames of different sizes give one rectangle
// covering all of cur. At most kMaxDirtyRects rectangles: beyond that the
// bounding box of the changes is returned instead.
std::vector<CefRect> DiffFrames(const Bitmap& prev, const Bitmap& cur);

inline constexpr int kDiffBlockSize = 64;
inline constexpr size_t kMaxDirtyRects = 64;

}  // namespace cef_engine

#endif  // CEF_ENGINE_FRAME_DIFF_H_
