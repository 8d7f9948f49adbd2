#pragma once
// The TCP socket library HPSocket4C.dll in pack mode: standard call for every
// function and callback, handles as opaque pointers, texts as code page 936.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include "ext/runtime_library.h"

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

// What every callback returns; an unset callback counts as HP_HR_IGNORE.
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
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnSend)(HP_Client, HP_CONNID, const BYTE* data,
                                                           int length);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnReceive)(HP_Client, HP_CONNID,
                                                              const BYTE* data, int length);
typedef En_HP_HandleResult(__stdcall* HP_FN_Client_OnClose)(HP_Client, HP_CONNID,
                                                            En_HP_SocketOperation operation,
                                                            int error_code);

#define HPSOCKET_DLL_FUNCTIONS(X)                                                                \
  X(Create_HP_TcpPackClientListener, HP_TcpPackClientListener(__stdcall*)())                     \
  X(Destroy_HP_TcpPackClientListener, void(__stdcall*)(HP_TcpPackClientListener))                \
  X(Create_HP_TcpPackClient, HP_TcpPackClient(__stdcall*)(HP_TcpPackClientListener))             \
  X(Destroy_HP_TcpPackClient, void(__stdcall*)(HP_TcpPackClient))                                \
  X(Create_HP_SSLPackClient, HP_SSLPackClient(__stdcall*)(HP_TcpPackClientListener))             \
  X(Destroy_HP_SSLPackClient, void(__stdcall*)(HP_SSLPackClient))                                \
  X(HP_Set_FN_Client_OnPrepareConnect,                                                           \
    void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnPrepareConnect))                          \
  X(HP_Set_FN_Client_OnConnect, void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnConnect))     \
  X(HP_Set_FN_Client_OnHandShake, void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnHandShake)) \
  X(HP_Set_FN_Client_OnSend, void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnSend))           \
  X(HP_Set_FN_Client_OnReceive, void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnReceive))     \
  X(HP_Set_FN_Client_OnClose, void(__stdcall*)(HP_ClientListener, HP_FN_Client_OnClose))         \
  X(HP_Client_Start, BOOL(__stdcall*)(HP_Client, const char*, USHORT, BOOL))                     \
  X(HP_Client_StartWithBindAddress,                                                              \
    BOOL(__stdcall*)(HP_Client, const char*, USHORT, BOOL, const char*))                         \
  X(HP_Client_StartWithBindAddressAndLocalPort,                                                  \
    BOOL(__stdcall*)(HP_Client, const char*, USHORT, BOOL, const char*, USHORT))                 \
  X(HP_Client_Stop, BOOL(__stdcall*)(HP_Client))                                                 \
  X(HP_Client_Send, BOOL(__stdcall*)(HP_Client, const BYTE*, int))                               \
  X(HP_Client_SendPart, BOOL(__stdcall*)(HP_Client, const BYTE*, int, int))                      \
  X(HP_Client_SendPackets, BOOL(__stdcall*)(HP_Client, const WSABUF*, int))                      \
  X(HP_Client_PauseReceive, BOOL(__stdcall*)(HP_Client, BOOL))                                   \
  X(HP_Client_SetExtra, void(__stdcall*)(HP_Client, PVOID))                                      \
  X(HP_Client_GetExtra, PVOID(__stdcall*)(HP_Client))                                            \
  X(HP_Client_IsSecure, BOOL(__stdcall*)(HP_Client))                                             \
  X(HP_Client_HasStarted, BOOL(__stdcall*)(HP_Client))                                           \
  X(HP_Client_IsConnected, BOOL(__stdcall*)(HP_Client))                                          \
  X(HP_Client_GetState, En_HP_ServiceState(__stdcall*)(HP_Client))                               \
  X(HP_Client_GetLastError, En_HP_SocketError(__stdcall*)(HP_Client))                            \
  X(HP_Client_GetLastErrorDesc, LPCSTR(__stdcall*)(HP_Client))                                   \
  X(HP_Client_GetConnectionID, HP_CONNID(__stdcall*)(HP_Client))                                 \
  X(HP_Client_GetLocalAddress, BOOL(__stdcall*)(HP_Client, char*, int*, USHORT*))                \
  X(HP_Client_GetRemoteHost, BOOL(__stdcall*)(HP_Client, char*, int*, USHORT*))                  \
  X(HP_Client_GetPendingDataLength, BOOL(__stdcall*)(HP_Client, int*))                           \
  X(HP_Client_IsPauseReceive, BOOL(__stdcall*)(HP_Client, BOOL*))                                \
  X(HP_Client_SetFreeBufferPoolSize, void(__stdcall*)(HP_Client, DWORD))                         \
  X(HP_Client_SetFreeBufferPoolHold, void(__stdcall*)(HP_Client, DWORD))                         \
  X(HP_Client_GetFreeBufferPoolSize, DWORD(__stdcall*)(HP_Client))                               \
  X(HP_Client_GetFreeBufferPoolHold, DWORD(__stdcall*)(HP_Client))                               \
  X(HP_TcpClient_SendSmallFile,                                                                  \
    BOOL(__stdcall*)(HP_Client, const char*, const WSABUF*, const WSABUF*))                      \
  X(HP_TcpClient_SetSocketBufferSize, void(__stdcall*)(HP_Client, DWORD))                        \
  X(HP_TcpClient_SetKeepAliveTime, void(__stdcall*)(HP_Client, DWORD))                           \
  X(HP_TcpClient_SetKeepAliveInterval, void(__stdcall*)(HP_Client, DWORD))                       \
  X(HP_TcpClient_GetSocketBufferSize, DWORD(__stdcall*)(HP_Client))                              \
  X(HP_TcpClient_GetKeepAliveTime, DWORD(__stdcall*)(HP_Client))                                 \
  X(HP_TcpClient_GetKeepAliveInterval, DWORD(__stdcall*)(HP_Client))                             \
  X(HP_TcpPackClient_SetMaxPackSize, void(__stdcall*)(HP_Client, DWORD))                         \
  X(HP_TcpPackClient_GetMaxPackSize, DWORD(__stdcall*)(HP_Client))                               \
  X(HP_TcpPackClient_SetPackHeaderFlag, void(__stdcall*)(HP_Client, USHORT))                     \
  X(HP_TcpPackClient_GetPackHeaderFlag, USHORT(__stdcall*)(HP_Client))                           \
  X(HP_SSLClient_SetupSSLContext,                                                                \
    BOOL(__stdcall*)(HP_Client, int, const char*, const char*, const char*, const char*))        \
  X(HP_SSLClient_CleanupSSLContext, void(__stdcall*)(HP_Client))                                 \
  X(HP_SSLClient_StartSSLHandShake, BOOL(__stdcall*)(HP_Client))

struct HpSocketApi {
  HPSOCKET_DLL_FUNCTIONS(LUMO_DECLARE_FUNCTION_POINTER)
};

// The functions of HPSocket4C.dll from the program folder, looked up on first
// use; a missing library or function leaves its pointer null.
const HpSocketApi& HpSocket();
