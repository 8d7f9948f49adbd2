#pragma once
// A small real HTTP/1.1 server on 127.0.0.1 for tests. It answers every
// request through a handler, one connection at a time, closes the connection
// after each answer, and records each request it parsed.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct RecordedRequest {
  std::string method;
  std::string target;                                        // path and query as sent
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent

  // The value of the first header of that name (compared without case);
  // empty when it is absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct CannedResponse {
  int status = 200;
  std::vector<std::string> headers;  // whole lines without CR LF
  std::string body;
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<CannedResponse(const RecordedRequest&)>;

  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Listens on `port` (0 = any free one) and starts serving.
  bool Start(int port = 0);
  void Stop();
  int port() const { return port_; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();

  // A loopback port that nothing listens on right now.
  static int UnusedPort();

 private:
  void Serve();
  void ServeOne(intptr_t connection);

  Handler handler_;
  intptr_t listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};
