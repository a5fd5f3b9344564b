// winsim: Windows Sockets 2 over winsim's simulated network (winsock2.h). UDP only: datagram sockets bound
// to an address of a simulated adapter reach the simulated network printers (winsim/network.h); nothing
// touches the host's network.
//
// Behaviour notes:
// - Functions have C++ linkage here so that they never stand in for the host C library's socket calls.
// - Every call but WSAStartup fails with WSANOTINITIALISED until WSAStartup succeeded (counted; each
//   WSACleanup undoes one). WSAStartup accepts versions 1.1 to 2.2 and reports the one asked for.
// - A blocking recvfrom returns as soon as a datagram is queued; closesocket from another thread ends it
//   with SOCKET_ERROR and WSAEINTR, as on Windows. A datagram larger than the buffer is cut and fails with
//   WSAEMSGSIZE. Sending to INADDR_BROADCAST needs SO_BROADCAST (else WSAEACCES).
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

#ifndef MAKEWORD
#define MAKEWORD(a, b) ((WORD)(((BYTE)((a)&0xff)) | ((WORD)((BYTE)((b)&0xff))) << 8))
#define LOBYTE(w) ((BYTE)((w)&0xff))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xff))
#endif

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17
#define SOL_SOCKET 0xffff
#define SO_BROADCAST 0x0020
#define SO_RCVTIMEO 0x1006
#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_BROADCAST ((ULONG)0xffffffff)
#define INADDR_NONE 0xffffffff

#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAEPROTONOSUPPORT 10043
#define WSAENOPROTOOPT 10042
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETUNREACH 10051
#define WSAESHUTDOWN 10058
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
#ifdef _WIN64
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
#else
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
#endif
} WSADATA, *LPWSADATA;

typedef struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
} IN_ADDR, *PIN_ADDR;
#define s_addr S_un.S_addr

typedef struct sockaddr {
  USHORT sa_family;
  CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
  short sin_family;
  USHORT sin_port;
  IN_ADDR sin_addr;
  CHAR sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN;
static_assert(sizeof(sockaddr_in) == 16 && sizeof(sockaddr) == 16);

inline USHORT htons(USHORT v) { return USHORT((v << 8) | (v >> 8)); }
inline USHORT ntohs(USHORT v) { return htons(v); }
inline ULONG htonl(ULONG v) {
  return ((v & 0xFF) << 24) | ((v & 0xFF00) << 8) | ((v >> 8) & 0xFF00) | ((v >> 24) & 0xFF);
}
inline ULONG ntohl(ULONG v) { return htonl(v); }

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WINAPI WSACleanup();
int WINAPI WSAGetLastError();
void WINAPI WSASetLastError(int iError);
SOCKET WINAPI socket(int af, int type, int protocol);
int WINAPI bind(SOCKET s, const struct sockaddr* name, int namelen);
int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int WINAPI sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to, int tolen);
int WINAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen);
int WINAPI recv(SOCKET s, char* buf, int len, int flags);
int WINAPI closesocket(SOCKET s);
// Dotted quad <-> address in network byte order; inet_ntoa returns a per-thread buffer.
ULONG WINAPI inet_addr(const char* cp);
char* WINAPI inet_ntoa(struct in_addr in);
