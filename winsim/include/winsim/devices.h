// winsim: simulated devices. A USB printer appears as the USB printing class driver presents it:
// a device interface of the USB printer class, a "Device Parameters" registry key with its port
// number, a device that answers IEEE 1284 device-ID and vendor requests, and a sink for print data.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winsim/win32.h"

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
  bool present = true;                       // false: unplugged (opens fail)

  // "\\?\usb#vid_5e71&pid_0001#TW0000001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"
  std::u16string InterfacePath() const;

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
// holds "Port Number" (REG_DWORD) and "Port Description" (REG_SZ). Returns the device.
std::shared_ptr<UsbPrinterDevice> AttachUsbPrinter(std::shared_ptr<UsbPrinterDevice> device);
void DetachUsbPrinter(const std::shared_ptr<UsbPrinterDevice>& device);
std::vector<std::shared_ptr<UsbPrinterDevice>> UsbPrinters();
// The attached printer whose port number formats as `portName` ("USB001"); nullptr when none.
std::shared_ptr<UsbPrinterDevice> UsbPrinterOnPort(const std::u16string& portName);

}  // namespace winsim
