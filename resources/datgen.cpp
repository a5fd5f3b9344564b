// datgen: compiles the readable model profile into the driver data file.
//   datgen <lbldrv6.dat.txt> <lbldrv6.dat>
// Writes the 360-byte header field by field in little-endian order, so the output does not
// depend on the build machine's byte order or structure packing.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 360;
constexpr size_t kModelBlockEnd = 336;  // three 8-byte descriptors follow, always zero here

enum class Kind { U16, U32, I32, Text };

struct Field {
  const char* name;
  size_t offset;
  Kind kind;
  size_t count;   // values for numbers, bytes for Text
  bool required;  // header fields must be given; model-block fields default to 0
};

// The header layout. Offsets are checked for order and overlap at startup.
const Field kFields[] = {
    {"Version", 4, Kind::U32, 1, true},
    {"HeaderSize", 8, Kind::U16, 1, true},
    {"ExtraSize", 10, Kind::U16, 1, true},
    {"DeviceName", 12, Kind::Text, 32, true},
    {"MaxWidth", 44, Kind::I32, 1, true},
    {"MaxLength", 48, Kind::I32, 1, true},
    {"MarginLeft", 52, Kind::I32, 1, true},
    {"MarginTop", 56, Kind::I32, 1, true},
    {"MarginRight", 60, Kind::I32, 1, true},
    {"MarginBottom", 64, Kind::I32, 1, true},
    {"Flags", 68, Kind::U32, 1, true},
    {"XDpi", 72, Kind::U32, 1, true},
    {"YDpi", 76, Kind::U32, 1, true},
    {"RasterXDpi", 80, Kind::U16, 1, true},
    {"RasterYDpi", 82, Kind::U16, 1, true},
    {"RopLevel", 84, Kind::U16, 1, true},
    {"MaxScale", 86, Kind::U16, 1, true},
    {"MaxPens", 88, Kind::U16, 1, true},
    {"MaxCopies", 90, Kind::U16, 1, true},
    {"MaxPolygonPoints", 92, Kind::U16, 1, true},
    {"MaxQuality", 94, Kind::U16, 1, true},
    {"PaperTrackWidth", 96, Kind::I32, 1, true},
    {"PaperTrackLength", 100, Kind::I32, 1, true},
    {"ColorInfo.Red", 104, Kind::I32, 3, true},
    {"ColorInfo.Green", 116, Kind::I32, 3, true},
    {"ColorInfo.Blue", 128, Kind::I32, 3, true},
    {"ColorInfo.Cyan", 140, Kind::I32, 3, true},
    {"ColorInfo.Magenta", 152, Kind::I32, 3, true},
    {"ColorInfo.Yellow", 164, Kind::I32, 3, true},
    {"ColorInfo.AlignmentWhite", 176, Kind::I32, 3, true},
    {"ColorInfo.Gamma", 188, Kind::I32, 3, true},
    {"ColorInfo.Dyes", 200, Kind::I32, 6, true},
    {"DevicePelsDpi", 224, Kind::U32, 1, true},
    {"HalftonePatternSize", 228, Kind::U32, 1, true},
    // Model block; the catalogue overwrites it for models it knows.
    {"PrintDirection", 232, Kind::U16, 1, false},
    {"SdramSize", 236, Kind::U16, 1, false},
    {"FlashSize", 238, Kind::U16, 1, false},
    {"Accessories", 240, Kind::U16, 1, false},
    {"Rfid", 242, Kind::U16, 1, false},
    {"PaperAlignment", 244, Kind::U16, 1, false},
    {"OutDirection", 246, Kind::U16, 1, false},
    {"SensorType", 248, Kind::U16, 1, false},
    {"DefaultSensorType", 250, Kind::U16, 1, false},
    {"GapHeight", 252, Kind::U16, 1, false},
    {"GapOffset", 254, Kind::U16, 1, false},
    {"MinLabelWidth", 260, Kind::I32, 1, false},
    {"MinLabelLength", 264, Kind::I32, 1, false},
    {"SpeedMax", 268, Kind::U16, 1, false},
    {"SpeedMin", 270, Kind::U16, 1, false},
    {"Speed", 272, Kind::U16, 1, false},
    {"SpeedStep", 274, Kind::U16, 1, false},
    {"DarknessMax", 276, Kind::U16, 1, false},
    {"Darkness", 278, Kind::U16, 1, false},
    {"PaperSaving", 280, Kind::U16, 1, false},
    {"LanguageSet", 282, Kind::U16, 1, false},
    {"LanguageDefault", 284, Kind::U16, 1, false},
    {"Config2SpeedMax", 286, Kind::U16, 1, false},
    {"Config2SpeedMin", 288, Kind::U16, 1, false},
    {"Config2Speed", 290, Kind::U16, 1, false},
    {"Config2SpeedStep", 292, Kind::U16, 1, false},
    {"Config2DarknessMax", 294, Kind::U16, 1, false},
    {"Config2Darkness", 296, Kind::U16, 1, false},
    {"ShiftH", 300, Kind::I32, 1, false},
    {"ShiftV", 304, Kind::I32, 1, false},
    {"DitherLevel", 308, Kind::U32, 1, false},
    {"PostAction", 312, Kind::U32, 1, false},
    {"WatermarkX", 316, Kind::U16, 1, false},
    {"WatermarkY", 318, Kind::U16, 1, false},
    {"WatermarkScale", 320, Kind::U16, 1, false},
    {"WatermarkBrightness", 322, Kind::U16, 1, false},
    {"PrinterType", 324, Kind::U16, 1, false},
    {"PrintingScale", 326, Kind::U16, 1, false},
    {"PrintWidth", 328, Kind::I32, 1, false},
    {"InputDPI", 332, Kind::U16, 1, false},
};

size_t Width(const Field& f) {
  switch (f.kind) {
    case Kind::U16: return 2 * f.count;
    case Kind::U32:
    case Kind::I32: return 4 * f.count;
    case Kind::Text: return f.count;
  }
  return 0;
}

bool LayoutIsSane() {
  size_t end = 4;  // after Magic
  for (const Field& f : kFields) {
    if (f.offset < end || f.offset + Width(f) > kModelBlockEnd) {
      fprintf(stderr, "datgen: field %s overlaps or runs past the model block\n", f.name);
      return false;
    }
    end = f.offset + Width(f);
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool ParseNumber(const std::string& text, int64_t& out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(t.c_str(), &end, 0);
  if (errno || *end) return false;
  out = v;
  return true;
}

void Put(std::vector<uint8_t>& buf, size_t at, uint64_t v, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) buf[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: datgen <lbldrv6.dat.txt> <lbldrv6.dat>\n");
    return 2;
  }
  if (!LayoutIsSane()) return 1;
  std::ifstream in(argv[1]);
  if (!in) {
    fprintf(stderr, "datgen: cannot read %s\n", argv[1]);
    return 1;
  }

  std::map<std::string, std::pair<std::string, int>> values;  // key -> (value text, line)
  int errors = 0;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (Trim(line).empty()) continue;
    size_t eq = line.find('=');
    std::string key = Trim(line.substr(0, eq));
    if (eq == std::string::npos || key.empty()) {
      fprintf(stderr, "datgen: %s:%d: expected \"Key = value\"\n", argv[1], n);
      ++errors;
      continue;
    }
    if (!values.emplace(key, std::make_pair(Trim(line.substr(eq + 1)), n)).second) {
      fprintf(stderr, "datgen: %s:%d: %s given twice\n", argv[1], n, key.c_str());
      ++errors;
    }
  }

  std::vector<uint8_t> out(kHeaderSize, 0);
  memcpy(out.data(), "Tnwl", 4);
  for (const Field& f : kFields) {
    auto it = values.find(f.name);
    if (it == values.end()) {
      if (f.required) {
        fprintf(stderr, "datgen: %s: missing %s\n", argv[1], f.name);
        ++errors;
      }
      continue;
    }
    const std::string text = it->second.first;
    int lineNo = it->second.second;
    values.erase(it);
    if (f.kind == Kind::Text) {
      // The driver forces the last byte to 0, so the name has at most count-1 bytes.
      if (text.size() >= f.count) {
        fprintf(stderr, "datgen: %s:%d: %s longer than %zu bytes\n", argv[1], lineNo, f.name, f.count - 1);
        ++errors;
        continue;
      }
      memcpy(out.data() + f.offset, text.data(), text.size());
      continue;
    }
    std::vector<std::string> parts;
    size_t pos = 0;
    for (;;) {
      size_t comma = text.find(',', pos);
      parts.push_back(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
      if (comma == std::string::npos) break;
      pos = comma + 1;
    }
    if (parts.size() != f.count) {
      fprintf(stderr, "datgen: %s:%d: %s takes %zu value(s)\n", argv[1], lineNo, f.name, f.count);
      ++errors;
      continue;
    }
    int64_t lo = f.kind == Kind::I32 ? INT32_MIN : 0;
    int64_t hi = f.kind == Kind::U16 ? 0xFFFF : f.kind == Kind::U32 ? 0xFFFFFFFFll : INT32_MAX;
    size_t bytes = f.kind == Kind::U16 ? 2 : 4;
    for (size_t i = 0; i < parts.size(); ++i) {
      int64_t v = 0;
      if (!ParseNumber(parts[i], v) || v < lo || v > hi) {
        fprintf(stderr, "datgen: %s:%d: %s: \"%s\" is not a number from %lld to %lld\n", argv[1], lineNo, f.name,
                Trim(parts[i]).c_str(), static_cast<long long>(lo), static_cast<long long>(hi));
        ++errors;
        continue;
      }
      Put(out, f.offset + i * bytes, static_cast<uint64_t>(v), bytes);
    }
  }
  for (const auto& [key, v] : values) {
    fprintf(stderr, "datgen: %s:%d: unknown key %s\n", argv[1], v.second, key.c_str());
    ++errors;
  }
  // The driver rejects any other header size.
  if (out[8] != (kHeaderSize & 0xFF) || out[9] != (kHeaderSize >> 8)) {
    fprintf(stderr, "datgen: %s: HeaderSize must be %zu\n", argv[1], kHeaderSize);
    ++errors;
  }
  if (errors) {
    fprintf(stderr, "datgen: %d error(s) in %s\n", errors, argv[1]);
    return 1;
  }

  std::ofstream f(argv[2], std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  f.close();
  if (!f) {
    fprintf(stderr, "datgen: cannot write %s\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
