#include "tests/hpsocket/loopback_peer.h"

LoopbackPeer::LoopbackPeer() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

LoopbackPeer::~LoopbackPeer() {
  CloseConnection();
  CloseListener();
  ::WSACleanup();
}

bool LoopbackPeer::Listen(int backlog) {
  int port = 0;
  listener_ = ListenOnLoopback(0, backlog, &port);
  port_ = static_cast<USHORT>(port);
  return listener_ != INVALID_SOCKET;
}

bool LoopbackPeer::WaitReadable(SOCKET s, DWORD timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &tv) == 1;
}

bool LoopbackPeer::Accept(DWORD timeout_ms) {
  if (!WaitReadable(listener_, timeout_ms)) return false;
  CloseConnection();
  connection_ = ::accept(listener_, nullptr, nullptr);
  if (connection_ == INVALID_SOCKET) return false;
  // Non-blocking, so a send to a client that stopped reading gives up after
  // its stall time. A blocking send of a large burst waits for the client's
  // window without end, and under Wine closing the socket from another
  // thread does not wake it.
  u_long non_blocking = 1;
  return ::ioctlsocket(connection_, FIONBIO, &non_blocking) == 0;
}

bool LoopbackPeer::WaitWritable(SOCKET s, DWORD timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000};
  return ::select(0, nullptr, &set, nullptr, &tv) == 1;
}

bool LoopbackPeer::SendRaw(const std::string& bytes, DWORD stall_ms) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (!WaitWritable(connection_, stall_ms)) return false;
    int sent = ::send(connection_, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
    if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
    if (sent <= 0) return false;
    at += static_cast<size_t>(sent);
  }
  return true;
}

bool LoopbackPeer::SendFrame(const std::string& body, uint32_t flag) {
  return SendRaw(PackHeader(static_cast<uint32_t>(body.size()), flag) + body);
}

bool LoopbackPeer::ReadExactly(size_t count, std::string* out, DWORD timeout_ms) {
  out->assign(count, '\0');
  size_t at = 0;
  DWORD deadline = ::GetTickCount() + timeout_ms;
  while (at < count) {
    DWORD left = deadline - ::GetTickCount();
    if (static_cast<LONG>(left) <= 0 || !WaitReadable(connection_, left)) return false;
    int got = ::recv(connection_, &(*out)[at], static_cast<int>(count - at), 0);
    if (got <= 0) return false;
    at += static_cast<size_t>(got);
  }
  return true;
}

bool LoopbackPeer::ReadFrame(std::string* body, uint32_t* flag, DWORD timeout_ms) {
  std::string header;
  if (!ReadExactly(4, &header, timeout_ms)) return false;
  const unsigned char* h = reinterpret_cast<const unsigned char*>(header.data());
  uint32_t word = h[0] | h[1] << 8 | h[2] << 16 | static_cast<uint32_t>(h[3]) << 24;
  if (flag != nullptr) *flag = word >> 22;
  return ReadExactly(word & 0x3FFFFF, body, timeout_ms);
}

bool LoopbackPeer::WaitClosed(DWORD timeout_ms) {
  DWORD deadline = ::GetTickCount() + timeout_ms;
  char sink[4096];
  for (;;) {
    DWORD left = deadline - ::GetTickCount();
    if (static_cast<LONG>(left) <= 0 || !WaitReadable(connection_, left)) return false;
    if (::recv(connection_, sink, sizeof(sink), 0) <= 0) return true;
  }
}

void LoopbackPeer::CloseConnection() {
  CloseSocket(connection_);
  connection_ = INVALID_SOCKET;
}

void LoopbackPeer::CloseListener() {
  CloseSocket(listener_);
  listener_ = INVALID_SOCKET;
}

std::string PackHeader(uint32_t length, uint32_t flag) {
  uint32_t word = (flag << 22) | (length & 0x3FFFFF);
  char h[4] = {static_cast<char>(word), static_cast<char>(word >> 8), static_cast<char>(word >> 16),
               static_cast<char>(word >> 24)};
  return std::string(h, 4);
}
