// PDF labels for lbl print: each selected page drawn at the printer's resolution, as a viewer
// printing through the driver would draw it, then printed like a picture.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/viewer/png.h"

namespace lbl {

using lblview::RgbImage;

// 1-based inclusive ranges, in the order given ("1-3,5" is {1,3},{5,5}).
using PageSelection = std::vector<std::pair<int, int>>;

// "N", "N-M", "N-" (to the end) and "-M" (from the first), comma-separated. False with a message
// for anything else or a range that runs backwards.
bool ParsePageSelection(const std::string& text, PageSelection* out, std::string* error);

// How a range that runs past the document's last page is taken.
enum class PastTheEnd {
  kFails,      // lbl print: the user named a page that is not there
  kClamped,    // IPP page-ranges: the part within the document prints; a range wholly past it fails
};

// The page numbers of `selection` in a document of `count` pages (all when empty); false with a
// message for a page the document does not have.
bool SelectPages(const PageSelection& selection, int count, std::vector<int>* pages, std::string* error,
                 PastTheEnd past = PastTheEnd::kFails);

bool IsPdf(const uint8_t* data, size_t size);

// Renders the selected pages of the PDF `path` at xDpi by yDpi: a page of W x H points becomes
// W * xDpi / 72 by H * yDpi / 72 pixels on white, drawn by Poppler through Cairo for printing.
bool LoadPdfPages(const std::string& path, const PageSelection& selection, int xDpi, int yDpi,
                  std::vector<RgbImage>* out, std::string* error, PastTheEnd past = PastTheEnd::kFails);

}  // namespace lbl
