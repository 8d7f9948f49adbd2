// Messages per second that a bare PackClient receive loop takes in.
// Usage: pack_client_bench.exe <port> <messages> <body bytes>
// Connects to 127.0.0.1:<port> (pack_sender.py sends the messages as soon as
// the connection is accepted), counts whole bodies and prints the rate.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "link/pack_client.h"

namespace {

std::atomic<long> g_received{0};
std::atomic<long long> g_bytes{0};
long g_expected = 0;
HANDLE g_done = nullptr;

En_HP_HandleResult __stdcall CountReceive(HP_Client, HP_CONNID, const BYTE*, int length) {
  g_bytes += length;
  if (++g_received == g_expected) SetEvent(g_done);
  return HP_HR_OK;
}

En_HP_HandleResult __stdcall NoteClose(HP_Client, HP_CONNID, En_HP_SocketOperation op, int error) {
  if (g_received < g_expected) std::fprintf(stderr, "closed early: %d %d\n", op, error);
  SetEvent(g_done);
  return HP_HR_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <port> <messages> <body bytes>\n", argv[0]);
    return 2;
  }
  USHORT port = static_cast<USHORT>(std::atoi(argv[1]));
  g_expected = std::atol(argv[2]);
  int size = std::atoi(argv[3]);
  g_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);

  PackClient wrapper;
  HP_Client client = wrapper.Create(false);
  if (client == nullptr || client == NoListenerClient()) return 1;
  wrapper.SetOnReceive(CountReceive);
  wrapper.SetOnClose(NoteClose);
  wrapper.SetMaxPackSize(client, 0x300000);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!wrapper.Start(client, "127.0.0.1", port, false)) {
    std::fprintf(stderr, "connect failed\n");
    return 1;
  }
  WaitForSingleObject(g_done, 120000);
  QueryPerformanceCounter(&end);
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  std::printf("body %6d B: %ld messages in %.3f s = %.0f msg/s, %.1f MB/s\n", size,
              g_received.load(), seconds, g_received / seconds, g_bytes / seconds / 1e6);
  wrapper.Stop(client);
  wrapper.Destroy(client, false);
  return g_received == g_expected ? 0 : 1;
}
