// winsim: the Standard TCP/IP port monitor's XcvData records (tcpxcv.h). The Windows build carries the
// same header in common/wincompat (MinGW-w64 lacks it); one definition serves both.
#pragma once

#include "../../common/wincompat/tcpxcv.h"
