// The forward layout of the Get*W info records (GetPrinterW, GetPrinterDriverW, GetJobW): the fixed
// record first, then a DEVMODE (8-aligned) and the strings. With a null buffer the packer only measures.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim::detail {

class Packer {
 public:
  Packer(LPBYTE buf, size_t fixed) : buf_(buf), pos_(fixed) {}
  size_t size() const { return pos_; }
  LPWSTR Str(const std::u16string& s) { return reinterpret_cast<LPWSTR>(Put(s.data(), s.size() * 2, 2, true)); }
  LPWSTR StrOrNull(const std::u16string& s) { return s.empty() ? nullptr : Str(s); }
  // REG_MULTI_SZ: entries separated by NUL, the list ended by an empty entry.
  LPWSTR MultiSz(std::u16string s) {
    if (s.empty()) return nullptr;
    while (!s.empty() && s.back() == u'\0') s.pop_back();
    s.push_back(u'\0');
    return Str(s);
  }
  void* Bytes(const std::vector<uint8_t>& b) { return b.empty() ? nullptr : Put(b.data(), b.size(), 8, false); }

 private:
  void* Put(const void* data, size_t n, size_t align, bool nul) {
    pos_ = (pos_ + align - 1) / align * align;
    void* at = buf_ ? buf_ + pos_ : nullptr;
    if (buf_) {
      memcpy(buf_ + pos_, data, n);
      if (nul) memset(buf_ + pos_ + n, 0, 2);
    }
    pos_ += n + (nul ? 2 : 0);
    return at;
  }
  LPBYTE buf_;
  size_t pos_;
};

// The Get*W size-query protocol: measure, report the need, fail when short, else fill. fill(buf, packer)
// lays out the record, with a null buf while measuring.
template <class FillFn>
BOOL PackRecord(size_t fixed, FillFn fill, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded) {
  Packer measure(nullptr, fixed);
  fill(nullptr, measure);
  *pcbNeeded = DWORD(measure.size());
  if (cbBuf < measure.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!buf) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  memset(buf, 0, measure.size());
  Packer put(buf, fixed);
  fill(buf, put);
  return TRUE;
}

}  // namespace winsim::detail
