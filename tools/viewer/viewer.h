// A virtual label printer: parses what the driver sends in any of its four languages (TSPL, ZPL,
// ESC, TWL with its page files), checks every length, band size, checksum and compressed field,
// lists the commands it found and renders the labels the printer would print.
//
// The parsers are independent of the writers on purpose (their own Base64, CRC and layouts), so
// that what a writer gets wrong shows up here instead of being mirrored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lblview {

enum class Language { Unknown, Tspl, Zpl, Esc, Twl };

const char* LanguageName(Language lang);            // "TSPL", "ZPL", "ESC", "TWL", "unknown"
Language LanguageFromName(const std::string& name);  // case-insensitive; Unknown when none

// A printed label: rows of (width + 7) / 8 bytes, most significant bit leftmost, 1 = black dot.
struct Label {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bits;

  size_t Stride() const { return (size_t{width} + 7) / 8; }
  bool Black(uint32_t x, uint32_t y) const {
    return x < width && y < height && (bits[y * Stride() + x / 8] & (0x80u >> (x % 8)));
  }
  void SetBlack(uint32_t x, uint32_t y) {
    if (x < width && y < height) bits[y * Stride() + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
  }
  uint64_t BlackDots() const;
};

// One command found in the stream, at its byte offset, described in the language's own terms
// (e.g. "BITMAP 0,0,50,240,1 (12000 bytes)").
struct Command {
  size_t offset = 0;
  std::string file;  // the TWL page file it came from; empty for the stream itself
  std::string text;
};

// A TWL page file by its name in c:\prtmonlog\pages ("page_0002_jobid_001_0.dat") and its bytes.
struct PageFile {
  std::string name;
  std::vector<uint8_t> data;
};

struct ViewOptions {
  Language language = Language::Unknown;  // Unknown: detect it
  uint32_t dpi = 203;                     // TSPL sizes are in millimetres
  uint64_t maxLabelPixels = 1ull << 28;   // a larger label is refused as malformed
  uint64_t maxLabels = 10000;             // so are more labels than this in one stream
};

struct ViewResult {
  Language language = Language::Unknown;
  std::vector<Command> commands;
  std::vector<Label> labels;       // in print order, one per copy
  std::vector<std::string> notes;  // things worth knowing that are not errors
};

struct ViewError {
  std::string file;  // TWL page file name; empty for the stream
  size_t offset = 0;
  std::string message;
  std::string Describe() const;  // "byte 1234 (0x4d2): ..." with the file when there is one
};

// The language of a stream by the first command that only one language has; Unknown when none.
Language DetectLanguage(const uint8_t* data, size_t size);

// Parses and checks `size` bytes of a printer stream. For TWL, `pageFiles` are the job's page
// files (job-level files, page 0, and one file per page marker); without them the markers are
// listed but no label is rendered. False with the first fault and its offset.
bool ViewStream(const uint8_t* data, size_t size, const std::vector<PageFile>& pageFiles, const ViewOptions& options,
                ViewResult* result, ViewError* error);

// A job's TWL page files without the stream (a folder of them): job-level files first, then the
// page blocks in page order.
bool ViewTwlPageFiles(const std::vector<PageFile>& pageFiles, const ViewOptions& options, ViewResult* result,
                      ViewError* error);

// One TWL page file on its own: a job header, a page block or user command text.
bool ViewTwlPageFile(const PageFile& file, const ViewOptions& options, ViewResult* result, ViewError* error);

}  // namespace lblview
