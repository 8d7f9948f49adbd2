#include "standins/hpsocket/socket_ops.h"

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cstring>

bool ResolveIPv4(const char* host, USHORT port, sockaddr_in* out) {
  if (host == nullptr || host[0] == '\0') return false;
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::memcpy(out, found->ai_addr, sizeof(sockaddr_in));
  ::freeaddrinfo(found);
  out->sin_port = ::htons(port);
  return true;
}

std::string AddressText(const sockaddr_in& address) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.sin_addr);
  char text[16];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

bool CopyTextOut(const std::string& text, char* buf, int* length) {
  if (length == nullptr) return false;
  int needed = static_cast<int>(text.size()) + 1;
  bool fits = buf != nullptr && *length >= needed;
  if (fits) std::memcpy(buf, text.c_str(), static_cast<size_t>(needed));
  *length = needed;
  return fits;
}

void ApplyKeepAlive(SOCKET s, DWORD time_ms, DWORD interval_ms) {
  tcp_keepalive values = {};
  values.onoff = time_ms > 0 ? 1 : 0;
  values.keepalivetime = time_ms;
  values.keepaliveinterval = interval_ms;
  DWORD returned = 0;
  // Best effort: a stack without per-socket keep-alive timing still carries
  // the connection, it only notices a dead peer later.
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof(values), nullptr, 0, &returned, nullptr,
             nullptr);
}

void DisableNagle(SOCKET s) {
  BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
}
