#include "tests/support/loopback_socket.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  return address;
}

}  // namespace

void StartSockets() {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
#endif
}

void CloseSocket(Socket s) {
  if (s == kNoSocket) return;
#ifdef _WIN32
  ::closesocket(s);
#else
  ::close(s);
#endif
}

Socket ListenOnLoopback(int port, int backlog, int* bound_port) {
  StartSockets();
  Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return kNoSocket;
#ifndef _WIN32
  // A fixed port must be usable again right after an earlier test closed it.
  int reuse = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
#endif
  sockaddr_in address = LoopbackAddress(port);
  socklen_t length = sizeof(address);
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseSocket(s);
    return kNoSocket;
  }
  *bound_port = ntohs(address.sin_port);
  return s;
}

Socket ConnectToLoopback(int port) {
  StartSockets();
  Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in address = LoopbackAddress(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    CloseSocket(s);
    return kNoSocket;
  }
  return s;
}

bool SendAll(Socket s, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int step =
        static_cast<int>(::send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0));
    if (step <= 0) return false;
    sent += static_cast<size_t>(step);
  }
  return true;
}

int UnusedLoopbackPort() {
  int port = 0;
  Socket s = ListenOnLoopback(0, 1, &port);
  if (s == kNoSocket) return 0;
  CloseSocket(s);
  return port;
}
