// A small HTTP server on 127.0.0.1 for end-to-end tests. It serves the
// files of one directory to GET requests, one response per connection.
// The browser sees the same server as two sites: http://127.0.0.1:PORT/
// and http://localhost:PORT/.
//
// One thread of its own, between Start and Stop (or destruction); Stop
// closes every connection, answered or not (browsers open connections in
// advance that may never carry a request).
#ifndef TESTS_E2E_LOCAL_HTTP_SERVER_H_
#define TESTS_E2E_LOCAL_HTTP_SERVER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vemo_e2e {

class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string root) : root_(std::move(root)) {}
  ~LocalHttpServer() { Stop(); }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // Listens on a free port of 127.0.0.1; false when that fails.
  bool Start() {
    if (listener_ >= 0) return true;
    if (pipe(wake_) != 0) return false;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      Stop();
      return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  void Stop() {
    if (thread_.joinable()) {
      char byte = 0;
      (void)!write(wake_[1], &byte, 1);
      thread_.join();
    }
    for (int* fd : {&listener_, &wake_[0], &wake_[1]}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  int port() const { return port_; }
  // The address of a file on the server under host ("127.0.0.1" or
  // "localhost").
  std::string Url(const std::string& host, const std::string& path) const {
    return "http://" + host + ":" + std::to_string(port_) + "/" + path;
  }

 private:
  void Serve() {
    std::map<int, std::string> requests;  // connection -> what it sent so far
    for (;;) {
      std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
      for (const auto& [fd, data] : requests) fds.push_back({fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) break;
      if (fds[1].revents & POLLIN) {
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) requests[fd];
      }
      for (size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        const int fd = fds[i].fd;
        char buffer[4096];
        ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
        std::string& request = requests[fd];
        if (got > 0) request.append(buffer, static_cast<size_t>(got));
        if (got > 0 && request.find("\r\n\r\n") == std::string::npos) continue;
        if (got > 0) Answer(fd, request);
        close(fd);
        requests.erase(fd);
      }
    }
    for (const auto& [fd, data] : requests) close(fd);
  }

  void Answer(int fd, const std::string& request) {
    std::istringstream line(request.substr(0, request.find("\r\n")));
    std::string method, path;
    line >> method >> path;
    path = path.substr(0, path.find_first_of("?#"));
    std::string body;
    bool found = false;
    if (method == "GET" && path.size() > 1 && path[0] == '/' &&
        path.find("..") == std::string::npos) {
      std::ifstream in(root_ + path, std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      found = in.good() || in.eof();
      if (found) body = content.str();
    }
    const bool html = path.size() > 5 && path.compare(path.size() - 5, 5, ".html") == 0;
    std::string head = std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                       "\r\nContent-Type: " +
                       (html ? "text/html; charset=utf-8" : "application/octet-stream") +
                       "\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    std::string response = head + body;
    for (size_t sent = 0; sent < response.size();) {
      ssize_t n = send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  const std::string root_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
};

}  // namespace vemo_e2e

#endif  // TESTS_E2E_LOCAL_HTTP_SERVER_H_
