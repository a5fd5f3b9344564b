// ZPL: formats from ^XA to ^XZ. A format with fields prints ^PQ labels of ^PW x ^LL dots; graphic
// fields (^GF) carry their rows as hexadecimal text or as Base64 (":B64:") or deflated Base64
// (":Z64:") with a CRC-16 of the Base64 text, 1 = black dot.
#include <cstdlib>
#include <cstring>

#include "tools/viewer/viewer_internal.h"

namespace lblview::detail {

namespace {

struct GraphicField {
  int64_t x, y;
  size_t rowBytes, rows;
  std::vector<uint8_t> data;
  size_t at;
};

struct Zpl : Stream {
  using Stream::Stream;
  // Printer state that lasts across formats.
  long width = 0, length = 0;
  // The open format.
  bool open = false;
  size_t openedAt = 0;
  long quantity = 1;
  long originX = 0, originY = 0;
  std::vector<GraphicField> fields;

  static std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t comma; (comma = s.find(',', start)) != std::string::npos; start = comma + 1)
      out.push_back(s.substr(start, comma - start));
    out.push_back(s.substr(start));
    return out;
  }

  static long Integer(const std::string& arg, size_t at, const char* what, long lo, long hi) {
    char* end = nullptr;
    long v = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end || v < lo || v > hi)
      Fail(at, "%s: '%s' is not a number from %ld to %ld", what, arg.c_str(), lo, hi);
    return v;
  }

  void NeedFormat(size_t at, const std::string& cmd) const {
    if (!open) Fail(at, "%s outside a format (no ^XA before it)", cmd.c_str());
  }

  // ^GFa,b,c,d,data: a compression type, b binary bytes, c graphic field bytes, d bytes per row.
  void Graphic(size_t at, size_t paramsAt, const std::string& params) {
    NeedFormat(at, "^GF");
    size_t commas[4];
    size_t found = 0;
    for (size_t i = 0; i < params.size() && found < 4; ++i)
      if (params[i] == ',') commas[found++] = i;
    if (found < 4) Fail(at, "^GF needs a type, three counts and the data");
    const std::string type = params.substr(0, commas[0]);
    if (type != "A") Fail(paramsAt, "^GF type '%s' is not supported (only A, ASCII)", type.c_str());
    const long binary = Integer(params.substr(commas[0] + 1, commas[1] - commas[0] - 1), paramsAt + commas[0] + 1,
                                "^GF binary byte count", 1, 99999999);
    const long total = Integer(params.substr(commas[1] + 1, commas[2] - commas[1] - 1), paramsAt + commas[1] + 1,
                               "^GF graphic field count", 1, 99999999);
    const long perRow = Integer(params.substr(commas[2] + 1, commas[3] - commas[2] - 1), paramsAt + commas[2] + 1,
                                "^GF bytes per row", 1, 99999);
    if (binary != total) Fail(paramsAt, "^GF binary byte count %ld differs from the graphic field count %ld", binary, total);
    if (total % perRow) Fail(paramsAt, "^GF graphic field count %ld is not a whole number of rows of %ld bytes", total, perRow);
    const size_t rows = size_t(total / perRow);
    if (uint64_t(perRow) * 8 * rows > sink.options.maxLabelPixels)
      Fail(paramsAt, "^GF of %ld bytes is larger than this viewer takes", total);

    const size_t dataAt = paramsAt + commas[3] + 1;
    const uint8_t* text = data + dataAt;
    const size_t textSize = params.size() - commas[3] - 1;
    std::vector<uint8_t> bytes;
    std::string encoding;
    if (textSize >= 5 && (std::memcmp(text, ":Z64:", 5) == 0 || std::memcmp(text, ":B64:", 5) == 0)) {
      encoding = std::string(reinterpret_cast<const char*>(text) + 1, 3);
      // ":Z64:" Base64 ":" four hexadecimal digits of CRC.
      const uint8_t* b64 = text + 5;
      size_t rest = textSize - 5;
      size_t colon = 0;
      while (colon < rest && b64[colon] != ':') ++colon;
      if (colon == rest) Fail(dataAt + 5 + rest, "^GF %s data has no ':' and CRC after it", encoding.c_str());
      const size_t crcAt = dataAt + 5 + colon + 1;
      if (rest - colon - 1 != 4) Fail(crcAt, "^GF CRC must be four hexadecimal digits, found %zu characters", rest - colon - 1);
      char crcText[5] = {};
      std::memcpy(crcText, b64 + colon + 1, 4);
      for (char c : std::string(crcText))
        if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(crcAt, "^GF CRC '%s' is not hexadecimal", crcText);
      size_t badAt = 0;
      std::string why;
      std::vector<uint8_t> decoded;
      if (!DecodeBase64(b64, colon, &decoded, &badAt, &why)) Fail(dataAt + 5 + badAt, "^GF %s: %s", encoding.c_str(), why.c_str());
      const unsigned crc = Crc16Xmodem(b64, colon);
      const unsigned want = static_cast<unsigned>(std::strtoul(crcText, nullptr, 16));
      if (crc != want) Fail(crcAt, "^GF CRC %s does not match the data (CRC-16 of the Base64 text is %04X)", crcText, crc);
      if (encoding == "Z64") {
        if (!Inflate(decoded.data(), decoded.size(), size_t(binary), &bytes, &why))
          Fail(dataAt + 5, "^GF Z64: %s", why.c_str());
      } else {
        if (decoded.size() != size_t(binary))
          Fail(dataAt + 5, "^GF B64 data holds %zu bytes, not the %ld announced", decoded.size(), binary);
        bytes = std::move(decoded);
      }
    } else {
      encoding = "hex";
      if (textSize != size_t(binary) * 2)
        Fail(dataAt, "^GF hexadecimal data has %zu digits, %ld bytes need %ld", textSize, binary, binary * 2);
      bytes.resize(size_t(binary));
      for (size_t i = 0; i < textSize; ++i) {
        const int c = text[i];
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) Fail(dataAt + i, "^GF data: '%c' is not a hexadecimal digit", c);
        bytes[i / 2] = static_cast<uint8_t>(bytes[i / 2] << 4 | v);
      }
    }
    sink.Add(at, Format("^GF%s,%ld,%ld,%ld (%s, %zu rows at %ld,%ld)", type.c_str(), binary, total, perRow,
                        encoding.c_str(), rows, originX, originY));
    fields.push_back(GraphicField{originX, originY, size_t(perRow), rows, std::move(bytes), at});
  }

  void EndFormat(size_t at) {
    if (!open) Fail(at, "^XZ without ^XA");
    open = false;
    if (fields.empty()) return;
    int64_t right = width, bottom = length;
    if (!width || !length)
      for (const GraphicField& f : fields) {
        if (!width) right = std::max<int64_t>(right, f.x + int64_t(f.rowBytes) * 8);
        if (!length) bottom = std::max<int64_t>(bottom, f.y + int64_t(f.rows));
      }
    Label label = sink.NewLabel(uint64_t(std::max<int64_t>(right, 0)), uint64_t(std::max<int64_t>(bottom, 0)), at);
    uint64_t outside = 0;
    for (const GraphicField& f : fields) outside += DrawRows(label, f.x, f.y, f.data.data(), f.rowBytes, f.rows, true);
    if (outside)
      sink.Note(Format("byte %zu: %llu black dots of the format lie outside its %u x %u dot label", at,
                       (unsigned long long)outside, label.width, label.height));
    sink.Emit(label, uint64_t(quantity), at);
    fields.clear();
  }

  void Command(size_t at, const std::string& cmd, size_t paramsAt, const std::string& params) {
    const std::string name = cmd.substr(1);
    std::vector<std::string> a = Split(params);
    if (name == "XA") {
      if (open) Fail(at, "^XA inside the format opened at byte %zu", openedAt);
      open = true;
      openedAt = at;
      quantity = 1;
      originX = originY = 0;
      sink.Add(at, "^XA (format start)");
      if (!params.empty()) Fail(paramsAt, "^XA takes no parameters");
    } else if (name == "XZ") {
      if (!params.empty()) Fail(paramsAt, "^XZ takes no parameters");
      sink.Add(at, "^XZ (format end)");
      EndFormat(at);
    } else if (name == "PW") {
      NeedFormat(at, cmd);
      width = Integer(params, paramsAt, "^PW", 2, 32000);
      sink.Add(at, Format("^PW%ld (label width %ld dots)", width, width));
    } else if (name == "LL") {
      NeedFormat(at, cmd);
      length = Integer(a[0], paramsAt, "^LL", 1, 32000);
      sink.Add(at, Format("^LL%s (label length %ld dots)", params.c_str(), length));
    } else if (name == "FO") {
      NeedFormat(at, cmd);
      if (a.size() > 3) Fail(paramsAt, "^FO takes at most three parameters");
      originX = a[0].empty() ? 0 : Integer(a[0], paramsAt, "^FO x", 0, 32000);
      originY = a.size() < 2 || a[1].empty() ? 0 : Integer(a[1], paramsAt, "^FO y", 0, 32000);
      sink.Add(at, Format("^FO%s (field origin %ld,%ld)", params.c_str(), originX, originY));
    } else if (name == "GF") {
      Graphic(at, paramsAt, params);
    } else if (name == "PQ") {
      NeedFormat(at, cmd);
      quantity = a[0].empty() ? 1 : Integer(a[0], paramsAt, "^PQ quantity", 1, 99999999);
      sink.Add(at, Format("^PQ%s (quantity %ld)", params.c_str(), quantity));
    } else if (name == "PR") {
      if (params.size() == 1 && params[0] >= 'A' && params[0] <= 'Z')
        sink.Add(at, "^PR" + params + " (print rate by letter)");
      else
        sink.Add(at, Format("^PR%s (print rate %ld ips)", params.c_str(), Integer(a[0], paramsAt, "^PR", 1, 30)));
    } else if (name == "SD") {
      sink.Add(at, Format("~SD%s (darkness %ld)", params.c_str(), Integer(params, paramsAt, "~SD", 0, 30)));
    } else if (name == "MT") {
      if (params != "T" && params != "D") Fail(paramsAt, "^MT takes T or D, not '%s'", params.c_str());
      sink.Add(at, "^MT" + params + (params == "T" ? " (thermal transfer)" : " (direct thermal)"));
    } else if (name == "MN") {
      if (params.size() != 1 || !std::strchr("NYWMAV", params[0])) Fail(paramsAt, "^MN '%s' is not a media type", params.c_str());
      sink.Add(at, "^MN" + params + " (media tracking)");
    } else if (name == "MM") {
      if (a[0].size() != 1 || !std::strchr("TPRACDFLUK", a[0][0])) Fail(paramsAt, "^MM '%s' is not a print mode", params.c_str());
      sink.Add(at, "^MM" + params + " (print mode)");
    } else if (name == "LT") {
      const long top = Integer(params, paramsAt, "^LT", -32000, 32000);
      sink.Add(at, Format("^LT%s (label top %ld dots)", params.c_str(), top));
      if (top < -120 || top > 120) sink.Note(Format("byte %zu: ^LT%ld is beyond the -120 to 120 dots printers take", at, top));
    } else if (name == "PM" || name == "PO") {
      if (params != "N" && params != "Y" && !(name == "PO" && params == "I"))
        Fail(paramsAt, "^%s takes N or Y, not '%s'", name.c_str(), params.c_str());
      sink.Add(at, cmd + params + (name == "PM" ? " (mirror)" : " (orientation)"));
    } else if (name == "JK" && cmd[0] == '~') {
      if (!params.empty()) Fail(paramsAt, "~JK takes no parameters");
      sink.Add(at, "~JK (delayed cut)");
    } else if (name == "FS") {
      sink.Add(at, "^FS (field separator)");
    } else {
      sink.Add(at, "unknown command: " + cmd + Printable(data + paramsAt, params.size()));
      sink.Note(Format("byte %zu: ZPL command %s is not known to the viewer and was skipped", at, cmd.c_str()));
    }
  }

  void Run() {
    size_t pos = 0;
    while (pos < size) {
      const uint8_t c = data[pos];
      if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
        ++pos;
        continue;
      }
      if (c == '^' || c == '~') {
        if (size - pos < 3) Fail(pos, "the stream ends inside a command name");
        for (size_t i = 1; i < 3; ++i)
          if (!std::isalnum(data[pos + i])) Fail(pos + i, "byte 0x%02X does not belong in a ZPL command name", data[pos + i]);
        std::string cmd(data + pos, data + pos + 3);
        for (char& ch : cmd) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        size_t p = pos + 3, end = p;
        while (end < size && data[end] != '^' && data[end] != '~') {
          if (!IsTextByte(data[end])) Fail(end, "byte 0x%02X does not belong in a ZPL command", data[end]);
          ++end;
        }
        size_t last = end;
        while (last > p && (data[last - 1] == '\r' || data[last - 1] == '\n')) --last;
        Command(pos, cmd, p, std::string(data + p, data + last));
        pos = end;
        continue;
      }
      size_t end = pos;
      while (end < size && data[end] != '^' && data[end] != '~') {
        if (!IsTextByte(data[end])) Fail(end, "byte 0x%02X does not belong in a ZPL stream", data[end]);
        ++end;
      }
      sink.Add(pos, "text: " + Printable(data + pos, end - pos));
      sink.Note(Format("byte %zu: text outside any command", pos));
      pos = end;
    }
    if (open) Fail(size, "the stream ends inside the format opened at byte %zu (no ^XZ)", openedAt);
  }
};

}  // namespace

void ViewZpl(const uint8_t* data, size_t size, Sink& sink) {
  Zpl z(data, size, sink);
  z.Run();
}

}  // namespace lblview::detail
