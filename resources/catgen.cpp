// catgen: builds the embedded model catalogue from its readable source.
//   catgen <catalogue.in.json> <catalogue.json> <catalogue_blob.cpp>
// Inserts each model's "PnP ID" (CRC-16/ARC of vendor name + model name) right after its
// "Model Name", checks the keys the driver relies on, and writes the catalogue both as a JSON file
// (for the Windows resource scripts) and as a C++ byte array (for the Linux build and the tests).
// Any problem fails the build with a message naming the vendor, model or paper.
#include "common/crc16.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

using rapidjson::Value;

namespace {

int g_errors = 0;

void Fail(const std::string& where, const std::string& what) {
  fprintf(stderr, "catgen: %s: %s\n", where.c_str(), what.c_str());
  ++g_errors;
}

const Value* Member(const Value& obj, const char* key) {
  if (!obj.IsObject()) return nullptr;
  auto it = obj.FindMember(key);
  return it == obj.MemberEnd() ? nullptr : &it->value;
}

// An integer in [lo, hi]; the loader reads numbers as 32-bit integers and often keeps 16 bits.
void NeedInt(const Value& obj, const char* key, const std::string& where, int64_t lo, int64_t hi,
             bool optional = false) {
  const Value* v = Member(obj, key);
  if (!v) {
    if (!optional) Fail(where, std::string("missing \"") + key + "\"");
    return;
  }
  if (!v->IsInt64() || v->GetInt64() < lo || v->GetInt64() > hi)
    Fail(where, std::string("\"") + key + "\" must be an integer from " + std::to_string(lo) + " to " +
                    std::to_string(hi));
}

void NeedNumber(const Value& obj, const char* key, const std::string& where, double lo, double hi) {
  const Value* v = Member(obj, key);
  if (!v || !v->IsNumber() || v->GetDouble() < lo || v->GetDouble() > hi)
    Fail(where, std::string("\"") + key + "\" must be a number from " + std::to_string(lo) + " to " +
                    std::to_string(hi));
}

const Value* NeedObject(const Value& obj, const char* key, const std::string& where) {
  const Value* v = Member(obj, key);
  if (!v || !v->IsObject()) {
    Fail(where, std::string("\"") + key + "\" must be an object");
    return nullptr;
  }
  return v;
}

// "Speed"."Option" and "Density"."Option": the loader takes the first and last entries as limits.
void NeedAscendingOptions(const Value& obj, const std::string& where, int64_t lo, int64_t hi) {
  const Value* v = Member(obj, "Option");
  bool ok = v && v->IsArray() && !v->Empty();
  int64_t prev = lo - 1;
  if (ok) {
    for (const Value& e : v->GetArray()) {
      if (!e.IsInt64() || e.GetInt64() <= prev || e.GetInt64() > hi) {
        ok = false;
        break;
      }
      prev = e.GetInt64();
    }
  }
  if (!ok)
    Fail(where, "\"Option\" must be a non-empty ascending array of integers from " + std::to_string(lo) + " to " +
                    std::to_string(hi));
}

void CheckModel(const Value& m, const std::string& where) {
  NeedInt(m, "DPI", where, 100, 1200);
  // Lengths become micrometres in 32-bit fields, gaps in 16-bit fields.
  NeedInt(m, "Maximum Print Width", where, 1, 2000);
  NeedInt(m, "Maximum Print Length", where, 1, 100000);
  NeedInt(m, "Minimum Label Width", where, 0, 2000);
  NeedInt(m, "Minimum Label Length", where, 0, 100000);
  NeedInt(m, "Gap High", where, 0, 65);
  NeedInt(m, "Gap High Offset", where, 0, 65);
  if (const Value* s = NeedObject(m, "Speed", where)) {
    NeedInt(*s, "Value", where + " \"Speed\"", 0, 65535);
    NeedInt(*s, "Step", where + " \"Speed\"", 1, 65535);
    NeedInt(*s, "SendThis", where + " \"Speed\"", 0, 1, true);
    NeedAscendingOptions(*s, where + " \"Speed\"", 1, 65535);
  }
  if (const Value* d = NeedObject(m, "Density", where)) {
    NeedInt(*d, "Value", where + " \"Density\"", 0, 65535);
    NeedInt(*d, "SendThis", where + " \"Density\"", 0, 1, true);
    NeedAscendingOptions(*d, where + " \"Density\"", 0, 65535);
  }
  if (const Value* v = NeedObject(m, "Memory Size", where)) {
    NeedInt(*v, "SDRAM", where + " \"Memory Size\"", 0, 65535);
    NeedInt(*v, "FLASH", where + " \"Memory Size\"", 0, 65535);
  }
  if (const Value* v = NeedObject(m, "Accesories", where)) {
    NeedInt(*v, "Cutter", where + " \"Accesories\"", 0, 1);
    NeedInt(*v, "Peeler", where + " \"Accesories\"", 0, 1);
  }
  const Value* rfid = Member(m, "RFID");
  if (!rfid || !rfid->IsBool()) Fail(where, "\"RFID\" must be true or false");
  if (const Value* v = NeedObject(m, "Paper Alignment", where)) {
    NeedInt(*v, "Value", where + " \"Paper Alignment\"", 0, 2);
    NeedInt(*v, "OutDirection", where + " \"Paper Alignment\"", 0, 1);
  }
  if (const Value* v = NeedObject(m, "Printing Mode", where)) NeedInt(*v, "Value", where + " \"Printing Mode\"", 0, 1);
  if (const Value* v = NeedObject(m, "Sensor Type", where)) NeedInt(*v, "Value", where + " \"Sensor Type\"", 0, 2);
  if (const Value* v = NeedObject(m, "Printer Languages", where)) {
    NeedInt(*v, "Value", where + " \"Printer Languages\"", 1, 15);
    const Value* o = Member(*v, "Option");
    bool ok = o && o->IsArray() && !o->Empty();
    if (ok)
      for (const Value& e : o->GetArray())
        if (!e.IsInt() || (e.GetInt() != 1 && e.GetInt() != 2 && e.GetInt() != 4 && e.GetInt() != 8)) ok = false;
    if (!ok) Fail(where + " \"Printer Languages\"", "\"Option\" must be a non-empty array of 1, 2, 4 and 8");
  }
  NeedInt(m, "InputDPI", where, 0, 1, true);
  NeedInt(m, "DitherLevel", where, 0, 0xFFFF, true);
  NeedInt(m, "PostAction", where, 0, 4, true);
}

void CheckPaper(const Value& p, const std::string& where) {
  const Value* name = Member(p, "Paper Name");
  // The paper record's name field holds 31 characters and a terminator.
  if (!name || !name->IsString() || name->GetStringLength() == 0 || name->GetStringLength() > 31)
    Fail(where, "\"Paper Name\" must be a string of 1 to 31 bytes");
  const Value* type = Member(p, "Type");
  if (!type || !type->IsInt() || (type->GetInt() != 1 && type->GetInt() != 2 && type->GetInt() != 4))
    Fail(where, "\"Type\" must be 1, 2 or 4");
  NeedNumber(p, "Width", where, 1, 2000);
  NeedNumber(p, "Height", where, 1, 100000);
  if (const Value* m = NeedObject(p, "Margin", where)) {
    for (const char* k : {"Left", "Right", "Top", "Bottom"}) NeedNumber(*m, k, where + " \"Margin\"", 0, 1000);
  }
  NeedNumber(p, "Gap", where, 0, 65);
  NeedNumber(p, "GapOffset", where, 0, 65);
}

// Rebuilds a model object with "PnP ID" right after "Model Name".
void InsertPnpId(Value& model, const std::string& vendor, rapidjson::Document::AllocatorType& alloc) {
  const Value* name = Member(model, "Model Name");
  std::string key = vendor + name->GetString();
  char hex[8];
  snprintf(hex, sizeof hex, "%04X", Crc16Arc(key.data(), key.size()));
  Value out(rapidjson::kObjectType);
  for (auto& mem : model.GetObject()) {
    bool isName = strcmp(mem.name.GetString(), "Model Name") == 0;
    out.AddMember(mem.name, mem.value, alloc);  // moves
    if (isName) out.AddMember("PnP ID", Value(hex, alloc), alloc);
  }
  model = out;
}

// Writes one scalar with RapidJSON's own escaping and number formatting.
std::string Scalar(const Value& v) {
  rapidjson::StringBuffer sb;
  rapidjson::Writer<rapidjson::StringBuffer> w(sb);
  v.Accept(w);
  return sb.GetString();
}

// Objects one member per line, arrays of scalars on one line: the layout of the source file.
void Pretty(const Value& v, int indent, std::string& out) {
  std::string pad(static_cast<size_t>(indent) * 2, ' ');
  if (v.IsObject()) {
    if (v.MemberCount() == 0) {
      out += "{}";
      return;
    }
    out += "{\n";
    bool first = true;
    for (auto& m : v.GetObject()) {
      if (!first) out += ",\n";
      first = false;
      out += pad + "  " + Scalar(m.name) + ": ";
      Pretty(m.value, indent + 1, out);
    }
    out += "\n" + pad + "}";
  } else if (v.IsArray()) {
    bool flat = true;
    for (const Value& e : v.GetArray())
      if (e.IsObject() || e.IsArray()) flat = false;
    if (flat) {
      out += "[";
      bool first = true;
      for (const Value& e : v.GetArray()) {
        if (!first) out += ", ";
        first = false;
        out += Scalar(e);
      }
      out += "]";
      return;
    }
    out += "[\n";
    bool first = true;
    for (const Value& e : v.GetArray()) {
      if (!first) out += ",\n";
      first = false;
      out += pad + "  ";
      Pretty(e, indent + 1, out);
    }
    out += "\n" + pad + "]";
  } else {
    out += Scalar(v);
  }
}

bool WriteFile(const char* path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  f.close();
  if (!f) {
    fprintf(stderr, "catgen: cannot write %s\n", path);
    std::remove(path);
    return false;
  }
  return true;
}

std::string Blob(const std::string& json) {
  std::ostringstream s;
  s << "// Generated by catgen from resources/catalogue.in.json. Do not edit.\n"
       "#include \"resources/catalogue_blob.h\"\n\n"
       "const unsigned char g_CatalogueJson[] = {";
  static const char* hex = "0123456789abcdef";
  for (size_t i = 0; i < json.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(json[i]);
    s << (i % 16 == 0 ? "\n  " : " ") << "0x" << hex[c >> 4] << hex[c & 15] << ",";
  }
  // A terminator that the size does not count, so the text can also be used as a C string.
  s << "\n  0x00};\n\nconst unsigned int g_CatalogueJsonSize = " << json.size() << "u;\n";
  return s.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: catgen <catalogue.in.json> <catalogue.json> <catalogue_blob.cpp>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    fprintf(stderr, "catgen: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

  rapidjson::Document doc;
  doc.Parse(text.data(), text.size());
  if (doc.HasParseError()) {
    fprintf(stderr, "catgen: %s: parse error at offset %zu: %s\n", argv[1], doc.GetErrorOffset(),
            rapidjson::GetParseError_En(doc.GetParseError()));
    return 1;
  }
  Value* venders = doc.IsObject() && doc.HasMember("Venders") ? &doc["Venders"] : nullptr;
  if (!venders || !venders->IsArray() || venders->Empty()) {
    fprintf(stderr, "catgen: %s: \"Venders\" must be a non-empty array\n", argv[1]);
    return 1;
  }

  for (Value& vendor : venders->GetArray()) {
    const Value* vname = Member(vendor, "Vender Name");
    // The vendor is the first word of the driver name, so it cannot contain a space.
    if (!vname || !vname->IsString() || vname->GetStringLength() == 0 || strchr(vname->GetString(), ' ')) {
      Fail("vendor", "\"Vender Name\" must be a non-empty string without spaces");
      continue;
    }
    std::string vn = vname->GetString();
    Value* models = vendor.HasMember("Models") ? &vendor["Models"] : nullptr;
    Value* papers = vendor.HasMember("Papers") ? &vendor["Papers"] : nullptr;
    if (!models || !models->IsArray()) Fail(vn, "\"Models\" must be an array");
    if (!papers || !papers->IsArray()) Fail(vn, "\"Papers\" must be an array");

    if (models && models->IsArray()) {
      std::set<std::string> seen;
      size_t index = 0;
      for (Value& model : models->GetArray()) {
        std::string where = vn + " model #" + std::to_string(index++);
        const Value* mname = Member(model, "Model Name");
        if (!mname || !mname->IsString() || mname->GetStringLength() == 0 || mname->GetString()[0] == ' ') {
          Fail(where, "\"Model Name\" must be a non-empty string not starting with a space");
          continue;
        }
        std::string mn = mname->GetString();
        where = vn + " model \"" + mn + "\"";
        // The driver name is split after conversion to at most 49 characters.
        if (vn.size() + 1 + mn.size() > 49) Fail(where, "driver name longer than 49 characters");
        if (!seen.insert(mn).second) Fail(where, "duplicate model name");
        if (model.HasMember("PnP ID")) Fail(where, "\"PnP ID\" is computed; remove it from the source");
        CheckModel(model, where);
        if (g_errors == 0) InsertPnpId(model, vn, doc.GetAllocator());
      }
    }
    if (papers && papers->IsArray()) {
      size_t index = 0;
      for (const Value& paper : papers->GetArray()) CheckPaper(paper, vn + " paper #" + std::to_string(index++));
    }
  }
  if (g_errors) {
    fprintf(stderr, "catgen: %d error(s) in %s\n", g_errors, argv[1]);
    return 1;
  }

  std::string json;
  Pretty(doc, 0, json);
  json += "\n";
  if (!WriteFile(argv[2], json) || !WriteFile(argv[3], Blob(json))) return 1;
  return 0;
}
