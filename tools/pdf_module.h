// The PDF drawing module lblpdf.so: Poppler, Cairo and GLib are loaded with it, and it is loaded only
// when lbl prints a PDF, so that nothing else pays for starting them.
#pragma once

#include <cstdint>
#include <string>

#include "tools/viewer/png.h"

namespace lbl {

struct PdfModule {
  static constexpr uint32_t kVersion = 1;
  uint32_t version;  // kVersion of the module's build; lbl refuses another
  // A document from the bytes of a file; null with a message when they are not a readable PDF.
  void* (*open)(const std::string& bytes, std::string* error);
  int (*pageCount)(void* doc);
  // Page `number` (1-based) drawn for printing at xDpi by yDpi on white: W x H points become
  // W * xDpi / 72 by H * yDpi / 72 pixels.
  bool (*render)(void* doc, int number, int xDpi, int yDpi, lblview::RgbImage* out, std::string* error);
  void (*close)(void* doc);
};

}  // namespace lbl

// The module's one export.
extern "C" const lbl::PdfModule* LblPdfModule();
