// Reading compiled resource files (.res, as windres writes them and the images carry them) for the
// language checks: string tables, dialog templates and menus of every language, and the comparison of
// each translation with the English original.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace langtest {

using LangId = uint16_t;
constexpr LangId kEnglish = 0x0409;
// The languages the programs carry: Chinese (Simplified), Korean, Russian beside English.
inline const std::vector<LangId> kTranslations = {0x0804, 0x0412, 0x0419};

struct Resource {
  bool typeIsId = false, nameIsId = false;
  uint16_t type = 0, name = 0;  // when the ...IsId flag says so; named ones keep their text
  std::u16string typeName, nameText;
  LangId lang = 0;
  std::vector<uint8_t> data;
};
// Every record of the file after the leading empty one; false when the file is malformed.
bool ParseResFile(const uint8_t* data, size_t size, std::vector<Resource>* out);

struct DialogItem {
  uint32_t helpId = 0, exStyle = 0, style = 0, id = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string cls, text;  // an ordinal as "#n"
  std::vector<uint8_t> extra;
  // Everything but the text: a translation keeps it.
  bool SameLayout(const DialogItem& o) const;
};
struct Dialog {
  bool extended = false;
  uint32_t helpId = 0, exStyle = 0, style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string menu, cls, caption, typeface;
  uint16_t pointSize = 0, weight = 0;
  uint8_t italic = 0, charset = 0;
  std::vector<DialogItem> items;
};
// A DLGTEMPLATE or DLGTEMPLATEEX; false when it is cut short.
bool ParseDialog(const std::vector<uint8_t>& data, Dialog* out);

// What a program carries per language.
struct Catalog {
  std::set<LangId> languages;
  std::map<LangId, std::map<unsigned, std::u16string>> strings;  // non-empty entries only, as LoadString sees
  std::map<LangId, std::map<uint16_t, Dialog>> dialogs;
  std::map<LangId, std::set<uint16_t>> menus;
  std::vector<std::string> unreadable;  // dialogs that did not parse
};
Catalog ReadCatalog(const std::vector<Resource>& resources);

// The printf conversions of a message text in order ("%ws", "%02d"); "%%" is no conversion.
std::vector<std::string> FormatArgs(const std::u16string& text);

// Every way the translations of `c` fall short of its English: a string, dialog or menu missing in a
// language or present without an English original, a format string whose conversions differ, a dialog
// whose layout differs or whose text is empty where the English one has one, a language not carried.
std::vector<std::string> CheckTranslations(const Catalog& c, const std::string& program);

}  // namespace langtest
