#include "tests/net/loopback_http_server.h"

#include <cctype>
#include <chrono>

#ifndef _WIN32
#include <sys/select.h>
#include <sys/socket.h>
#endif

#include "tests/support/loopback_socket.h"

namespace {

constexpr long kPollMs = 20;
constexpr auto kReadLimit = std::chrono::seconds(5);

Socket AsSocket(intptr_t value) { return static_cast<Socket>(value); }

bool Readable(Socket s, long timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval timeout{0, static_cast<decltype(timeval::tv_usec)>(timeout_ms * 1000)};
  return ::select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &timeout) > 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// Reads up to the blank line that ends the request head; GETs carry no body.
std::string ReadHead(Socket s) {
  std::string head;
  auto deadline = std::chrono::steady_clock::now() + kReadLimit;
  while (head.find("\r\n\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    if (!Readable(s, kPollMs)) continue;
    char chunk[4096];
    int got = static_cast<int>(::recv(s, chunk, sizeof(chunk), 0));
    if (got <= 0) break;
    head.append(chunk, static_cast<size_t>(got));
  }
  return head;
}

RecordedRequest ParseHead(const std::string& head) {
  RecordedRequest request;
  size_t line_end = head.find("\r\n");
  std::string request_line = head.substr(0, line_end);
  size_t first_space = request_line.find(' ');
  size_t second_space = request_line.find(' ', first_space + 1);
  request.method = request_line.substr(0, first_space);
  if (first_space != std::string::npos) {
    request.target = request_line.substr(first_space + 1, second_space - first_space - 1);
  }
  while (line_end != std::string::npos) {
    size_t begin = line_end + 2;
    line_end = head.find("\r\n", begin);
    std::string line = head.substr(begin, line_end - begin);
    size_t colon = line.find(':');
    if (line.empty() || colon == std::string::npos) continue;
    request.headers.emplace_back(line.substr(0, colon), Trimmed(line.substr(colon + 1)));
  }
  return request;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    default:
      return "Status";
  }
}

std::string ResponseText(const CannedResponse& response) {
  std::string text =
      "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
  for (const std::string& line : response.headers) text += line + "\r\n";
  text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  text += "Connection: close\r\n\r\n";
  return text + response.body;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (Lower(header.first) == Lower(name)) return header.second;
  }
  return "";
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  for (const auto& header : headers) {
    if (Lower(header.first) == Lower(name)) return true;
  }
  return false;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

bool LoopbackHttpServer::Start(int port) {
  Socket s = ListenOnLoopback(port, 16, &port_);
  if (s == kNoSocket) return false;
  listener_ = static_cast<intptr_t>(s);
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void LoopbackHttpServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != -1) CloseSocket(AsSocket(listener_));
  listener_ = -1;
}

std::string LoopbackHttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

int LoopbackHttpServer::UnusedPort() { return UnusedLoopbackPort(); }

void LoopbackHttpServer::Serve() {
  Socket listener = AsSocket(listener_);
  while (!stop_) {
    if (!Readable(listener, kPollMs)) continue;
    Socket connection = ::accept(listener, nullptr, nullptr);
    if (connection == kNoSocket) continue;
    ServeOne(static_cast<intptr_t>(connection));
    CloseSocket(connection);
  }
}

void LoopbackHttpServer::ServeOne(intptr_t connection) {
  Socket s = AsSocket(connection);
  std::string head = ReadHead(s);
  if (head.find("\r\n\r\n") == std::string::npos) return;
  RecordedRequest request = ParseHead(head);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  SendAll(s, ResponseText(handler_(request)));
#ifdef _WIN32
  ::shutdown(s, SD_SEND);
#else
  ::shutdown(s, SHUT_WR);
#endif
}
