#include "tools/input_pdf.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "tools/lbl_modules.h"
#include "tools/pdf_module.h"

namespace lbl {

namespace {

bool ParsePageNumber(const std::string& text, int* n) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *n = std::atoi(text.c_str());
  return *n >= 1;
}

}  // namespace

bool ParsePageSelection(const std::string& text, PageSelection* out, std::string* error) {
  out->clear();
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t dash = part.find('-');
    int first = 0, last = 0;
    bool ok;
    if (dash == std::string::npos) {
      ok = ParsePageNumber(part, &first);
      last = first;
    } else {
      const std::string a = part.substr(0, dash), b = part.substr(dash + 1);
      ok = (a.empty() || ParsePageNumber(a, &first)) && (b.empty() || ParsePageNumber(b, &last)) &&
           !(a.empty() && b.empty());
      if (a.empty()) first = 1;
      if (b.empty()) last = 0x7FFFFFFF;
      ok = ok && first <= last;
    }
    if (!ok) {
      *error = "bad value for --pages: '" + text + "' (page numbers from 1 and ranges, e.g. 1-3,5)";
      return false;
    }
    out->emplace_back(first, last);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool SelectPages(const PageSelection& selection, int count, std::vector<int>* pages, std::string* error,
                 PastTheEnd past) {
  pages->clear();
  if (selection.empty()) {
    for (int i = 1; i <= count; ++i) pages->push_back(i);
    return true;
  }
  for (const auto& [first, last] : selection) {
    int end = last == 0x7FFFFFFF ? count : last;
    if (past == PastTheEnd::kClamped && first <= count) end = std::min(end, count);
    if (first > count || end > count) {
      *error = "page " + std::to_string(std::max(first, end)) + " is not in the document (it has " +
               std::to_string(count) + (count == 1 ? " page)" : " pages)");
      return false;
    }
    for (int p = first; p <= end; ++p) pages->push_back(p);
  }
  return true;
}

bool IsPdf(const uint8_t* data, size_t size) {
  // Readers accept the header anywhere in the first kilobyte.
  const size_t n = std::min<size_t>(size, 1024);
  for (size_t i = 0; i + 5 <= n; ++i)
    if (std::memcmp(data + i, "%PDF-", 5) == 0) return true;
  return false;
}

bool LoadPdfPages(const std::string& path, const PageSelection& selection, int xDpi, int yDpi,
                  std::vector<RgbImage>* out, std::string* error, PastTheEnd past) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const PdfModule* pdf = LoadLblModule<PdfModule>("lblpdf.so", "LblPdfModule", error);
  if (!pdf) {
    *error = "PDF input: " + *error;
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<void, void (*)(void*)> doc(pdf->open(bytes, error), pdf->close);
  std::vector<int> pages;
  if (!doc || !SelectPages(selection, pdf->pageCount(doc.get()), &pages, error, past)) {
    *error = path + ": " + *error;
    return false;
  }
  for (int number : pages) {
    RgbImage img;
    if (!pdf->render(doc.get(), number, xDpi, yDpi, &img, error)) {
      *error = path + ": " + *error;
      return false;
    }
    out->push_back(std::move(img));
  }
  return true;
}

}  // namespace lbl
