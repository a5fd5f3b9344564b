// A TWL printer reached through a real device: the language monitor delivers page blocks and polls
// the status as it does for a USB printer on Windows, and the bridge passes both on to the device the
// printer application opened. What the printer reports is kept: which page numbers it acknowledged,
// and the faults it shows, so a job can be resumed with the labels that did not come out.
//
// A device without a control channel for the vendor requests (a file, a raw socket, a USB printer
// reached through the printer application's own USB access) is answered by the bridge's own model of
// the printer: pages count as printed once the device took all their bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "winsim/twlprinter.h"

namespace lblipp {

// The far side of the bridge.
class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  // True when every byte was taken.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Whether vendor requests reach the printer. Without, the bridge answers them itself.
  virtual bool HasControl() const { return false; }
  virtual bool VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
    (void)input, (void)reply;
    return false;
  }
  virtual bool VendorSet(const std::vector<uint8_t>& input) {
    (void)input;
    return false;
  }
};

// A link that its owner cuts when the job that opened the device is done with it: Cut() waits for a
// call in progress, and every later call fails without reaching the device. Whatever the language
// monitor's delivery still does after a job (a thread on its way out, a page block in flight) then
// never touches a device the job has closed.
class CutLink : public DeviceLink {
 public:
  explicit CutLink(std::shared_ptr<DeviceLink> inner);
  bool Write(const uint8_t* data, size_t size) override;
  bool HasControl() const override { return control_; }
  bool VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override;
  bool VendorSet(const std::vector<uint8_t>& input) override;
  void Cut();

 private:
  std::mutex mutex_;
  std::shared_ptr<DeviceLink> inner_;
  const bool control_;
};

// Printer faults as the status byte of a TWL printer reports them (the firmware's bits besides the
// re-print request 0x80), and the offline printer that answers nothing.
enum TwlFault : uint32_t {
  kFaultNone = 0,
  kFaultHeadOpen = 0x01,
  kFaultPaperJam = 0x02,
  kFaultPaperOut = 0x04,
  kFaultRibbonOut = 0x08,
  kFaultPaused = 0x10,
  kFaultCoverOpen = 0x40,
  kFaultStatusBits = 0x5F,
  kFaultOffline = 0x100,  // status requests or writes fail
};
// "paper out, head open" and so on; "" for none.
std::string DescribeFaults(uint32_t faults);

// One status reply: status byte (-1 when its two characters are not hexadecimal), page counter and
// the recent page numbers (those of a reply shorter than 24 bytes are not there).
struct TwlStatus {
  int status = -1;
  uint32_t pageCounter = 0;
  std::vector<uint16_t> recentPages;
};
bool ParseTwlStatus(const std::vector<uint8_t>& reply, TwlStatus* out);

class TwlBridge : public winsim::TwlPrinterDevice {
 public:
  explicit TwlBridge(std::shared_ptr<DeviceLink> link);

  BOOL OnWrite(const uint8_t* data, DWORD size, DWORD* written) override;
  bool OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override;
  bool OnVendorSet(const std::vector<uint8_t>& input) override;

  // The page number of the first page block the monitor tried to send since Reset(); -1 when none.
  int FirstPage() const;
  // Page numbers the printer (or, without a control channel, the bridge's model) reported printed.
  std::set<uint16_t> Acknowledged() const;
  // The faults of the latest status request or write (kFaultOffline when it failed); 0 once the
  // printer answers without a fault bit again.
  uint32_t Faults() const { return faults_.load(); }
  // Status requests and writes since Reset().
  unsigned Requests() const { return requests_.load(); }
  // Forgets what was seen, before the next attempt at a job.
  void ResetTracking();

 private:
  std::shared_ptr<DeviceLink> link_;
  mutable std::mutex trackMutex_;
  int firstPage_ = -1;
  std::set<uint16_t> acked_;
  std::atomic<uint32_t> faults_{0};
  std::atomic<unsigned> requests_{0};
};

}  // namespace lblipp
