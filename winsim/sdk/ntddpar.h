// winsim: the parallel-class I/O control codes (ntddpar.h) that USB printers answer too.
#pragma once

#include <winioctl.h>

// IEEE 1284 device ID text (no length prefix).
#define IOCTL_PAR_QUERY_DEVICE_ID CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 3, METHOD_BUFFERED, FILE_ANY_ACCESS)  // 0x16000C
static_assert(IOCTL_PAR_QUERY_DEVICE_ID == 0x16000C);
