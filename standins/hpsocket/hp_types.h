#pragma once
// The C interface of HPSocket4C.dll as its callers see it: opaque handles,
// enumerations and callback types, all in the standard call convention.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <atomic>

typedef void* HP_Client;
typedef void* HP_TcpPackClient;
typedef void* HP_SSLPackClient;
typedef void* HP_ClientListener;
typedef void* HP_TcpPackClientListener;
typedef ULONG_PTR HP_CONNID;

enum En_HP_ServiceState {
  HP_SS_STARTING = 0,
  HP_SS_STARTED = 1,
  HP_SS_STOPPING = 2,
  HP_SS_STOPPED = 3,
};

enum En_HP_SocketOperation {
  HP_SO_UNKNOWN = 0,
  HP_SO_ACCEPT = 1,
  HP_SO_CONNECT = 2,
  HP_SO_SEND = 3,
  HP_SO_RECEIVE = 4,
  HP_SO_CLOSE = 5,
};

enum En_HP_HandleResult {
  HP_HR_OK = 0,
  HP_HR_IGNORE = 1,
  HP_HR_ERROR = 2,
};

enum En_HP_SocketError {
  HP_SE_OK = 0,
  HP_SE_ILLEGAL_STATE = 1,
  HP_SE_INVALID_PARAM = 2,
  HP_SE_SOCKET_CREATE = 3,
  HP_SE_SOCKET_BIND = 4,
  HP_SE_SOCKET_PREPARE = 5,
  HP_SE_SOCKET_LISTEN = 6,
  HP_SE_CP_CREATE = 7,
  HP_SE_WORKER_THREAD_CREATE = 8,
  HP_SE_DETECT_THREAD_CREATE = 9,
  HP_SE_SOCKE_ATTACH_TO_CP = 10,
  HP_SE_CONNECT_SERVER = 11,
  HP_SE_NETWORK = 12,
  HP_SE_DATA_PROC = 13,
  HP_SE_DATA_SEND = 14,
  HP_SE_SSL_ENV_NOT_READY = 101,
};

typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnPrepareConnect)(HP_Client, HP_CONNID,
                                                                     UINT_PTR socket);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnConnect)(HP_Client, HP_CONNID);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnHandShake)(HP_Client, HP_CONNID);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnSend)(HP_Client, HP_CONNID, const BYTE*,
                                                           int length);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnReceive)(HP_Client, HP_CONNID, const BYTE*,
                                                              int length);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnClose)(HP_Client, HP_CONNID,
                                                            En_HP_SocketOperation, int error);

// What a listener holds: the callbacks shared by every client created from it.
// They are read at each event, so setting one after Start takes effect at once.
struct ClientListener {
  std::atomic<HP_FN_Client_OnPrepareConnect> on_prepare_connect{nullptr};
  std::atomic<HP_FN_Client_OnConnect> on_connect{nullptr};
  std::atomic<HP_FN_Client_OnHandShake> on_hand_shake{nullptr};
  std::atomic<HP_FN_Client_OnSend> on_send{nullptr};
  std::atomic<HP_FN_Client_OnReceive> on_receive{nullptr};
  std::atomic<HP_FN_Client_OnClose> on_close{nullptr};
};
