// A render child's end of its link to the browser process: the two pipes it
// was started with, fd 3 (it reads) and fd 4 (it writes).
#ifndef CEF_ENGINE_INHERITED_LINK_H_
#define CEF_ENGINE_INHERITED_LINK_H_

#include <memory>

#include "cef/engine/chromium_process.h"

namespace cef_engine {

class InheritedLink : public EngineTransport {
 public:
  // Takes over fds 3 and 4; null when they are not the pipes of a link
  // (the process was started some other way).
  static std::unique_ptr<InheritedLink> Open();

  ~InheritedLink() override;
  InheritedLink(const InheritedLink&) = delete;
  InheritedLink& operator=(const InheritedLink&) = delete;

  bool Write(const char* data, size_t size) override;
  long Read(char* buffer, size_t size) override;
  // Not needed by the child, whose only reader is its main thread; reads
  // end when the browser process closes its end.
  void CancelRead() override {}

 private:
  InheritedLink(int read_fd, int write_fd) : read_fd_(read_fd), write_fd_(write_fd) {}

  int read_fd_;
  int write_fd_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_INHERITED_LINK_H_
