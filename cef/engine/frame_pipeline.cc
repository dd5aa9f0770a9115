#include "cef/engine/frame_pipeline.h"

#include <chrono>
#include <utility>

#include "cef/engine/frame_diff.h"
#include "cef/engine/png_decoder.h"
#include "ipc/base/logging.h"

namespace cef_engine {

// Recycles frame buffers: a frame handed out returns here when its last
// holder lets go (on whatever thread that is), so steady streaming does not
// allocate and fault in fresh pages for every frame.
class FramePipeline::Pool : public std::enable_shared_from_this<Pool> {
 public:
  std::shared_ptr<Bitmap> Get() {
    std::unique_ptr<Bitmap> bitmap;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!free_.empty()) {
        bitmap = std::move(free_.back());
        free_.pop_back();
      }
    }
    if (!bitmap) bitmap = std::make_unique<Bitmap>();
    std::weak_ptr<Pool> pool = weak_from_this();
    return std::shared_ptr<Bitmap>(bitmap.release(), [pool](Bitmap* b) {
      if (auto p = pool.lock()) {
        p->Put(std::unique_ptr<Bitmap>(b));
      } else {
        delete b;
      }
    });
  }

 private:
  static constexpr size_t kMaxFree = 4;
  void Put(std::unique_ptr<Bitmap> bitmap) {
    std::lock_guard<std::mutex> hold(lock_);
    if (free_.size() < kMaxFree) free_.push_back(std::move(bitmap));
  }

  std::mutex lock_;
  std::vector<std::unique_ptr<Bitmap>> free_;
};

FramePipeline::FramePipeline(std::function<void(int)> ready)
    : ready_(std::move(ready)), pool_(std::make_shared<Pool>()) {}

FramePipeline::~FramePipeline() { Stop(); }

void FramePipeline::Start() {
  std::lock_guard<std::mutex> hold(lock_);
  if (started_ || stopping_) return;
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

void FramePipeline::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> hold(lock_);
  targets_.clear();
}

void FramePipeline::AddBrowser(int browser_id, int max_width, int max_height) {
  std::lock_guard<std::mutex> hold(lock_);
  Target& t = targets_[browser_id];
  t.max_width = max_width;
  t.max_height = max_height;
}

void FramePipeline::SetMaxSize(int browser_id, int max_width, int max_height) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = targets_.find(browser_id);
  if (it == targets_.end()) return;
  it->second.max_width = max_width;
  it->second.max_height = max_height;
}

void FramePipeline::RemoveBrowser(int browser_id) {
  std::lock_guard<std::mutex> hold(lock_);
  targets_.erase(browser_id);
}

void FramePipeline::Submit(int browser_id, std::string base64_png) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = targets_.find(browser_id);
  if (it == targets_.end() || stopping_) return;
  ++stats_.frames_received;
  if (it->second.has_undecoded) ++stats_.frames_replaced;
  it->second.undecoded = std::move(base64_png);
  it->second.has_undecoded = true;
  wake_.notify_one();
}

bool FramePipeline::TakePaint(int browser_id, Paint* out) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = targets_.find(browser_id);
  if (it == targets_.end() || !it->second.has_ready) return false;
  Target& t = it->second;
  *out = std::move(t.ready);
  t.ready = Paint();
  t.has_ready = false;
  t.reference = out->frame;
  return true;
}

FramePipeline::Stats FramePipeline::stats() const {
  std::lock_guard<std::mutex> hold(lock_);
  return stats_;
}

void FramePipeline::Run() {
  using Clock = std::chrono::steady_clock;
  PngDecoder decoder;
  std::vector<uint8_t> png;
  std::string base64;
  for (;;) {
    int browser_id = 0;
    int max_width = 0, max_height = 0;
    {
      std::unique_lock<std::mutex> hold(lock_);
      std::map<int, Target>::iterator found;
      wake_.wait(hold, [&] {
        if (stopping_) return true;
        for (found = targets_.begin(); found != targets_.end(); ++found) {
          if (found->second.has_undecoded) return true;
        }
        return false;
      });
      if (stopping_) return;
      browser_id = found->first;
      base64.swap(found->second.undecoded);
      found->second.undecoded.clear();
      found->second.has_undecoded = false;
      max_width = found->second.max_width;
      max_height = found->second.max_height;
    }

    auto start = Clock::now();
    std::shared_ptr<Bitmap> frame = pool_->Get();
    bool ok = DecodeBase64(base64.data(), base64.size(), &png) &&
              decoder.Decode(png.data(), png.size(), max_width, max_height, frame.get());
    auto decoded = Clock::now();
    if (!ok) {
      LOG(WARNING) << "dropping an undecodable frame: "
                   << (decoder.error().empty() ? "bad base64" : decoder.error());
      std::lock_guard<std::mutex> hold(lock_);
      ++stats_.frames_failed;
      continue;
    }

    std::shared_ptr<const Bitmap> reference;
    {
      std::lock_guard<std::mutex> hold(lock_);
      auto it = targets_.find(browser_id);
      if (it == targets_.end()) continue;
      reference = it->second.reference;
    }
    // The UI thread only replaces the reference in TakePaint, which also
    // clears the ready paint; a paint prepared against an older reference is
    // then recomputed below.
    static const Bitmap kNothing;
    std::vector<CefRect> rects = DiffFrames(reference ? *reference : kNothing, *frame);
    auto diffed = Clock::now();

    bool notify = false;
    {
      std::lock_guard<std::mutex> hold(lock_);
      stats_.decode_ns += static_cast<uint64_t>((decoded - start).count());
      stats_.diff_ns += static_cast<uint64_t>((diffed - decoded).count());
      ++stats_.frames_decoded;
      auto it = targets_.find(browser_id);
      if (it == targets_.end()) continue;
      Target& t = it->second;
      if (t.reference != reference) {
        // The UI took a paint meanwhile: compare with that one instead.
        reference = t.reference;
        rects = DiffFrames(reference ? *reference : kNothing, *frame);
      }
      if (rects.empty()) {
        ++stats_.frames_unchanged;
        t.ready = Paint();
        t.has_ready = false;
        continue;
      }
      notify = !t.has_ready;
      t.ready.frame = std::move(frame);
      t.ready.dirty_rects = std::move(rects);
      t.has_ready = true;
    }
    if (notify) ready_(browser_id);
  }
}

}  // namespace cef_engine
