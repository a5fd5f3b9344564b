// A USB printer that counts the device identifier requests it answers.
#pragma once

#include <atomic>
#include <string>

#include "winsim/devices.h"

namespace usbtest {

struct CountingPrinter : winsim::UsbPrinterDevice {
  std::atomic<int> asked{0};
  std::string OnQueryDeviceId() override {
    ++asked;
    return UsbPrinterDevice::OnQueryDeviceId();
  }
};

}  // namespace usbtest
