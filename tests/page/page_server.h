#pragma once
// A small HTTP server on loopback for the bridge tests: serves fixed pages
// from memory, one request per connection, on a thread of its own.
// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <map>
#include <mutex>
#include <string>
#include <thread>

class PageServer {
 public:
  PageServer() = default;
  ~PageServer() { Stop(); }
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Adds or replaces the body served at path ("/client/app/lumo/") as UTF-8 HTML.
  void Put(const std::string& path, const std::string& html);
  // Listens on an ephemeral loopback port; false when the socket calls fail.
  bool Start();
  void Stop();
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  // How many requests asked for path.
  int Hits(const std::string& path);

 private:
  void Serve();
  void Answer(SOCKET client);

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::map<std::string, std::string> pages_;
  std::map<std::string, int> hits_;
};
