// TWL: the spooler stream carries one 8-byte marker per page copy (1D 1D 76 76 and the page
// block's size); the job header, user command text and the page blocks are in page files. A page
// block is a 22-byte "SIZ" header and rows each led by their count of black dots.
#include <algorithm>
#include <cstring>

#include "common/pagefile.h"
#include "common/twlblock.h"
#include "tools/viewer/viewer_internal.h"

namespace lblview::detail {

namespace {

constexpr size_t kMarkerBytes = 8;
constexpr size_t kJobHeaderBytes = 7;
constexpr size_t kBlockHeaderBytes = kTwlBlockHeaderBytes;

size_t Block(const uint8_t* data, size_t size, size_t pos, Sink& sink, std::vector<Label>* blocks) {
  const TwlPageBlock b = ReadTwlPageBlock(data + pos, size - pos);
  switch (b.fault) {
    case TwlBlockFault::None:
    case TwlBlockFault::DotCount:
    case TwlBlockFault::NotSiz:  // the caller saw "SIZ"
      break;
    case TwlBlockFault::ShortHeader:
      Fail(pos, "a page block header needs %zu bytes, %zu are left", kBlockHeaderBytes, size - pos);
    case TwlBlockFault::ShortRows:
      Fail(pos, "a page block of %u rows of %u bytes needs %zu bytes, %zu are left", unsigned{b.rows},
           unsigned{b.rowLength}, kBlockHeaderBytes + size_t{b.rows} * b.rowLength, size - pos);
    case TwlBlockFault::RasterCommand:
      Fail(pos + b.offset, "the raster header 1D 76 30 00 is missing");
    case TwlBlockFault::RowCount:
      Fail(pos + b.offset, "the raster has %u rows, the page header says %u", unsigned{b.rows}, unsigned{b.length});
    case TwlBlockFault::RowLength:
      Fail(pos + b.offset, "row length %u leaves no room for the row's dot count", unsigned{b.rowLength});
  }
  if (b.media > 2) Fail(pos + 3, "media %u is not 0 (continuous), 1 (gap) or 2 (black mark)", unsigned{b.media});
  static const char* const kMedia[] = {"continuous", "gap", "black mark"};
  sink.Add(pos, Format("SIZ page %u: %s media, paper width %u dots, %u rows of %u bytes, gap %u dots, offset %u dots",
                       unsigned{b.number}, kMedia[b.media], unsigned{b.paperWidth}, unsigned{b.rows},
                       unsigned{b.RowBytes()}, unsigned{b.gap}, unsigned{b.gapOffset}));
  if (b.fault == TwlBlockFault::DotCount)
    Fail(pos + b.offset, "row %u counts %u black dots, it holds %u", b.row, b.stated, b.counted);
  // A block of no rows or of empty rows is well formed but has nothing to draw.
  if (b.rows == 0) Fail(pos + 20, "page %u has no rows", unsigned{b.number});
  Label label = sink.NewLabel(uint64_t(b.RowBytes()) * 8, b.rows, pos);
  for (uint32_t y = 0; y < b.rows; ++y) std::memcpy(&label.bits[size_t(y) * label.Stride()], b.RowBits(y), b.RowBytes());
  blocks->push_back(std::move(label));
  return pos + b.used;
}

bool At(const uint8_t* data, size_t size, size_t pos, const char* what, size_t n) {
  return size - pos >= n && std::memcmp(data + pos, what, n) == 0;
}

}  // namespace

void ViewTwlData(const uint8_t* data, size_t size, Sink& sink, std::vector<Label>* blocks) {
  size_t pos = 0;
  while (pos < size) {
    if (At(data, size, pos, "SIZ", 3)) {
      pos = Block(data, size, pos, sink, blocks);
    } else if (At(data, size, pos, "\x1B\x73", 2) && size - pos >= kJobHeaderBytes) {
      const uint8_t* h = data + pos;
      sink.Add(pos, Format("job header: post-print action %u, feed offset %d dots, speed code %u, darkness code %u", h[2],
                           static_cast<int16_t>(U16(h + 3)), h[5], h[6]));
      pos += kJobHeaderBytes;
    } else {
      // User command text runs to the next item or the end of the file.
      size_t end = pos + 1;
      while (end < size && !At(data, size, end, "SIZ", 3) && !At(data, size, end, "\x1B\x73", 2)) ++end;
      sink.Add(pos, "user command: " + Printable(data + pos, end - pos));
      pos = end;
    }
  }
}

void ViewTwl(const uint8_t* data, size_t size, const std::vector<PageFile>& pageFiles, Sink& sink) {
  // A page file (or a capture of them) given as the stream.
  if (!At(data, size, 0, "\x1D\x1D\x76\x76", 4)) {
    std::vector<Label> blocks;
    ViewTwlData(data, size, sink, &blocks);
    for (const Label& l : blocks) sink.Emit(l, 1, 0);
    return;
  }
  std::vector<std::pair<size_t, uint32_t>> markers;  // offset, announced size
  for (size_t pos = 0; pos < size; pos += kMarkerBytes) {
    if (size - pos < kMarkerBytes) Fail(pos, "a page marker needs 8 bytes, %zu are left", size - pos);
    if (!At(data, size, pos, "\x1D\x1D\x76\x76", 4)) Fail(pos, "a TWL stream holds only page markers (1D 1D 76 76)");
    const uint32_t bytes = U32(data + pos + 4);
    if (bytes < kBlockHeaderBytes) Fail(pos + 4, "a page marker announces %u bytes, less than a page block header", bytes);
    markers.emplace_back(pos, bytes);
    sink.Add(pos, Format("page marker %zu: page block of %u bytes", markers.size(), bytes));
  }
  if (pageFiles.empty()) {
    sink.Note("no page files: the markers are listed, the pages are not rendered");
    return;
  }

  ViewTwlFiles(pageFiles, &markers, sink);
}

void ViewTwlFiles(const std::vector<PageFile>& pageFiles, const std::vector<std::pair<size_t, uint32_t>>* markers,
                  Sink& sink) {
  struct Named {
    int page, sequence;
    const PageFile* file;
  };
  std::vector<Named> jobLevel, pages;
  for (const PageFile& f : pageFiles) {
    int page = 0, job = 0, seq = 0;
    if (!ParsePageFileLeaf(f.name, &page, &job, &seq)) {
      sink.file = f.name;
      Fail(0, "'%s' is not a page file name (page_NNNN_jobid_NNN_N.dat)", f.name.c_str());
    }
    (page == 0 ? jobLevel : pages).push_back(Named{page, seq, &f});
  }
  auto order = [](const Named& a, const Named& b) { return a.page != b.page ? a.page < b.page : a.sequence < b.sequence; };
  std::sort(jobLevel.begin(), jobLevel.end(), order);
  std::sort(pages.begin(), pages.end(), order);

  for (const Named& n : jobLevel) {
    sink.file = n.file->name;
    std::vector<Label> blocks;
    ViewTwlData(n.file->data.data(), n.file->data.size(), sink, &blocks);
    if (!blocks.empty()) Fail(0, "a job-level page file (page 0) holds a page block");
  }
  sink.file.clear();
  const size_t count = markers ? markers->size() : pages.size();
  for (size_t i = 0; i < count; ++i) {
    if (i >= pages.size()) Fail((*markers)[i].first, "page marker %zu has no page file", i + 1);
    const PageFile& f = *pages[i].file;
    if (markers && f.data.size() != (*markers)[i].second)
      Fail((*markers)[i].first, "page marker %zu announces %u bytes, page file %s has %zu", i + 1, (*markers)[i].second,
           f.name.c_str(), f.data.size());
    sink.file = f.name;
    if (f.data.empty()) Fail(0, "the page file is empty");
    std::vector<Label> blocks;
    ViewTwlData(f.data.data(), f.data.size(), sink, &blocks);
    if (blocks.size() != 1 || f.data[0] != 'S' ||
        kBlockHeaderBytes + size_t{U16(f.data.data() + 18)} * U16(f.data.data() + 20) != f.data.size())
      Fail(0, "a page file must hold one page block and nothing else");
    if (U16(f.data.data() + 12) != static_cast<uint32_t>(pages[i].page))
      Fail(12, "the page block is page %u, its file name says %d", U16(f.data.data() + 12), pages[i].page);
    sink.Emit(blocks[0], 1, 0);
    sink.file.clear();
  }
  if (pages.size() > count) {
    sink.file = pages[count].file->name;
    Fail(0, "the page file has no page marker in the stream");
  }
}

}  // namespace lblview::detail
