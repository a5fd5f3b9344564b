// PortType codes of the port lists, the install records and the install page's hidden column.
#pragma once

#include <cstdint>

enum PortType : uint16_t {
  kPortTypeUsb = 1,
  kPortTypeCom = 2,
  kPortTypeNet = 3,    // standard TCP/IP port or network printer
  kPortTypeTcpIp = 3,  // the engine's name for the same code
  kPortTypeLpt = 6,
  kPortTypeOther = 7,
};
