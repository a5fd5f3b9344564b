// The simulated TWL label printer: device identifier, vendor requests, status and faults.
#include "winsim/twlprinter.h"

#include <cstdio>

namespace winsim {

TwlPrinterDevice::TwlPrinterDevice() {
  productId = 0x0004;
  serial = "TW0000004";
  deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-T4;CLS:PRINTER;";
  portDescription = u"Tarnwell TWL USB Printer";
}

void TwlPrinterDevice::SetOffline(bool offline) {
  std::lock_guard<std::mutex> l(mutex_);
  offline_ = offline;
}

void TwlPrinterDevice::SetStatusByte(uint8_t status) {
  std::lock_guard<std::mutex> l(mutex_);
  status_ = status;
}

void TwlPrinterDevice::SetPageCounter(uint32_t counter) {
  std::lock_guard<std::mutex> l(mutex_);
  pageCounter_ = counter;
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

void TwlPrinterDevice::SetVersionText(const std::string& text) {
  std::lock_guard<std::mutex> l(mutex_);
  version_ = text;
}

void TwlPrinterDevice::SetStatusReply(std::optional<std::vector<uint8_t>> raw) {
  std::lock_guard<std::mutex> l(mutex_);
  statusOverride_ = std::move(raw);
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

uint8_t TwlPrinterDevice::StatusByte() const {
  std::lock_guard<std::mutex> l(mutex_);
  return status_;
}

uint32_t TwlPrinterDevice::PageCounter() const {
  std::lock_guard<std::mutex> l(mutex_);
  return pageCounter_;
}

std::vector<std::vector<uint8_t>> TwlPrinterDevice::SetRequests() const {
  std::lock_guard<std::mutex> l(mutex_);
  return setRequests_;
}

unsigned TwlPrinterDevice::StatusRequests() const {
  std::lock_guard<std::mutex> l(mutex_);
  return statusRequests_;
}

BOOL TwlPrinterDevice::OnWrite(const uint8_t* data, DWORD size, DWORD* written) {
  if (written) *written = 0;
  std::lock_guard<std::mutex> l(mutex_);
  if (offline_ || refuseWrites_) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  DWORD n = writeLimit_ && size > writeLimit_ ? writeLimit_ : size;
  received_.insert(received_.end(), data, data + n);
  if (written) *written = n;
  return TRUE;
}

bool TwlPrinterDevice::OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
  std::lock_guard<std::mutex> l(mutex_);
  if (offline_ || input.empty()) {
    SetLastError(ERROR_NOT_READY);
    return false;
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
  setRequests_.push_back(input);
  return true;
}

}  // namespace winsim
