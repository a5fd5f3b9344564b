// The record's BMP file operations, through the Windows file API (winsim on Linux). Kept apart
// from the parser so that byte-buffer users (tests, fuzzing) need no file system.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "common/alloc.h"
#include "image/bmp.h"
#include "image/image_internal.h"

using namespace image_detail;

bool RasterImage::LoadBmp(const WCHAR* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetError(TEXT("cannot open the BMP file"));
    return false;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (high != 0 || low > kBmpMaxFileSize) {
    CloseHandle(file);
    SetError(TEXT("BMP file is too large"));
    return false;
  }
  LocalArray<uint8_t> buf = AllocArray<uint8_t>(low ? low : 1);
  if (!buf) {
    CloseHandle(file);
    SetError(kMsgMemory);
    return false;
  }
  DWORD done = 0;
  while (done < low) {
    DWORD got = 0;
    if (!ReadFile(file, buf.get() + done, low - done, &got, nullptr) || got == 0) break;
    done += got;
  }
  CloseHandle(file);
  if (done != low) {
    SetError(TEXT("cannot read the BMP file"));
    return false;
  }
  return DecodeBmp(buf.get(), low);
}

bool RasterImage::SaveBmp(const WCHAR* path) const {
  std::vector<uint8_t> bytes;
  if (!EncodeBmp(*this, bytes)) {
    SetError(IsValid() ? kMsgMemory : kMsgEmpty);
    return false;
  }
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetError(TEXT("cannot create the BMP file"));
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
    ok = WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
    done += wrote;
  }
  if (!CloseHandle(file)) ok = false;
  if (!ok) SetError(TEXT("cannot write the BMP file"));
  return ok;
}
