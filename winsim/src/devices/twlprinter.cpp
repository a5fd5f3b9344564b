// The simulated TWL label printer: device identifier, vendor requests, status and faults.
#include "winsim/twlprinter.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "common/twlblock.h"
#include "internal.h"

namespace winsim {

namespace {

constexpr size_t kPageHeaderBytes = kTwlBlockHeaderBytes;
constexpr size_t kJobHeaderBytes = 7;

uint16_t U16(const uint8_t* p) { return TwlU16(p); }

// CRC-16/ARC (reflected 0xA001, initial 0): the firmware file's checksum.
uint16_t FirmwareCrc(const uint8_t* data, size_t len) {
  uint16_t crc = 0;
  for (size_t i = 0; i < len; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

TwlPage PrintedPage(const TwlPageBlock& b) {
  TwlPage p{.number = b.number, .media = b.media, .paperWidth = b.paperWidth, .length = b.length, .gap = b.gap,
            .gapOffset = b.gapOffset, .rowBytes = b.RowBytes(), .rows = b.rows};
  p.raster.reserve(size_t(p.rows) * p.rowBytes);
  for (uint32_t y = 0; y < b.rows; ++y) p.raster.insert(p.raster.end(), b.RowBits(y), b.RowBits(y) + p.rowBytes);
  return p;
}

// The device's settings and counters, read and set under its lock.
template <class T>
T Read(std::mutex& m, const T& field) {
  std::lock_guard<std::mutex> l(m);
  return field;
}
template <class T, class V>
void Write(std::mutex& m, T& field, V&& value) {
  std::lock_guard<std::mutex> l(m);
  field = std::forward<V>(value);
}

}  // namespace

TwlPrinterDevice::TwlPrinterDevice() {
  productId = 0x0004;
  serial = "TW0000004";
  deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-T4;CLS:PRINTER;";
  portDescription = u"Tarnwell TWL USB Printer";
}

void TwlPrinterDevice::SetOffline(bool offline) { Write(mutex_, offline_, offline); }

void TwlPrinterDevice::SetStatusByte(uint8_t status) { Write(mutex_, status_, status); }

void TwlPrinterDevice::SetPageCounter(uint32_t counter) {
  std::lock_guard<std::mutex> l(mutex_);
  pageCounter_ = lastPrinted_ = counter;
}

void TwlPrinterDevice::SetRecentPages(const std::vector<uint16_t>& pages) {
  std::lock_guard<std::mutex> l(mutex_);
  for (size_t i = 0; i < 8; ++i) recent_[i] = i < pages.size() ? pages[i] : 0;
}

void TwlPrinterDevice::RequestReprintAfter(uint32_t lastGoodPage) {
  std::lock_guard<std::mutex> l(mutex_);
  status_ |= 0x80;
  pageCounter_ = lastGoodPage;
}

void TwlPrinterDevice::SetVersionText(const std::string& text) { Write(mutex_, version_, text); }

void TwlPrinterDevice::SetStatusReply(std::optional<std::vector<uint8_t>> raw) {
  Write(mutex_, statusOverride_, std::move(raw));
}

void TwlPrinterDevice::SetVendorReply(uint8_t request, const std::vector<uint8_t>& reply) {
  std::lock_guard<std::mutex> l(mutex_);
  replies_[request] = reply;
}

void TwlPrinterDevice::SetWriteFaults(bool refuse, DWORD limit) {
  std::lock_guard<std::mutex> l(mutex_);
  refuseWrites_ = refuse;
  writeLimit_ = limit;
}

std::vector<uint8_t> TwlPrinterDevice::StatusReplyLocked() const {
  char text[9];
  snprintf(text, sizeof text, "%02X%06u", unsigned(status_), unsigned(pageCounter_ % 1000000));
  std::vector<uint8_t> reply(text, text + 8);
  for (uint16_t page : recent_) {
    reply.push_back(uint8_t(page >> 8));
    reply.push_back(uint8_t(page & 0xFF));
  }
  return reply;
}

std::vector<uint8_t> TwlPrinterDevice::StatusReply() const {
  std::lock_guard<std::mutex> l(mutex_);
  return StatusReplyLocked();
}

uint8_t TwlPrinterDevice::StatusByte() const { return Read(mutex_, status_); }

uint32_t TwlPrinterDevice::PageCounter() const { return Read(mutex_, pageCounter_); }

std::vector<std::vector<uint8_t>> TwlPrinterDevice::SetRequests() const { return Read(mutex_, setRequests_); }

unsigned TwlPrinterDevice::StatusRequests() const { return Read(mutex_, statusRequests_); }

void TwlPrinterDevice::FailNextWrites(unsigned count) { Write(mutex_, failWrites_, count); }

void TwlPrinterDevice::ShortenNextWrites(unsigned count, DWORD limit) {
  std::lock_guard<std::mutex> l(mutex_);
  shortWrites_ = count;
  shortLimit_ = limit;
}

void TwlPrinterDevice::FailPageWrites(uint16_t page, unsigned times) {
  std::lock_guard<std::mutex> l(mutex_);
  failPages_[page] = times;
}

void TwlPrinterDevice::LosePage(uint16_t page, unsigned times, int64_t reprintAfter) {
  std::lock_guard<std::mutex> l(mutex_);
  lose_[page] = Loss{times, reprintAfter};
}

void TwlPrinterDevice::LoseBlockAfter(unsigned blocks, int64_t reprintAfter) {
  std::lock_guard<std::mutex> l(mutex_);
  loseCountdown_ = blocks;
  loseCountdownReprint_ = reprintAfter;
}

void TwlPrinterDevice::ClearFaults() {
  std::lock_guard<std::mutex> l(mutex_);
  failWrites_ = shortWrites_ = offlineAfter_ = 0;
  failPages_.clear();
  lose_.clear();
  loseCountdown_ = -1;
  lateReprintAfter_ = -1;
}

void TwlPrinterDevice::GoOfflineAfterPages(unsigned pages) { Write(mutex_, offlineAfter_, pages); }

std::vector<TwlPage> TwlPrinterDevice::PrintedPages() const { return Read(mutex_, printed_); }

std::vector<uint16_t> TwlPrinterDevice::ReceivedPageNumbers() const { return Read(mutex_, receivedNumbers_); }

std::vector<std::vector<uint8_t>> TwlPrinterDevice::OtherItems() const { return Read(mutex_, other_); }

unsigned TwlPrinterDevice::TornBlocks() const { return Read(mutex_, torn_); }

unsigned TwlPrinterDevice::LostPages() const { return Read(mutex_, lost_); }

void TwlPrinterDevice::ClearPrinted() {
  std::lock_guard<std::mutex> l(mutex_);
  printed_.clear();
  receivedNumbers_.clear();
  other_.clear();
  torn_ = 0;
  lost_ = 0;
}

void TwlPrinterDevice::AskReprintLocked() {
  status_ |= 0x80;
  pageCounter_ = lastPrinted_;
}

void TwlPrinterDevice::LoseLocked(int64_t reprintAfter) {
  ++lost_;
  if (reprintAfter == kAfterLastPrinted) {
    AskReprintLocked();
  } else if (reprintAfter == kSilentlyThenEarlier) {
    lateReprintAfter_ = lastPrinted_;
  } else if (reprintAfter >= 0) {
    status_ |= 0x80;
    pageCounter_ = uint32_t(reprintAfter);
  }
}

void TwlPrinterDevice::PrintPageLocked(TwlPage page) {
  status_ &= ~0x80;
  pageCounter_ = lastPrinted_ = page.number;
  for (int i = 7; i > 0; --i) recent_[i] = recent_[i - 1];
  recent_[0] = page.number;
  printed_.push_back(std::move(page));
  if (lateReprintAfter_ >= 0) {
    status_ |= 0x80;
    pageCounter_ = uint32_t(lateReprintAfter_);
    lateReprintAfter_ = -1;
  }
  if (offlineAfter_ && --offlineAfter_ == 0) offline_ = true;
}

void TwlPrinterDevice::PrintItemsLocked(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    const TwlPageBlock block = ReadTwlPageBlock(data + at, size - at);
    size_t used = block.used;
    switch (block.status) {
      case TwlBlockStatus::Page: {
        TwlPage page = PrintedPage(block);
        receivedNumbers_.push_back(page.number);
        if (auto loss = lose_.find(page.number); loss != lose_.end() && loss->second.times > 0) {
          --loss->second.times;
          LoseLocked(loss->second.reprintAfter);
        } else if (loseCountdown_ == 0) {
          loseCountdown_ = -1;
          LoseLocked(loseCountdownReprint_);
        } else {
          if (loseCountdown_ > 0) --loseCountdown_;
          PrintPageLocked(std::move(page));
        }
        break;
      }
      case TwlBlockStatus::Torn:
      case TwlBlockStatus::Corrupt:
        if (size - at >= 14) receivedNumbers_.push_back(U16(data + at + 12));
        ++torn_;
        AskReprintLocked();
        break;
      case TwlBlockStatus::NotAPage:
        if (size - at >= kJobHeaderBytes && data[at] == 0x1B && data[at + 1] == 0x73) {
          used = kJobHeaderBytes;
        } else {
          used = size - at;  // command text runs to the end of the write
        }
        other_.emplace_back(data + at, data + at + used);
        break;
    }
    at += used;
  }
}

BOOL TwlPrinterDevice::OnWrite(const uint8_t* data, DWORD size, DWORD* written) {
  if (written) *written = 0;
  std::lock_guard<std::mutex> l(mutex_);
  bool fail = offline_ || refuseWrites_;
  if (!fail && failWrites_) {
    --failWrites_;
    fail = true;
  }
  if (!fail && size >= kPageHeaderBytes && memcmp(data, "SIZ", 3) == 0) {
    auto it = failPages_.find(U16(data + 12));
    if (it != failPages_.end() && it->second > 0) {
      --it->second;
      fail = true;
    }
  }
  if (fail) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  DWORD n = writeLimit_ && size > writeLimit_ ? writeLimit_ : size;
  FirmwareTimeLocked();
  if (updateMode_) {  // the bytes of a firmware file
    if (!checkedAt_ && !restartAt_) firmware_.insert(firmware_.end(), data, data + n);
    if (written) *written = n;
    return TRUE;
  }
  if (shortWrites_ && size >= 3 && memcmp(data, "SIZ", 3) == 0) {
    --shortWrites_;
    if (n > shortLimit_) n = shortLimit_;
  }
  received_.insert(received_.end(), data, data + n);
  PrintItemsLocked(data, n);
  if (written) *written = n;
  return TRUE;
}

bool TwlPrinterDevice::OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
  std::lock_guard<std::mutex> l(mutex_);
  FirmwareTimeLocked();
  if (offline_ || input.empty() || restartAt_) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  if (!replies_.count(input[0])) {
    if (input[0] == 5) {
      *reply = {uint8_t((updateMode_ ? 1 : 0) | (transferState_ << 1))};
      return true;
    }
    if (input[0] == 7) {
      *reply = {uint8_t(checksum_ & 0xFF), uint8_t(checksum_ >> 8)};
      return true;
    }
  }
  switch (input[0]) {
    case 1:
      ++statusRequests_;
      *reply = statusOverride_ ? *statusOverride_ : StatusReplyLocked();
      return true;
    case 2:
      reply->assign(version_.begin(), version_.end());
      return true;
    default: {
      auto it = replies_.find(input[0]);
      if (it == replies_.end()) return false;
      *reply = it->second;
      return true;
    }
  }
}

bool TwlPrinterDevice::OnVendorSet(const std::vector<uint8_t>& input) {
  std::lock_guard<std::mutex> l(mutex_);
  if (offline_) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  FirmwareTimeLocked();
  if (restartAt_) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  setRequests_.push_back(input);
  if (!input.empty() && input[0] == 3) {
    if (updateMode_) {
      firmware_.clear();
      transferState_ = 0;
      checkedAt_ = 0;
    } else if (!neverEnter_ && !enterAt_) {
      enterAt_ = detail::TickNow() + kModeSwitchMs;
    }
  } else if (!input.empty() && input[0] == 4 && updateMode_ && !checkedAt_ && transferState_ == 0) {
    transferState_ = 2;
    checkedAt_ = detail::TickNow() + kCheckMs;
  }
  return true;
}

// ---- firmware model ----

std::string TwlPrinterDevice::ModelLocked() const {
  size_t at = deviceId.find("MDL:");
  if (at == std::string::npos) return {};
  at += 4;
  return deviceId.substr(at, deviceId.find(';', at) - at);
}

uint8_t TwlPrinterDevice::CheckFirmwareLocked() const {
  const auto& f = firmware_;
  if (f.size() < kFirmwareHeaderBytes || f[0] != 'H' || f[1] != 'W' || f[3] != 'V') return 1;
  std::string modelText(reinterpret_cast<const char*>(&f[20]), 64);
  modelText.resize(strnlen(modelText.c_str(), 64));
  const std::string model = ModelLocked();
  if (model.empty() || modelText.find(model) == std::string::npos) return 1;
  uint16_t crc = FirmwareCrc(f.data() + kFirmwareHeaderBytes, f.size() - kFirmwareHeaderBytes);
  if (corruptChecksum_) crc ^= 0x0101;
  return crc == uint16_t(f[89] | (f[90] << 8)) ? 0 : 3;
}

void TwlPrinterDevice::FirmwareTimeLocked() {
  const uint64_t now = detail::TickNow();
  if (enterAt_ && now >= enterAt_) {
    enterAt_ = 0;
    updateMode_ = true;
    transferState_ = 0;
    firmware_.clear();
  }
  if (checkedAt_ && now >= checkedAt_) {
    checkResult_ = CheckFirmwareLocked();
    transferState_ = checkResult_;
    if (checkResult_ == 0) restartAt_ = checkedAt_ + kRestartMs;  // timed from the check's end
    checkedAt_ = 0;
  }
  if (restartAt_ && now >= restartAt_) {
    restartAt_ = 0;
    transferState_ = 0;
    if (!stayInUpdate_) {
      const auto& f = firmware_;
      std::string version(reinterpret_cast<const char*>(&f[6]), 12);
      version.resize(strnlen(version.c_str(), 12));
      std::string prefix = version_.substr(0, 5);
      prefix.resize(5, ' ');
      version_ = prefix + version;
      checksum_ = uint16_t(f[89] | (f[90] << 8));
      updateMode_ = false;
      ++updates_;
    }
  }
}

void TwlPrinterDevice::SetFirmware(const std::string& version, uint16_t checksum) {
  std::lock_guard<std::mutex> l(mutex_);
  std::string prefix = version_.substr(0, 5);
  prefix.resize(5, ' ');
  version_ = prefix + version;
  checksum_ = checksum;
}

template <class T>
T TwlPrinterDevice::FirmwareField(const T& field) const {
  std::lock_guard<std::mutex> l(mutex_);
  const_cast<TwlPrinterDevice*>(this)->FirmwareTimeLocked();
  return field;
}

std::string TwlPrinterDevice::FirmwareVersion() const {
  const std::string version = FirmwareField(version_);
  return version.size() > 5 ? version.substr(5) : std::string();
}

uint16_t TwlPrinterDevice::FirmwareChecksum() const { return FirmwareField(checksum_); }

bool TwlPrinterDevice::InUpdateMode() const { return FirmwareField(updateMode_); }

uint8_t TwlPrinterDevice::TransferState() const { return FirmwareField(transferState_); }

std::vector<uint8_t> TwlPrinterDevice::FirmwareReceived() const { return Read(mutex_, firmware_); }

unsigned TwlPrinterDevice::FirmwareUpdates() const { return FirmwareField(updates_); }

TwlPrinterDevice::Kept TwlPrinterDevice::KeptState() const {
  std::lock_guard<std::mutex> l(mutex_);
  const_cast<TwlPrinterDevice*>(this)->FirmwareTimeLocked();
  return Kept{version_, checksum_, updates_, pageCounter_};
}

void TwlPrinterDevice::RestoreKeptState(const Kept& kept) {
  std::lock_guard<std::mutex> l(mutex_);
  version_ = kept.versionText;
  checksum_ = kept.checksum;
  updates_ = kept.updates;
  pageCounter_ = lastPrinted_ = kept.pageCounter;
}

void TwlPrinterDevice::NeverEnterUpdateMode(bool on) { Write(mutex_, neverEnter_, on); }

void TwlPrinterDevice::StayInUpdateMode(bool on) { Write(mutex_, stayInUpdate_, on); }

void TwlPrinterDevice::CorruptFirmwareChecksum(bool on) { Write(mutex_, corruptChecksum_, on); }

std::vector<uint8_t> TwlPrinterDevice::MakeFirmwareFile(const std::string& model, const std::string& version,
                                                        size_t bodyBytes) {
  std::vector<uint8_t> f(kFirmwareHeaderBytes + bodyBytes, 0);
  f[0] = 'H';
  f[1] = 'W';
  f[2] = 1;
  f[3] = 'V';
  memcpy(&f[6], version.data(), std::min<size_t>(version.size(), 12));
  memcpy(&f[20], model.data(), std::min<size_t>(model.size(), 64));
  uint32_t x = 0x2545F491;
  for (size_t i = kFirmwareHeaderBytes; i < f.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    f[i] = uint8_t(x);
  }
  const uint16_t crc = FirmwareCrc(f.data() + kFirmwareHeaderBytes, bodyBytes);
  f[89] = uint8_t(crc & 0xFF);
  f[90] = uint8_t(crc >> 8);
  return f;
}

}  // namespace winsim
