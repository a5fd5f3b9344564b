// winsim: a TWL label printer on a USB port. Its device identifier names TWL ("CMD:TWL;"); it answers the
// vendor requests the language monitor and the printer tools send, and keeps what it was sent.
//
// Vendor GET requests (input byte 0):
//   1  status: two hexadecimal digits of the status byte (bit 0x80 asks for a re-print), six decimal digits
//      of the page counter, then the eight recently printed page numbers, two bytes each, high byte first
//      (24 bytes in all)
//   2  the version text
//   n  the reply set with SetVendorReply(n, ...); other requests fail
// Vendor SET requests succeed and are recorded.
// Tests make it go offline (every request and write fails), answer a status request with bytes of their
// choosing, refuse or shorten writes. All members are safe to use while monitor threads talk to it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "winsim/devices.h"

namespace winsim {

class TwlPrinterDevice : public UsbPrinterDevice {
 public:
  TwlPrinterDevice();

  void SetOffline(bool offline);
  void SetStatusByte(uint8_t status);
  void SetPageCounter(uint32_t counter);  // shown modulo 1000000
  void SetRecentPages(const std::vector<uint16_t>& pages);  // newest first; at most eight are kept
  // Asks for every page after `lastGoodPage` again: sets status bit 0x80 and the page counter.
  void RequestReprintAfter(uint32_t lastGoodPage);
  void SetVersionText(const std::string& text);
  // The next status requests answer exactly these bytes (cut to the caller's buffer); nullopt: the
  // regular 24-byte reply.
  void SetStatusReply(std::optional<std::vector<uint8_t>> raw);
  void SetVendorReply(uint8_t request, const std::vector<uint8_t>& reply);
  // Writes fail (`refuse`) or take at most `limit` bytes per call (0: no limit).
  void SetWriteFaults(bool refuse, DWORD limit = 0);

  std::vector<uint8_t> StatusReply() const;  // the regular reply for the current state
  uint8_t StatusByte() const;
  uint32_t PageCounter() const;
  std::vector<std::vector<uint8_t>> SetRequests() const;  // inputs of the vendor SET requests, in order
  unsigned StatusRequests() const;                        // vendor GET request 1 received

  BOOL OnWrite(const uint8_t* data, DWORD size, DWORD* written) override;
  bool OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override;
  bool OnVendorSet(const std::vector<uint8_t>& input) override;

 private:
  std::vector<uint8_t> StatusReplyLocked() const;

  bool offline_ = false;
  uint8_t status_ = 0;
  uint32_t pageCounter_ = 0;
  uint16_t recent_[8] = {};
  std::string version_ = "TW-T4 FW 1.00";
  std::optional<std::vector<uint8_t>> statusOverride_;
  std::map<uint8_t, std::vector<uint8_t>> replies_;
  std::vector<std::vector<uint8_t>> setRequests_;
  unsigned statusRequests_ = 0;
  bool refuseWrites_ = false;
  DWORD writeLimit_ = 0;
};

}  // namespace winsim
