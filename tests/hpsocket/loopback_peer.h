#pragma once
// A raw Winsock server on 127.0.0.1 that plays the back-office end of one
// connection byte by byte, so tests control exactly how frames are cut.
// clang-format off
#include "tests/support/loopback_socket.h"  // winsock2.h, before windows.h
#include <windows.h>
// clang-format on

#include <cstdint>
#include <string>

class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Listens on an OS-chosen port of 127.0.0.1.
  bool Listen(int backlog = 8);
  USHORT port() const { return port_; }
  // Waits for the client and takes its connection.
  bool Accept(DWORD timeout_ms = 5000);
  // Writes bytes exactly as given; gives up when the client takes nothing
  // for `stall_ms`.
  bool SendRaw(const std::string& bytes, DWORD stall_ms = 3000);
  // Writes one pack: header announcing `length` (the body size by default)
  // with `flag`, then the body.
  bool SendFrame(const std::string& body, uint32_t flag = 0);
  // Reads exactly `count` bytes.
  bool ReadExactly(size_t count, std::string* out, DWORD timeout_ms = 5000);
  // Reads one pack the client sent; *flag gets the header flag when given.
  bool ReadFrame(std::string* body, uint32_t* flag = nullptr, DWORD timeout_ms = 5000);
  // True when the client closes its end (end of stream or reset) in time.
  bool WaitClosed(DWORD timeout_ms = 5000);
  void CloseConnection();
  void CloseListener();

 private:
  bool WaitReadable(SOCKET s, DWORD timeout_ms);
  bool WaitWritable(SOCKET s, DWORD timeout_ms);

  SOCKET listener_ = INVALID_SOCKET;
  SOCKET connection_ = INVALID_SOCKET;
  USHORT port_ = 0;
};

// A header word as the library writes it.
std::string PackHeader(uint32_t length, uint32_t flag = 0);
