#pragma once
// A minimal HTTP/1.0 client for the back-office simulator's control port,
// over plain Winsock so the tests need nothing but the system.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <string>

class BackofficeControl {
 public:
  explicit BackofficeControl(USHORT port) : port_(port) {}

  bool Get(const std::string& path, std::string* body);
  bool Post(const std::string& path, const std::string& body, std::string* reply = nullptr);
  // GET /wait for `what` to reach `count` within `seconds`; true when it did.
  bool WaitFor(const std::string& what, int count, int seconds);
  // Connections the simulator has accepted so far, -1 when it cannot tell.
  int TotalAccepted();
  // Waits until more than `total` connections were accepted.
  bool WaitTotalAbove(int total, DWORD timeout_ms = 5000);

 private:
  bool Request(const std::string& method, const std::string& path, const std::string& body,
               std::string* reply);
  USHORT port_;
};

// Lower-case hexadecimal of the bytes.
std::string HexOf(const std::string& bytes);
// The integer after "key": in a JSON text, or -1.
int JsonInt(const std::string& json, const std::string& key);
