#include "ipp/twl_bridge.h"

#include <cstdio>
#include <cstdlib>

namespace lblipp {

std::string DescribeFaults(uint32_t faults) {
  static const std::pair<uint32_t, const char*> names[] = {
      {kFaultOffline, "offline"},     {kFaultPaperOut, "paper out"},     {kFaultHeadOpen, "head open"},
      {kFaultCoverOpen, "cover open"}, {kFaultPaperJam, "paper jam"},     {kFaultRibbonOut, "ribbon out"},
      {kFaultPaused, "paused"},
  };
  std::string out;
  for (const auto& [bit, name] : names)
    if (faults & bit) out += std::string(out.empty() ? "" : ", ") + name;
  return out;
}

bool ParseTwlStatus(const std::vector<uint8_t>& reply, TwlStatus* out) {
  *out = TwlStatus{};
  if (reply.size() < 2) return false;
  auto hex = [](uint8_t c) { return (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                                     : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1; };
  const int hi = hex(reply[0]), lo = hex(reply[1]);
  out->status = hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
  for (size_t i = 2; i < 8 && i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i)
    out->pageCounter = out->pageCounter * 10 + uint32_t(reply[i] - '0');
  if (reply.size() >= 24)
    for (size_t i = 8; i < 24; i += 2) out->recentPages.push_back(uint16_t(reply[i] << 8 | reply[i + 1]));
  return out->status >= 0;
}

CutLink::CutLink(std::shared_ptr<DeviceLink> inner) : inner_(std::move(inner)), control_(inner_ && inner_->HasControl()) {}

bool CutLink::Write(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> g(mutex_);
  return inner_ && inner_->Write(data, size);
}

bool CutLink::VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
  std::lock_guard<std::mutex> g(mutex_);
  return inner_ && inner_->VendorGet(input, reply);
}

bool CutLink::VendorSet(const std::vector<uint8_t>& input) {
  std::lock_guard<std::mutex> g(mutex_);
  return inner_ && inner_->VendorSet(input);
}

void CutLink::Cut() {
  std::lock_guard<std::mutex> g(mutex_);
  inner_.reset();
}

TwlBridge::TwlBridge(std::shared_ptr<DeviceLink> link) : link_(std::move(link)) {}

// The monitor's delivery thread calls these: a failure in them is a device that does not answer,
// never an exception on that thread.
BOOL TwlBridge::OnWrite(const uint8_t* data, DWORD size, DWORD* written) {
  try {
    requests_++;
    if (size >= 14 && data[0] == 'S' && data[1] == 'I' && data[2] == 'Z') {
      std::lock_guard<std::mutex> g(trackMutex_);
      if (firstPage_ < 0) firstPage_ = data[12] | data[13] << 8;
    }
    if (link_->Write(data, size)) {
      faults_ &= ~kFaultOffline;
      // The bridge's model follows what the device took, for the replies it gives itself.
      DWORD mirrored = 0;
      TwlPrinterDevice::OnWrite(data, size, &mirrored);
      if (written) *written = size;
      return TRUE;
    }
  } catch (...) {
  }
  faults_ |= kFaultOffline;
  if (written) *written = 0;
  SetLastError(ERROR_NOT_READY);
  return FALSE;
}

bool TwlBridge::OnVendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) {
  try {
    requests_++;
    const bool ok = link_->HasControl() ? link_->VendorGet(input, reply) : TwlPrinterDevice::OnVendorGet(input, reply);
    if (input.empty() || input[0] != 1) return ok;
    TwlStatus status;
    if (!ok || !ParseTwlStatus(*reply, &status)) {
      faults_ = kFaultOffline;
      return ok;
    }
    faults_ = uint32_t(status.status) & kFaultStatusBits;
    std::lock_guard<std::mutex> g(trackMutex_);
    for (uint16_t page : status.recentPages)
      if (page) acked_.insert(page);
    return ok;
  } catch (...) {
    faults_ = kFaultOffline;
    return false;
  }
}

bool TwlBridge::OnVendorSet(const std::vector<uint8_t>& input) {
  try {
    requests_++;
    return link_->HasControl() ? link_->VendorSet(input) : TwlPrinterDevice::OnVendorSet(input);
  } catch (...) {
    return false;
  }
}

int TwlBridge::FirstPage() const {
  std::lock_guard<std::mutex> g(trackMutex_);
  return firstPage_;
}

std::set<uint16_t> TwlBridge::Acknowledged() const {
  std::lock_guard<std::mutex> g(trackMutex_);
  return acked_;
}

void TwlBridge::ResetTracking() {
  std::lock_guard<std::mutex> g(trackMutex_);
  firstPage_ = -1;
  acked_.clear();
  requests_ = 0;
}

}  // namespace lblipp
