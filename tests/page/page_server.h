#pragma once
// Fixed pages from memory for the bridge tests, served over real HTTP on
// loopback by the tests' shared HTTP server.
#include <map>
#include <mutex>
#include <string>

#include "tests/net/loopback_http_server.h"

class PageServer {
 public:
  PageServer();
  ~PageServer() { Stop(); }
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Adds or replaces the body served at path ("/client/app/lumo/") as UTF-8 HTML.
  void Put(const std::string& path, const std::string& html);
  // Listens on an ephemeral loopback port; false when the socket calls fail.
  bool Start() { return http_.Start(); }
  void Stop() { http_.Stop(); }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const { return http_.BaseUrl() + path; }
  // How many requests asked for path.
  int Hits(const std::string& path) const;

 private:
  CannedResponse Answer(const RecordedRequest& request);

  mutable std::mutex lock_;
  std::map<std::string, std::string> pages_;
  LoopbackHttpServer http_;  // last, so it stops serving before the pages go
};
