// winsim: ws2tcpip.h. The simulated network has only what winsock2.h declares.
#pragma once

#include <winsock2.h>
