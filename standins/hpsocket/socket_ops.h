#pragma once
// Small Winsock helpers of the client: an owner for one socket, address
// resolution and text, and the socket options set on each connection.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <string>

#include "util/scoped_handle.h"

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() { return INVALID_SOCKET; }
  static bool IsValid(Handle s) { return s != INVALID_SOCKET; }
  static void Close(Handle s) { ::closesocket(s); }
};
using ScopedSocket = ScopedHandle<SocketTraits>;

struct WsaEventTraits {
  using Handle = WSAEVENT;
  static Handle Invalid() { return WSA_INVALID_EVENT; }
  static bool IsValid(Handle e) { return e != WSA_INVALID_EVENT; }
  static void Close(Handle e) { ::WSACloseEvent(e); }
};
using ScopedWsaEvent = ScopedHandle<WsaEventTraits>;

// Fills an IPv4 address from a dotted address or a host name and a port.
bool ResolveIPv4(const char* host, USHORT port, sockaddr_in* out);
// "a.b.c.d" of an IPv4 address.
std::string AddressText(const sockaddr_in& address);
// Copies text and its NUL into buf when *length (the buffer size) allows; sets
// *length to the size needed, NUL included, either way.
bool CopyTextOut(const std::string& text, char* buf, int* length);
// Keep-alive probes after `time_ms` idle, then every `interval_ms`; a time of
// 0 turns keep-alive off.
void ApplyKeepAlive(SOCKET s, DWORD time_ms, DWORD interval_ms);
// Sends small messages at once instead of waiting to fill a segment: each
// message here is a whole request or push that the peer waits for.
void DisableNagle(SOCKET s);
