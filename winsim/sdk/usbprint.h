// winsim: the USB printing class driver's interface class and I/O control codes (usbprint.h).
#pragma once

#include <winioctl.h>

// Interface class of printers behind the USB printing class driver.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
#define USBPRINT_IOCTL_INDEX 0x0000
// IEEE 1284 device ID with its two-byte big-endian length prefix.
#define IOCTL_USBPRINT_GET_1284_ID CTL_CODE(FILE_DEVICE_UNKNOWN, USBPRINT_IOCTL_INDEX + 13, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_USBPRINT_VENDOR_SET_COMMAND CTL_CODE(FILE_DEVICE_UNKNOWN, USBPRINT_IOCTL_INDEX + 14, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_USBPRINT_VENDOR_GET_COMMAND CTL_CODE(FILE_DEVICE_UNKNOWN, USBPRINT_IOCTL_INDEX + 15, METHOD_BUFFERED, FILE_ANY_ACCESS)
static_assert(IOCTL_USBPRINT_GET_1284_ID == 0x220034);
static_assert(IOCTL_USBPRINT_VENDOR_SET_COMMAND == 0x220038);
static_assert(IOCTL_USBPRINT_VENDOR_GET_COMMAND == 0x22003C);
