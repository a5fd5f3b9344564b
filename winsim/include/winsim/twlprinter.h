// winsim: a TWL label printer on a USB port. Its device identifier names TWL ("CMD:TWL;"); it answers the
// vendor requests the language monitor and the printer tools send, prints the page blocks it is sent and
// keeps what it was sent.
//
// Printing: every write is read on its own (the monitor sends each page file in one write) as a run of
// items: a page block ("SIZ"), the 7-byte job header (1B 73 ...), or anything else, taken as command text
// up to the end of the write. A complete page block whose row counts match its rows is printed: it joins
// PrintedPages(), the page counter becomes its page number and it goes to the front of the recent pages;
// printing also ends a re-print request. A block cut short (a short write) or whose rows do not match is
// torn: it is not printed and the printer asks for every page after the last one it printed (status bit
// 0x80, page counter at that page).
//
// Vendor GET requests (input byte 0):
//   1  status: two hexadecimal digits of the status byte (bit 0x80 asks for a re-print), six decimal digits
//      of the page counter, then the eight recently printed page numbers, two bytes each, high byte first
//      (24 bytes in all)
//   2  the version text
//   5  the firmware-update state: byte 0 bit 0 = in update mode, bits 1-2 = transfer state
//   7  the firmware checksum, 16-bit little-endian
//   n  the reply set with SetVendorReply(n, ...) (it also overrides 5 and 7); other requests fail
// Vendor SET requests succeed and are recorded; 3 and 4 drive the firmware model below.
//
// Firmware model (timed on winsim's clock): SET 3 enters update mode kModeSwitchMs later; from then on writes
// are the bytes of a firmware file instead of print data. SET 4 ends the file: the printer checks it for
// kCheckMs (transfer state 2): the first 91 bytes must read "H","W",any,"V", the 64-byte model text at 20
// must contain the model of the device ID, and the CRC-16/ARC of the bytes after the header must equal the
// signed 16-bit checksum at 89. A refused header or model leaves it in update mode with state 1, a wrong
// checksum with state 3. A good file restarts it: it answers no request for kRestartMs, then leaves update
// mode running the file's version (bytes 6-17, shown after the first five characters of the version text)
// and checksum. SET 3 in update mode starts a new file.
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

// A TWL page block as the printer reads it.
struct TwlPage {
  uint16_t number = 0;      // the page counter field (bytes 12-13)
  uint8_t media = 0;        // 1 gap, 2 black mark, 0 continuous
  uint16_t paperWidth = 0;  // dots
  uint16_t length = 0;      // raster rows as bytes 6-7 state them
  uint16_t gap = 0;         // dots
  uint16_t gapOffset = 0;   // dots
  uint16_t rowBytes = 0;    // raster bytes per row (the row length field less the 2-byte dot count)
  uint16_t rows = 0;
  std::vector<uint8_t> raster;  // rows x rowBytes, most significant bit leftmost, 1 = black
};

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
  // Counted faults, each used up by the writes or pages it hits:
  void FailNextWrites(unsigned count);                  // fail with ERROR_NOT_READY, take nothing
  void ShortenNextWrites(unsigned count, DWORD limit);  // of page blocks: take at most `limit` bytes
  void FailPageWrites(uint16_t page, unsigned times);   // writes that start with that page's block
  // The next `times` blocks of page `page` are received but not printed. The printer then asks for every
  // page after `reprintAfter` (status bit 0x80, page counter at it): kAfterLastPrinted, as for a torn
  // block, or a page number of the test's choosing; kSilently loses the page without asking.
  // kSilentlyThenEarlier loses it without a word, and once the next page has been printed asks for every
  // page after the one printed before the lost one: a late request from a counter below pages it printed.
  static constexpr int64_t kAfterLastPrinted = -1;
  static constexpr int64_t kSilently = -2;
  static constexpr int64_t kSilentlyThenEarlier = -3;
  void LosePage(uint16_t page, unsigned times = 1, int64_t reprintAfter = kAfterLastPrinted);
  // The same, once, for the page block that arrives after the next `blocks` printed ones, whatever its number.
  void LoseBlockAfter(unsigned blocks, int64_t reprintAfter = kAfterLastPrinted);
  // Goes offline (as SetOffline(true)) once `pages` more pages have been printed; 0 cancels.
  void GoOfflineAfterPages(unsigned pages);
  void ClearFaults();  // every counted fault above that has not fired yet

  // ---- firmware ----
  static constexpr DWORD kModeSwitchMs = 1500;
  static constexpr DWORD kCheckMs = 1000;
  static constexpr DWORD kRestartMs = 1000;
  static constexpr size_t kFirmwareHeaderBytes = 91;
  void SetFirmware(const std::string& version, uint16_t checksum);
  std::string FirmwareVersion() const;  // the version text after its first five characters
  uint16_t FirmwareChecksum() const;
  bool InUpdateMode() const;
  uint8_t TransferState() const;
  std::vector<uint8_t> FirmwareReceived() const;  // the file of the current or last update
  unsigned FirmwareUpdates() const;               // files accepted and installed
  // Faults: SET 3 is taken but update mode never comes; after a good file the printer stays in update mode
  // (and keeps its old firmware); the printer computes a checksum other than the file's (state 3).
  void NeverEnterUpdateMode(bool on);
  void StayInUpdateMode(bool on);
  void CorruptFirmwareChecksum(bool on);
  // A firmware file this model accepts: the header with `model` text, `version` and the checksum of
  // `bodyBytes` bytes of pattern that follow it.
  static std::vector<uint8_t> MakeFirmwareFile(const std::string& model, const std::string& version,
                                               size_t bodyBytes);
  // What a saved machine keeps of the printer: the version text and checksum of the firmware it runs, the
  // files it installed and its page counter.
  struct Kept {
    std::string versionText;
    uint16_t checksum = 0;
    unsigned updates = 0;
    uint32_t pageCounter = 0;
  };
  Kept KeptState() const;
  void RestoreKeptState(const Kept& kept);

  std::vector<TwlPage> PrintedPages() const;
  std::vector<uint16_t> ReceivedPageNumbers() const;  // every page block received, in order, printed or not
  std::vector<std::vector<uint8_t>> OtherItems() const;  // job headers and command texts, in order
  unsigned TornBlocks() const;
  unsigned LostPages() const;
  void ClearPrinted();  // forgets printed pages, received numbers, other items and the counts

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
  void PrintItemsLocked(const uint8_t* data, size_t size);
  void AskReprintLocked();
  void LoseLocked(int64_t reprintAfter);
  void PrintPageLocked(TwlPage page);
  void FirmwareTimeLocked();  // moves the firmware model to the clock's present
  template <class T>
  T FirmwareField(const T& field) const;  // read with the firmware model at the present
  uint8_t CheckFirmwareLocked() const;  // transfer state after the check: 0 good, 1 or 3
  std::string ModelLocked() const;

  bool updateMode_ = false;
  uint8_t transferState_ = 0;
  uint16_t checksum_ = 0x5A3C;
  std::vector<uint8_t> firmware_;
  uint64_t enterAt_ = 0;    // 0: none pending
  uint64_t checkedAt_ = 0;
  uint64_t restartAt_ = 0;
  uint8_t checkResult_ = 0;
  unsigned updates_ = 0;
  bool neverEnter_ = false, stayInUpdate_ = false, corruptChecksum_ = false;

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
  unsigned failWrites_ = 0;
  unsigned shortWrites_ = 0;
  DWORD shortLimit_ = 0;
  struct Loss {
    unsigned times = 0;
    int64_t reprintAfter = kAfterLastPrinted;
  };
  std::map<uint16_t, Loss> lose_;
  int64_t loseCountdown_ = -1;  // blocks to let through before the next one is lost; -1: none
  int64_t loseCountdownReprint_ = kAfterLastPrinted;
  int64_t lateReprintAfter_ = -1;  // kSilentlyThenEarlier: the counter to ask from after the next page
  std::map<uint16_t, unsigned> failPages_;
  unsigned offlineAfter_ = 0;
  uint32_t lastPrinted_ = 0;
  std::vector<TwlPage> printed_;
  std::vector<uint16_t> receivedNumbers_;
  std::vector<std::vector<uint8_t>> other_;
  unsigned torn_ = 0;
  unsigned lost_ = 0;
};

}  // namespace winsim
