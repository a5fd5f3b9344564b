// Shared pieces of the stream parsers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/viewer/viewer.h"

namespace lblview::detail {

// Thrown inside the parsers, caught at the public entry points.
struct Fault {
  size_t offset;
  std::string message;
};

[[noreturn]] void Fail(size_t offset, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Collects what a parser finds.
struct Sink {
  const ViewOptions& options;
  ViewResult& result;
  std::string file;  // current TWL page file

  void Add(size_t offset, std::string text) { result.commands.push_back(Command{offset, file, std::move(text)}); }
  void Note(std::string text) { result.notes.push_back(std::move(text)); }
  // A white label, refused (at `offset`) beyond the pixel limit.
  Label NewLabel(uint64_t width, uint64_t height, size_t offset) const;
  // Appends `copies` copies of a label, refused beyond the label limit.
  void Emit(const Label& label, uint64_t copies, size_t offset);
};

// The stream a parser reads and the sink of what it finds: the base of each language's parser.
struct Stream {
  Stream(const uint8_t* d, size_t n, Sink& s) : data(d), size(n), sink(s) {}
  const uint8_t* data;
  size_t size;
  Sink& sink;
};

// Draws packed rows (1 = black when `oneIsBlack`, else 0 = black) at (x, y); returns the black dots
// that fell outside the label.
enum class DrawMode { Overwrite, Or, Xor };
uint64_t DrawRows(Label& label, int64_t x, int64_t y, const uint8_t* rows, size_t rowBytes, size_t rowCount,
                  bool oneIsBlack, DrawMode mode = DrawMode::Or);

// Text of bytes for the command list: printable ASCII kept, the rest as \r, \n, \xNN.
std::string Printable(const uint8_t* data, size_t size, size_t limit = 80);
bool IsTextByte(uint8_t b);  // printable ASCII, tab, CR, LF

uint16_t Crc16Xmodem(const uint8_t* data, size_t size);
// RFC 4648 with padding; false with the offset of the first bad character.
bool DecodeBase64(const uint8_t* text, size_t size, std::vector<uint8_t>* out, size_t* badAt, std::string* why);
// A complete zlib stream that inflates to exactly `expected` bytes.
bool Inflate(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>* out, std::string* why);

void ViewTspl(const uint8_t* data, size_t size, Sink& sink);
void ViewZpl(const uint8_t* data, size_t size, Sink& sink);
void ViewEsc(const uint8_t* data, size_t size, Sink& sink);
void ViewTwl(const uint8_t* data, size_t size, const std::vector<PageFile>& pageFiles, Sink& sink);
// The page files of a job: with `markers` (offset and announced size of each marker in the
// stream) every page block must match its marker; without, every page block is one label.
void ViewTwlFiles(const std::vector<PageFile>& pageFiles, const std::vector<std::pair<size_t, uint32_t>>* markers,
                  Sink& sink);
// The items of one TWL page file (or of a capture of them): job header, page blocks, text.
void ViewTwlData(const uint8_t* data, size_t size, Sink& sink, std::vector<Label>* blocks);

inline uint32_t U16(const uint8_t* p) { return p[0] | (uint32_t{p[1]} << 8); }
inline uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

}  // namespace lblview::detail
