#include "tests/hpsocket/backoffice_control.h"

#include <cstdlib>

#include "tests/support/loopback_socket.h"

bool BackofficeControl::Request(const std::string& method, const std::string& path,
                                const std::string& body, std::string* reply) {
  std::string request =
      method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
      "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n" + body;
  SOCKET s = ConnectToLoopback(port_);
  if (s == INVALID_SOCKET) return false;
  bool ok = SendAll(s, request);
  std::string response;
  char buf[8192];
  int got;
  while (ok && (got = ::recv(s, buf, sizeof(buf), 0)) > 0) response.append(buf, got);
  CloseSocket(s);
  size_t end = response.find("\r\n\r\n");
  bool http = response.compare(0, 9, "HTTP/1.0 ") == 0 || response.compare(0, 9, "HTTP/1.1 ") == 0;
  if (!ok || !http) return false;
  if (reply != nullptr) *reply = end == std::string::npos ? "" : response.substr(end + 4);
  return response.compare(9, 1, "2") == 0;
}

bool BackofficeControl::Get(const std::string& path, std::string* body) {
  return Request("GET", path, "", body);
}

bool BackofficeControl::Post(const std::string& path, const std::string& body, std::string* reply) {
  return Request("POST", path, body, reply);
}

bool BackofficeControl::WaitFor(const std::string& what, int count, int seconds) {
  std::string reply;
  return Get("/wait?what=" + what + "&count=" + std::to_string(count) +
                 "&timeout=" + std::to_string(seconds),
             &reply) &&
         reply.find("true") != std::string::npos;
}

int BackofficeControl::TotalAccepted() {
  std::string reply;
  return Get("/connections", &reply) ? JsonInt(reply, "total") : -1;
}

bool BackofficeControl::WaitTotalAbove(int total, DWORD timeout_ms) {
  DWORD deadline = ::GetTickCount() + timeout_ms;
  while (static_cast<LONG>(deadline - ::GetTickCount()) > 0) {
    if (TotalAccepted() > total) return true;
    ::Sleep(20);
  }
  return false;
}

std::string HexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

int JsonInt(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return -1;
  at = json.find(':', at);
  return at == std::string::npos ? -1 : std::atoi(json.c_str() + at + 1);
}
