// Turns the engine's screencast frames into paints: decodes them on a
// thread of its own, compares each with the frame the UI thread has, and
// keeps the newest paint of each browser ready for the UI thread.
//
// A browser never has more than one undecoded frame (a newer one replaces
// it) and one ready paint (a newer frame replaces it, with its rectangles
// computed against the frame the UI last took). So a slow UI thread sees
// fewer, larger paints, never a backlog, and memory stays bounded.
#ifndef CEF_ENGINE_FRAME_PIPELINE_H_
#define CEF_ENGINE_FRAME_PIPELINE_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cef/engine/bitmap.h"
#include "cef/include/internal/cef_types_wrappers.h"

namespace cef_engine {

class FramePipeline {
 public:
  struct Paint {
    std::shared_ptr<const Bitmap> frame;
    std::vector<CefRect> dirty_rects;
  };

  struct Stats {
    uint64_t frames_received = 0;
    uint64_t frames_decoded = 0;
    uint64_t frames_failed = 0;
    uint64_t frames_unchanged = 0;   // decoded, identical to the UI's frame
    uint64_t frames_replaced = 0;    // dropped undecoded for a newer one
    uint64_t decode_ns = 0;          // base64 + PNG
    uint64_t diff_ns = 0;
  };

  // ready(browser_id) is called on the decoder thread when a browser gets a
  // ready paint (it had none); the owner then arranges TakePaint on the UI
  // thread.
  explicit FramePipeline(std::function<void(int browser_id)> ready);
  ~FramePipeline();  // Stop()
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  void Start();
  // Ends the decoder thread; later frames are dropped. Idempotent.
  void Stop();

  // Any thread. A browser's frames are cropped to max_width x max_height
  // (the view in device pixels); frames of unknown browsers are dropped.
  void AddBrowser(int browser_id, int max_width, int max_height);
  void SetMaxSize(int browser_id, int max_width, int max_height);
  void RemoveBrowser(int browser_id);

  // Any thread (the DevTools reader): a base64 PNG frame for the browser.
  void Submit(int browser_id, std::string base64_png);

  // UI thread: takes the ready paint, if any; its frame becomes the one the
  // next rectangles are computed against.
  bool TakePaint(int browser_id, Paint* out);

  Stats stats() const;

 private:
  struct Target {
    int max_width = 1;
    int max_height = 1;
    std::string undecoded;                   // newest undecoded frame
    bool has_undecoded = false;
    std::shared_ptr<const Bitmap> reference;  // what the UI thread has
    Paint ready;
    bool has_ready = false;
  };
  class Pool;

  void Run();

  std::function<void(int)> ready_;
  std::shared_ptr<Pool> pool_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::map<int, Target> targets_;
  bool stopping_ = false;
  bool started_ = false;
  Stats stats_;
  std::thread thread_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_FRAME_PIPELINE_H_
