#include "tests/page/page_server.h"

#include <ws2tcpip.h>

namespace {

// A request line and its headers fit in this; the tests send nothing larger.
constexpr int kRequestLimit = 8192;

std::string RequestPath(const std::string& request) {
  size_t start = request.find(' ');
  if (start == std::string::npos) return "";
  size_t end = request.find(' ', start + 1);
  if (end == std::string::npos) return "";
  return request.substr(start + 1, end - start - 1);
}

void SendAll(SOCKET socket, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    int n = ::send(socket, data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

void PageServer::Put(const std::string& path, const std::string& html) {
  std::lock_guard<std::mutex> guard(lock_);
  pages_[path] = html;
}

bool PageServer::Start() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void PageServer::Stop() {
  if (listener_ != INVALID_SOCKET) {
    ::closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }
  if (thread_.joinable()) thread_.join();
}

std::string PageServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int PageServer::Hits(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  return hits_[path];
}

void PageServer::Serve() {
  for (;;) {
    SOCKET client = ::accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;  // the listener was closed
    Answer(client);
    ::closesocket(client);
  }
}

void PageServer::Answer(SOCKET client) {
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kRequestLimit) {
    int n = ::recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    request.append(buffer, n);
  }
  std::string path = RequestPath(request);
  std::string body;
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++hits_[path];
    auto page = pages_.find(path);
    if (page != pages_.end()) {
      body = page->second;
      found = true;
    }
  }
  std::string head = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
  head +=
      "Content-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n";
  SendAll(client, head + body);
}
