// winsim: simulated devices. A USB printer appears as the USB printing class driver presents it:
// a device interface of the USB printer class, a "Device Parameters" registry key with its port
// number, description and serial number, a device that answers IEEE 1284 device-ID and vendor requests, and a sink for print data.
//
// Device handles: CreateFileW on the interface path ("\\?\" or "\\.\" prefix, case-insensitive) opens a
// present attached printer (else ERROR_FILE_NOT_FOUND). ReadFile / WriteFile need GENERIC_READ / GENERIC_WRITE
// and go to OnRead / OnWrite; DeviceIoControl needs no access rights. Once the printer is detached or no longer
// present, calls on its open handles fail with ERROR_DEVICE_NOT_CONNECTED. The On* hooks run without the machine
// lock, so a device model may block or call back into winsim.
//
// DeviceIoControl codes:
//   IOCTL_PAR_QUERY_DEVICE_ID      OnQueryDeviceId() cut to the output size; NUL-terminated when room is left
//                                  (the terminator is not counted in the bytes returned)
//   IOCTL_USBPRINT_GET_1284_ID     the same text after a two-byte big-endian length (text length + 2)
//   IOCTL_USBPRINT_VENDOR_GET_COMMAND  OnVendorGet(input) -> reply cut to the output size
//   IOCTL_USBPRINT_VENDOR_SET_COMMAND  OnVendorSet(input), no output
//   anything else                  ERROR_INVALID_FUNCTION
// A hook that returns failure fails the call with the last error it set, or ERROR_GEN_FAILURE.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

class UsbPrinterDevice {
 public:
  virtual ~UsbPrinterDevice() = default;

  uint16_t vendorId = 0x5E71;
  uint16_t productId = 0x0001;
  std::string serial = "TW0000001";
  DWORD portNumber = 1;                      // "Port Number": 1 is port USB001
  std::string deviceId = "MFG:Tarnwell;CMD:TSPL,ZPL;MDL:TW-QX;CLS:PRINTER;";  // IEEE 1284 device ID text
  std::u16string portDescription = u"Tarnwell USB Printer";
  // false: unplugged but still installed. Skipped by DIGCF_PRESENT enumeration, opens fail, open handles
  // fail with ERROR_DEVICE_NOT_CONNECTED; the registry key stays. May change at any time.
  std::atomic<bool> present{true};
  // When not empty, used as the interface path instead of the one built from the ids (e.g. a path with
  // upper-case ids, or a malformed one).
  std::u16string interfacePath;

  // "\\?\usb#vid_5e71&pid_0001#TW0000001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}" (ids as lower-case hex)
  std::u16string InterfacePath() const;
  // "USB\VID_5E71&PID_0001\TW0000001"
  std::u16string InstanceId() const;

  // Print data from the port (WriteFile on the device, or the port monitor). Default: appended to received().
  virtual BOOL OnWrite(const uint8_t* data, DWORD size, DWORD* written);
  // Data the printer sends back (ReadFile). Default: nothing (0 bytes, success).
  virtual BOOL OnRead(uint8_t* buffer, DWORD size, DWORD* read);
  // IOCTL_PAR_QUERY_DEVICE_ID reply: the device ID text without a length prefix. Default: deviceId.
  virtual std::string OnQueryDeviceId();
  // Vendor requests (IOCTL_USBPRINT_VENDOR_GET_COMMAND / _SET_COMMAND): input[0] request, input[1..2] value,
  // the rest payload. Return false to fail the request. Defaults fail.
  virtual bool OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply);
  virtual bool OnVendorSet(const std::vector<uint8_t>& input);

  std::vector<uint8_t> Received() const;
  void ClearReceived();

 protected:
  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
};

// Attaches a printer: its interface appears to SetupAPI enumeration and its registry key
// HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses\{28d78fad-...}\##?#<path minus 4>\#\Device Parameters
// holds "Port Number" (REG_DWORD), "Port Description", "Serial Number" (the serial) and "Base Name" ("USB"). The path, port
// number and description are taken at attach time. Returns the device; attaching it again is a no-op;
// nullptr when the device is null or another attached printer has the same interface path.
std::shared_ptr<UsbPrinterDevice> AttachUsbPrinter(std::shared_ptr<UsbPrinterDevice> device);
// Removes the printer and its registry key (as when the device is uninstalled). winsim::Reset() detaches all.
void DetachUsbPrinter(const std::shared_ptr<UsbPrinterDevice>& device);
std::vector<std::shared_ptr<UsbPrinterDevice>> UsbPrinters();  // in attach order
// The attached printer (present or not) whose port number formats as `portName` ("USB001"), compared
// case-insensitively as the spooler compares port names; the first attached when several match; nullptr when none.
std::shared_ptr<UsbPrinterDevice> UsbPrinterOnPort(const std::u16string& portName);

// Serial hardware: COMn (1-256) then opens with CreateFileW as "COMn", "COMn:" or "\\.\COMn"; without it such
// opens fail with ERROR_FILE_NOT_FOUND, as on a machine whose serial ports the spooler lists but that has
// none. Default configurations (GetDefaultCommConfigW) exist either way. winsim::Reset() removes them.
void AttachSerialPort(int number);

}  // namespace winsim
