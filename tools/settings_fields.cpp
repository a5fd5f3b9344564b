#include "tools/settings_fields.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/wstr.h"
#include "tools/json_out.h"
#include "tools/numbers.h"

namespace lbl {

namespace {

enum class Type { U32, I32, U16, I16, Text };

struct Field {
  std::string name;
  size_t offset;
  Type type;
  size_t chars;    // text fields: capacity including the terminator
  DWORD dmBit;     // public fields: the dmFields bit an application sets with them
  bool readOnly;   // shown, never set: sizes, versions, signature and fields the driver does not read
};

#define PRIV(name, type) Field{#name, offsetof(PrinterDevmode, name), Type::type, 0, 0, false}
#define FIXED(name, type) Field{#name, offsetof(PrinterDevmode, name), Type::type, 0, 0, true}
#define PUB(name, bit) Field{#name, offsetof(PrinterDevmode, dm) + offsetof(DEVMODEW, name), Type::I16, 0, bit, false}
#define PUBFIXED(name, type) \
  Field{#name, offsetof(PrinterDevmode, dm) + offsetof(DEVMODEW, name), Type::type, 0, 0, true}
#define COLOR(name, type, fixed) \
  Field{#name, offsetof(PrinterDevmode, ColorAdjust) + offsetof(COLORADJUSTMENT, name), Type::type, 0, 0, fixed}

// Record order, public block first. `defaults` shows them all, --set takes those not read-only.
const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = [] {
    std::vector<Field> f = {
        Field{"dmDeviceName", offsetof(PrinterDevmode, dm) + offsetof(DEVMODEW, dmDeviceName), Type::Text,
              CCHDEVICENAME, 0, true},
        PUBFIXED(dmSpecVersion, U16), PUBFIXED(dmDriverVersion, U16), PUBFIXED(dmSize, U16),
        PUBFIXED(dmDriverExtra, U16),
        Field{"dmFields", offsetof(PrinterDevmode, dm) + offsetof(DEVMODEW, dmFields), Type::U32, 0, 0, false},
        PUB(dmOrientation, DM_ORIENTATION), PUB(dmPaperSize, DM_PAPERSIZE), PUB(dmPaperLength, DM_PAPERLENGTH),
        PUB(dmPaperWidth, DM_PAPERWIDTH), PUB(dmScale, DM_SCALE), PUB(dmCopies, DM_COPIES),
        PUB(dmDefaultSource, DM_DEFAULTSOURCE), PUB(dmPrintQuality, DM_PRINTQUALITY), PUB(dmColor, DM_COLOR),
        PUB(dmDuplex, DM_DUPLEX), PUB(dmYResolution, DM_YRESOLUTION), PUB(dmTTOption, DM_TTOPTION),
        PUB(dmCollate, DM_COLLATE),
        Field{"dmFormName", offsetof(PrinterDevmode, dm) + offsetof(DEVMODEW, dmFormName), Type::Text, CCHFORMNAME,
              DM_FORMNAME, false},
        FIXED(Signature, U32), FIXED(Version, U32),
        PRIV(Flags, U32), PRIV(ShiftH, I32), PRIV(ShiftV, I32), PRIV(PostAction, U32),
        PRIV(PostActionOccurrence, U32), PRIV(IntervalPages, U32), PRIV(FeedOffset, I32), PRIV(DitherLevel, U32),
        COLOR(caSize, U16, true), COLOR(caFlags, U16, true), COLOR(caIlluminantIndex, U16, true),
        COLOR(caRedGamma, U16, true), COLOR(caGreenGamma, U16, true), COLOR(caBlueGamma, U16, true),
        COLOR(caReferenceBlack, U16, true), COLOR(caReferenceWhite, U16, true)};
    // The two the driver reads go by the names of the settings page.
    Field contrast = COLOR(caContrast, I16, false), brightness = COLOR(caBrightness, I16, false);
    contrast.name = "Contrast";
    brightness.name = "Brightness";
    f.push_back(contrast);
    f.push_back(brightness);
    f.push_back(COLOR(caColorfulness, I16, true));
    f.push_back(COLOR(caRedGreenTint, I16, true));
    for (const Field& p : {PRIV(PrintMode, U32), PRIV(Speed, U32), PRIV(Darkness, U32), PRIV(PaperSaving, U32)})
      f.push_back(p);
    for (int i = 0; i < kUserCommandSlots; ++i)
      f.push_back(Field{"UserCommand" + std::to_string(i), offsetof(PrinterDevmode, UserCommands) + i * kUserCommandChars * sizeof(WCHAR),
                        Type::Text, kUserCommandChars, 0, false});
    const Field rest[] = {
        PRIV(PrintLanguage, U32),
        Field{"WatermarkPath", offsetof(PrinterDevmode, WatermarkPath), Type::Text, kWatermarkPathChars, 0, false},
        PRIV(WatermarkX, I16), PRIV(WatermarkY, I16), PRIV(WatermarkScale, I16), PRIV(WatermarkBrightness, I16),
        PRIV(PrintingScale, I16), PRIV(PrintWidth, I32), PRIV(InputDPI, I16), PRIV(PrinterType, I16),
    };
    f.insert(f.end(), std::begin(rest), std::end(rest));
    for (int i = 0; i < kReservedFields; ++i)
      f.push_back(Field{"Reserved" + std::to_string(i + 1), offsetof(PrinterDevmode, Reserved) + i * sizeof(int16_t),
                        Type::I16, 0, 0, true});
    return f;
  }();
  return fields;
}

#undef PRIV
#undef FIXED
#undef PUB
#undef PUBFIXED
#undef COLOR

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

const Field* Find(const std::string& name) {
  for (const Field& f : Fields())
    if (SameNoCase(f.name, name)) return &f;
  return nullptr;
}

bool Unescape(const std::string& text, std::string* out, std::string* why) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) {
      *why = "a backslash ends the text (write \\\\ for one)";
      return false;
    }
    switch (text[i]) {
      case 'r': *out += '\r'; break;
      case 'n': *out += '\n'; break;
      case 't': *out += '\t'; break;
      case '\\': *out += '\\'; break;
      case 'x': {
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
          *why = "\\x needs two hexadecimal digits";
          return false;
        }
        const int v = static_cast<int>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
        if (v == 0) {
          *why = "\\x00 would end the text";
          return false;
        }
        *out += static_cast<char>(v);
        i += 2;
        break;
      }
      default:
        *why = std::string("unknown escape \\") + text[i] + " (use \\r \\n \\t \\\\ or \\xHH)";
        return false;
    }
  }
  return true;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  return out;
}

uint8_t* At(PrinterDevmode* dm, const Field& f) { return reinterpret_cast<uint8_t*>(dm) + f.offset; }
const uint8_t* At(const PrinterDevmode& dm, const Field& f) { return reinterpret_cast<const uint8_t*>(&dm) + f.offset; }

// The field's value parsed as a T; false, the record unchanged, when the text is no number a T holds.
// Decimal, as lbl's number options are; the bit masks (Flags, dmFields) also in hexadecimal ("0x128").
template <class T>
bool StoreInteger(PrinterDevmode* dm, const Field& f, const std::string& text) {
  int64_t v = 0;
  const bool mask = f.name == "Flags" || f.name == "dmFields";
  if (!ParseWhole(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &v, mask)) return false;
  const T n = static_cast<T>(v);
  std::memcpy(At(dm, f), &n, sizeof n);
  return true;
}

}  // namespace

const std::vector<std::string>& SettingsFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const Field& f : Fields())
      if (!f.readOnly) n.push_back(f.name);
    return n;
  }();
  return names;
}

bool SetSettingsField(PrinterDevmode* dm, const std::string& name, const std::string& value, std::string* error) {
  const Field* f = Find(name);
  if (!f || f->readOnly) {
    std::string known;
    for (const std::string& n : SettingsFieldNames()) known += (known.empty() ? "" : ", ") + n;
    *error = "unknown settings field '" + name + "' (fields: " + known + ")";
    return false;
  }
  auto bad = [&](const std::string& why) {
    *error = "bad value for " + f->name + ": '" + value + "' (" + why + ")";
    return false;
  };
  if (f->type == Type::Text) {
    std::string text, why;
    if (!Unescape(value, &text, &why)) return bad(why);
    WString wide = Utf8ToWide(text);
    if (wide.size() >= f->chars) return bad("at most " + std::to_string(f->chars - 1) + " characters");
    auto* field = reinterpret_cast<WCHAR*>(At(dm, *f));
    std::memset(field, 0, f->chars * sizeof(WCHAR));
    std::memcpy(field, wide.data(), wide.size() * sizeof(WCHAR));
  } else {
    std::string text = value;
    if (f->name == "PrintLanguage") {
      const char* names[] = {"twl", "esc", "tspl", "zpl"};
      for (int i = 0; i < 4; ++i)
        if (SameNoCase(value, names[i])) text = std::to_string(i);
    } else if (f->name == "dmOrientation") {
      if (SameNoCase(value, "portrait")) text = std::to_string(DMORIENT_PORTRAIT);
      if (SameNoCase(value, "landscape")) text = std::to_string(DMORIENT_LANDSCAPE);
    }
    switch (f->type) {
      case Type::U32:
        if (!StoreInteger<uint32_t>(dm, *f, text)) return bad("a number from 0 to 4294967295");
        break;
      case Type::I32:
        if (!StoreInteger<int32_t>(dm, *f, text)) return bad("a number from -2147483648 to 2147483647");
        break;
      case Type::U16:  // read-only
        break;
      case Type::I16:
        if (!StoreInteger<int16_t>(dm, *f, text)) return bad("a number from -32768 to 32767");
        break;
      case Type::Text: break;
    }
  }
  dm->dm.dmFields |= f->dmBit;
  return true;
}

namespace {

// A number field's value, whatever its width and sign.
int64_t NumberAt(const PrinterDevmode& dm, const Field& f) {
  const uint8_t* at = At(dm, f);
  switch (f.type) {
    case Type::U32: { uint32_t v; std::memcpy(&v, at, sizeof v); return v; }
    case Type::I32: { int32_t v; std::memcpy(&v, at, sizeof v); return v; }
    case Type::U16: { uint16_t v; std::memcpy(&v, at, sizeof v); return v; }
    case Type::I16: { int16_t v; std::memcpy(&v, at, sizeof v); return v; }
    case Type::Text: break;
  }
  return 0;
}

std::string TextAt(const PrinterDevmode& dm, const Field& f) {
  const auto* text = reinterpret_cast<const WCHAR*>(At(dm, f));
  return WideToUtf8(WString(text, WStrNLen(text, f.chars)).c_str());
}

void WriteField(JsonOut& j, const PrinterDevmode& dm, const Field& f) {
  if (f.type == Type::Text)
    j.Str(f.name.c_str(), TextAt(dm, f));
  else if (f.type == Type::U32 || f.type == Type::U16)
    j.Uint(f.name.c_str(), uint64_t(NumberAt(dm, f)));
  else
    j.Int(f.name.c_str(), NumberAt(dm, f));
}

}  // namespace

bool GetSettingsField(const PrinterDevmode& dm, const std::string& name, std::string* value) {
  value->clear();
  const Field* f = Find(name);
  if (!f) return false;
  *value = f->type == Type::Text ? Escape(TextAt(dm, *f)) : std::to_string(NumberAt(dm, *f));
  return true;
}

void WriteSettingsFields(JsonOut& j, const PrinterDevmode* dm, const std::vector<std::string>& names) {
  static const PrinterDevmode none{};
  j.SetBlank(!dm);
  for (const std::string& name : names)
    if (const Field* f = Find(name)) WriteField(j, dm ? *dm : none, *f);
  j.SetBlank(false);
}

void WriteAllSettingsFields(JsonOut& j, const PrinterDevmode* dm) {
  static const PrinterDevmode none{};
  j.SetBlank(!dm);
  const size_t privateStart = offsetof(PrinterDevmode, Signature);
  j.BeginObject("Public");
  for (const Field& f : Fields())
    if (f.offset < privateStart) WriteField(j, dm ? *dm : none, f);
  j.EndObject();
  j.BeginObject("Private");
  for (const Field& f : Fields())
    if (f.offset >= privateStart) WriteField(j, dm ? *dm : none, f);
  j.EndObject();
  j.SetBlank(false);
}

}  // namespace lbl
