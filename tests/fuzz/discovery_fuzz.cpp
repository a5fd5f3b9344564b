// Fuzz target: a discovery answer, as anything on the local network may send one to the installer's
// UDP port. The datagram is the input itself, in a buffer exactly as long, so a read past it is caught;
// the parser and the answer handling must keep to the 116 bytes and to the model's 64.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/wstr.h"
#include "installer/discovery.h"
#include "installer/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> datagram(data, data + size);
  WCHAR address[16];
  char model[65];
  memset(model, 0xA5, sizeof model);
  const bool parsed = ParseDiscoveryAnswer(datagram.data(), datagram.size(), address, model);
  if (parsed != (size == kDiscoveryAnswerBytes)) abort();

  static PortLists* lists = [] {
    auto* l = new PortLists;
    InitPortLists(l);
    return l;
  }();
  const size_t before = CountPortList(lists->Network);
  const bool added = HandleDiscoveryAnswer(lists, datagram.data(), datagram.size());
  if (!parsed) {
    if (added) abort();
    return 0;
  }
  const size_t n = strnlen(model, sizeof model);
  if (n > kDiscoveryAnswerModelBytes || memcmp(model, data + kDiscoveryAnswerModelOffset, n) != 0) abort();
  if (added) {
    // Only a known model joins the list, under the address the answer carries.
    const PortEntry* e = lists->Network;
    if (!e || CountPortList(e) != before + 1 || !WStrEq(e->PortName, address)) abort();
    if (!FindModelForDescription(e->Description) || e->PortType != kPortTypeNet) abort();
  } else if (CountPortList(lists->Network) != before) {
    abort();
  }
  if (CountPortList(lists->Network) > 64) FreePortList(&lists->Network);
  return 0;
}
