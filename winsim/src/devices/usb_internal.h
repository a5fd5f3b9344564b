// The simulated USB printers as SetupAPI (setupapi/) sees them.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace winsim::detail {

struct UsbInterface {
  std::u16string path, instanceId;
  DWORD devInst;
  bool present;
};
std::vector<UsbInterface> UsbInterfaces();  // attached printers in attach order

}  // namespace winsim::detail
