#pragma once
// Plain sockets on 127.0.0.1 for the tests' own servers and peers, the same on
// Windows (Winsock) and on Linux. Each function starts Winsock when it needs to.
#include <string>

#ifdef _WIN32
#include <winsock2.h>  // before any windows.h, which would pull in the old winsock.h
using Socket = SOCKET;
inline const Socket kNoSocket = INVALID_SOCKET;
#else
using Socket = int;
inline const Socket kNoSocket = -1;
#endif

// Starts Winsock once for the whole process; nothing to do on Linux.
void StartSockets();
void CloseSocket(Socket s);
// A socket listening on 127.0.0.1:port (0: a port the system picks), its
// number in *bound_port; kNoSocket on failure.
Socket ListenOnLoopback(int port, int backlog, int* bound_port);
// A socket connected to 127.0.0.1:port; kNoSocket when nobody answers.
Socket ConnectToLoopback(int port);
// Writes every byte; false when the socket fails or was closed under us.
bool SendAll(Socket s, const std::string& bytes);
// A port of 127.0.0.1 that nothing listens on right now (0 on failure).
int UnusedLoopbackPort();
