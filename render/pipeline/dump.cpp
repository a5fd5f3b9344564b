// Debug dumps of the page into "c:\1", for diagnosis only: the folder must exist and the printer's
// capture bit must be set. Failures are ignored.
#include <algorithm>
#include <vector>

#include "common/devmode.h"
#include "common/service_folder.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kHeaderBytes = 14 + 40;

// File and info headers; the rows follow as they are in memory, with the height as given.
std::vector<uint8_t> Headers(uint32_t width, uint32_t height, uint32_t bpp, uint32_t paletteEntries,
                             uint32_t pixelBytes) {
  const uint32_t offset = kHeaderBytes + 4 * paletteEntries;
  std::vector<uint8_t> h(offset, 0);
  h[0] = 'B';
  h[1] = 'M';
  Put32(&h[2], offset + pixelBytes);
  Put32(&h[10], offset);
  Put32(&h[14], 40);
  Put32(&h[18], width);
  Put32(&h[22], height);
  Put16(&h[26], 1);
  Put16(&h[28], bpp);
  Put32(&h[34], pixelBytes);
  Put32(&h[46], paletteEntries);
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    uint8_t* e = &h[kHeaderBytes + 4 * i];
    e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
  }
  return h;
}

class DumpFile {
 public:
  explicit DumpFile(const WCHAR* path)
      : file_(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~DumpFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool Write(const void* data, size_t bytes) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (ok_ && bytes > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes, 1u << 24));
      DWORD wrote = 0;
      ok_ = WriteFile(file_, p, chunk, &wrote, nullptr) && wrote == chunk;
      p += chunk;
      bytes -= chunk;
    }
    return ok_;
  }

 private:
  HANDLE file_;
  bool ok_ = file_ != INVALID_HANDLE_VALUE;
};

}  // namespace

bool DumpsWanted(DWORD ppDataFlags) {
  if (!(ppDataFlags & kPropCaptureCode)) return false;
  // Not through a junction a user planted, nor into a folder a user owns.
  return IsTrustedFolder(TEXT("c:\\1"));
}

void DumpBitmap(const Page& page) {
  const uint64_t stride = (static_cast<uint64_t>(page.width) * 3 + 3) / 4 * 4;
  const uint64_t bytes = stride * page.height;
  if (bytes + kHeaderBytes > 0xFFFFFFFFu) return;
  DumpFile file(TEXT("c:\\1\\origin.bmp"));
  const std::vector<uint8_t> head = Headers(page.width, page.height, 24, 0, static_cast<uint32_t>(bytes));
  if (!file.Write(head.data(), head.size())) return;
  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  const size_t copy = std::min<size_t>(page.rowBytes, static_cast<size_t>(stride));
  for (uint32_t y = 0; y < page.height; ++y) {
    std::memcpy(row.data(), page.BitmapRow(y), copy);
    if (!file.Write(row.data(), row.size())) return;
  }
}

void DumpWork(const WorkImage& image, uint32_t first, uint32_t end) {
  const uint64_t bytes = static_cast<uint64_t>(image.Stride()) * (end - first);
  if (bytes + kHeaderBytes + 1024 > 0xFFFFFFFFu) return;
  DumpFile file(TEXT("c:\\1\\dithered.bmp"));
  const std::vector<uint8_t> head = Headers(image.Width(), end - first, 8, 256, static_cast<uint32_t>(bytes));
  if (file.Write(head.data(), head.size()) && bytes > 0) file.Write(image.Row(first), static_cast<size_t>(bytes));
}

void DumpImage(const RasterImage& image, const WCHAR* name) { image.SaveBmp(name); }

}  // namespace pipeline_detail
