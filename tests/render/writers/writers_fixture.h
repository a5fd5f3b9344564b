// Shared pieces of the writer tests: a recording sink, a settings/paper/model context and a
// readable byte-stream builder for golden streams.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "render/writers/writer.h"

namespace wtest {

struct PageFile {
  int page;
  DWORD jobId;
  std::string data;
};

// Records everything; can be told to fail from a given byte count on, as a failed PDEV would.
class RecordingSink : public OutputSink {
 public:
  std::string sent;
  std::vector<PageFile> pageFiles;
  std::string captured;
  int sends = 0;
  size_t failAfter = SIZE_MAX;  // bytes accepted before the job "fails"

  int32_t Send(const void* data, DWORD size) override {
    ++sends;
    if (sent.size() + size > failAfter) return -1;
    sent.append(static_cast<const char*>(data), size);
    return static_cast<int32_t>(size);
  }
  DWORD pageFileError = 0;  // the error WritePageFile reports; 0 writes

  DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size) override {
    if (size == 0) return 0;
    if (pageFileError) return pageFileError;
    pageFiles.push_back({page, jobId, std::string(static_cast<const char*>(data), size)});
    return 0;
  }
  void Capture(const void* data, DWORD size) override { captured.append(static_cast<const char*>(data), size); }
};

// Builds expected byte streams: text, single bytes, little-endian numbers, raw blocks.
struct Bytes {
  std::string s;
  Bytes& operator()(const std::string& text) { s += text; return *this; }
  Bytes& b(std::initializer_list<int> bytes) {
    for (int v : bytes) s += static_cast<char>(v);
    return *this;
  }
  Bytes& u16(uint32_t v) { return b({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF)}); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& raw(const std::vector<uint8_t>& data, size_t offset, size_t size) {
    s.append(reinterpret_cast<const char*>(data.data()) + offset, size);
    return *this;
  }
  Bytes& raw(const std::string& data) { s += data; return *this; }
  operator std::string() const { return s; }
};

// A raster whose every byte tells its row and column apart, so a band cut at the wrong row shows.
inline std::vector<uint8_t> PatternRaster(DWORD rowBytes, DWORD rows) {
  std::vector<uint8_t> r(size_t{rowBytes} * rows);
  for (DWORD y = 0; y < rows; ++y)
    for (DWORD x = 0; x < rowBytes; ++x) r[size_t{y} * rowBytes + x] = static_cast<uint8_t>(y * 7 + x * 13 + 1);
  return r;
}

inline std::vector<uint8_t> Inverted(std::vector<uint8_t> r) {
  for (auto& v : r) v = static_cast<uint8_t>(~v);
  return r;
}

inline std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The worked example: a 50 mm x 30 mm gap label (3 mm gap) on a 203 dpi model, speed 400,
// darkness stored as 9, tear, one copy.
struct Job {
  PrinterDevmode settings{};
  InstalledPaper paper{};
  ModelRecord model{};
  RecordingSink sink;
  WriterContext ctx;

  explicit Job(uint32_t language) {
    settings.PrintLanguage = language;
    settings.Speed = 400;
    settings.Darkness = 9;
    settings.FeedOffset = 0;
    settings.PostAction = 1;
    settings.IntervalPages = 1;
    settings.PrintMode = 0;
    settings.dm.dmCopies = 1;
    paper.Width = 50000;
    paper.Length = 30000;
    paper.ImageableArea = {0, 0, 50000, 30000};
    paper.Flags = kPaperGap;
    paper.GapHeight = 3000;
    model.XDpi = 203;
    model.Speed = 300;
    model.Darkness = 5;
    ctx.settings = &settings;
    ctx.paper = &paper;
    ctx.model = &model;
    ctx.resolution = 203;
    ctx.jobId = 7;
    ctx.out = &sink;
  }

  void SetUserCommand(int slot, const std::u16string& text) {
    std::memset(settings.UserCommands[slot], 0, sizeof(settings.UserCommands[slot]));
    for (size_t i = 0; i < text.size() && i < kUserCommandChars; ++i)
      settings.UserCommands[slot][i] = static_cast<WCHAR>(text[i]);
  }

  // The texts every page starts and ends with.
  void MarkPages(const std::u16string& start, const std::u16string& end) {
    SetUserCommand(kUserCommandPageStart, start);
    SetUserCommand(kUserCommandPageEnd, end);
  }

  std::string TakeSent() {
    std::string s = sink.sent;
    sink.sent.clear();
    return s;
  }

  // Writes the job header and returns what it sent.
  std::string Header() {
    WriteJobHeader(ctx);
    return TakeSent();
  }

  void SetCut(uint32_t action, uint32_t occurrence, uint32_t interval) {
    settings.PostAction = action;
    settings.PostActionOccurrence = occurrence;
    settings.IntervalPages = interval;
  }

  // Ends the job with the user command `text` and returns what it sent.
  std::string EndJob(const std::u16string& text) {
    SetUserCommand(kUserCommandJobEnd, text);
    WriteUserCommand(ctx, kUserCommandJobEnd);
    return TakeSent();
  }
};

}  // namespace wtest
