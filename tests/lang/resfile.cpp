#include "resfile.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace langtest {
namespace {

constexpr uint16_t kRtMenu = 4, kRtDialog = 5, kRtString = 6;
constexpr uint32_t kDsSetFont = 0x40;

struct Reader {
  const uint8_t* p;
  size_t size, at = 0;
  bool ok = true;
  uint16_t Word() {
    if (size - at < 2) {
      ok = false;
      at = size;
      return 0;
    }
    uint16_t v = uint16_t(p[at] | p[at + 1] << 8);
    at += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t lo = Word();
    return lo | uint32_t(Word()) << 16;
  }
  uint8_t Byte() {
    if (at >= size) {
      ok = false;
      return 0;
    }
    return p[at++];
  }
  std::u16string Text() {
    std::u16string s;
    for (uint16_t w = Word(); ok && w; w = Word()) s.push_back(char16_t(w));
    return s;
  }
  // A name or ordinal field: 0xFFFF and a number, or text.
  std::u16string NameOrOrdinal(bool* isId = nullptr, uint16_t* id = nullptr) {
    if (size - at >= 2 && p[at] == 0xFF && p[at + 1] == 0xFF) {
      at += 2;
      uint16_t v = Word();
      if (isId) *isId = true;
      if (id) *id = v;
      std::string n = "#" + std::to_string(v);
      return std::u16string(n.begin(), n.end());
    }
    if (isId) *isId = false;
    return Text();
  }
  void Align(size_t to) { at = std::min(size, (at + to - 1) / to * to); }
};

std::string Hex(LangId l) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%04X", l);
  return b;
}

std::string Narrow(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) {
    if (c == u'\r') r += "\\r";
    else if (c == u'\n') r += "\\n";
    else r += c >= 0x20 && c < 0x80 ? char(c) : '?';
  }
  return r;
}

}  // namespace

bool ParseResFile(const uint8_t* data, size_t size, std::vector<Resource>* out) {
  Reader r{data, size};
  while (r.at < size) {
    const size_t start = r.at;
    uint32_t dataSize = r.Dword(), headerSize = r.Dword();
    Resource res;
    res.typeName = r.NameOrOrdinal(&res.typeIsId, &res.type);
    res.nameText = r.NameOrOrdinal(&res.nameIsId, &res.name);
    r.Align(4);
    r.Dword();  // data version
    r.Word();   // memory flags
    res.lang = r.Word();
    if (!r.ok || headerSize > size - start || dataSize > size - start - headerSize) return false;
    r.at = start + headerSize;
    res.data.assign(data + r.at, data + r.at + dataSize);
    r.at += dataSize;
    r.Align(4);
    if (res.typeIsId && res.type == 0) continue;  // the empty record that opens a 32-bit file
    out->push_back(std::move(res));
  }
  return true;
}

bool DialogItem::SameLayout(const DialogItem& o) const {
  return helpId == o.helpId && exStyle == o.exStyle && style == o.style && id == o.id && x == o.x && y == o.y &&
         cx == o.cx && cy == o.cy && cls == o.cls && extra == o.extra;
}

bool ParseDialog(const std::vector<uint8_t>& data, Dialog* d) {
  Reader r{data.data(), data.size()};
  d->extended = data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
  uint16_t count;
  if (d->extended) {
    r.at = 4;
    d->helpId = r.Dword();
    d->exStyle = r.Dword();
    d->style = r.Dword();
  } else {
    d->style = r.Dword();
    d->exStyle = r.Dword();
  }
  count = r.Word();
  d->x = int16_t(r.Word());
  d->y = int16_t(r.Word());
  d->cx = int16_t(r.Word());
  d->cy = int16_t(r.Word());
  d->menu = r.NameOrOrdinal();
  d->cls = r.NameOrOrdinal();
  d->caption = r.Text();
  if (d->style & kDsSetFont) {
    d->pointSize = r.Word();
    if (d->extended) {
      d->weight = r.Word();
      d->italic = r.Byte();
      d->charset = r.Byte();
    }
    d->typeface = r.Text();
  }
  for (uint16_t i = 0; i < count && r.ok; ++i) {
    r.Align(4);
    DialogItem it;
    if (d->extended) {
      it.helpId = r.Dword();
      it.exStyle = r.Dword();
      it.style = r.Dword();
    } else {
      it.style = r.Dword();
      it.exStyle = r.Dword();
    }
    it.x = int16_t(r.Word());
    it.y = int16_t(r.Word());
    it.cx = int16_t(r.Word());
    it.cy = int16_t(r.Word());
    it.id = d->extended ? r.Dword() : r.Word();
    it.cls = r.NameOrOrdinal();
    it.text = r.NameOrOrdinal();
    uint16_t extra = r.Word();
    for (uint16_t k = 0; k < extra; ++k) it.extra.push_back(r.Byte());
    d->items.push_back(std::move(it));
  }
  return r.ok;
}

Catalog ReadCatalog(const std::vector<Resource>& resources) {
  Catalog c;
  for (const Resource& res : resources) {
    if (!res.typeIsId || !res.nameIsId) continue;
    if (res.type != kRtString && res.type != kRtDialog && res.type != kRtMenu) continue;
    c.languages.insert(res.lang);
    if (res.type == kRtString) {
      // Block n holds strings (n - 1) * 16 to n * 16 - 1, each a length and that many characters.
      Reader r{res.data.data(), res.data.size()};
      for (unsigned i = 0; i < 16 && r.ok; ++i) {
        uint16_t n = r.Word();
        std::u16string s;
        for (uint16_t k = 0; k < n && r.ok; ++k) s.push_back(char16_t(r.Word()));
        if (!s.empty()) c.strings[res.lang][(res.name - 1u) * 16u + i] = s;
      }
    } else if (res.type == kRtDialog) {
      Dialog d;
      if (ParseDialog(res.data, &d))
        c.dialogs[res.lang][res.name] = std::move(d);
      else
        c.unreadable.push_back("dialog " + std::to_string(res.name) + " in " + Hex(res.lang));
    } else {
      c.menus[res.lang].insert(res.name);
    }
  }
  return c;
}

std::vector<std::string> FormatArgs(const std::u16string& s) {
  std::vector<std::string> args;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'%') continue;
    if (i + 1 < s.size() && s[i + 1] == u'%') {
      ++i;
      continue;
    }
    std::string conversion = "%";
    size_t k = i + 1;
    auto take = [&](const char16_t* set) {
      while (k < s.size() && std::u16string_view(set).find(s[k]) != std::u16string_view::npos)
        conversion += char(s[k++]);
    };
    take(u"-+ #0");
    take(u"0123456789*");
    if (k < s.size() && s[k] == u'.') {
      conversion += '.';
      ++k;
      take(u"0123456789*");
    }
    take(u"hlLwIjzt3264");
    if (k < s.size()) conversion += s[k] < 0x80 ? char(s[k]) : '?';
    args.push_back(conversion);
    i = k;
  }
  return args;
}

std::vector<std::string> CheckTranslations(const Catalog& c, const std::string& program) {
  std::vector<std::string> problems;
  auto add = [&](const std::string& p) { problems.push_back(program + ": " + p); };
  for (const std::string& u : c.unreadable) add(u + " does not parse");
  for (LangId l : c.languages)
    if (l != kEnglish && std::find(kTranslations.begin(), kTranslations.end(), l) == kTranslations.end())
      add("resources in language " + Hex(l) + ", which the programs do not carry (a LANGUAGE statement missing?)");

  auto find = [](const auto& byLang, LangId l) -> const auto* {
    auto it = byLang.find(l);
    return it == byLang.end() ? nullptr : &it->second;
  };
  const auto* enStrings = find(c.strings, kEnglish);
  const auto* enDialogs = find(c.dialogs, kEnglish);
  const auto* enMenus = find(c.menus, kEnglish);
  static const std::map<unsigned, std::u16string> kNoStrings;
  static const std::map<uint16_t, Dialog> kNoDialogs;
  static const std::set<uint16_t> kNoMenus;
  if (!enStrings) enStrings = &kNoStrings;
  if (!enDialogs) enDialogs = &kNoDialogs;
  if (!enMenus) enMenus = &kNoMenus;

  for (LangId l : kTranslations) {
    const std::string in = " in " + Hex(l);
    const auto* strings = find(c.strings, l);
    if (!strings) strings = &kNoStrings;
    for (const auto& [id, en] : *enStrings) {
      auto it = strings->find(id);
      if (it == strings->end()) {
        add("string " + std::to_string(id) + " \"" + Narrow(en) + "\" has no translation" + in);
        continue;
      }
      if (FormatArgs(it->second) != FormatArgs(en))
        add("string " + std::to_string(id) + in + ": its % conversions differ from the English \"" + Narrow(en) + "\"");
    }
    for (const auto& [id, text] : *strings)
      if (!enStrings->count(id)) add("string " + std::to_string(id) + in + " has no English original");

    const auto* dialogs = find(c.dialogs, l);
    if (!dialogs) dialogs = &kNoDialogs;
    for (const auto& [id, en] : *enDialogs) {
      auto it = dialogs->find(id);
      const std::string name = "dialog " + std::to_string(id) + in;
      if (it == dialogs->end()) {
        add(name + " is missing");
        continue;
      }
      const Dialog& d = it->second;
      if (d.extended != en.extended || d.style != en.style || d.exStyle != en.exStyle || d.helpId != en.helpId ||
          d.x != en.x || d.y != en.y || d.cx != en.cx || d.cy != en.cy || d.menu != en.menu || d.cls != en.cls ||
          d.pointSize != en.pointSize || d.weight != en.weight || d.italic != en.italic || d.typeface != en.typeface)
        add(name + ": its frame, style or font differs from the English layout");
      if (d.caption.empty() != en.caption.empty()) add(name + ": the caption is empty in one language only");
      if (d.items.size() != en.items.size()) {
        add(name + ": " + std::to_string(d.items.size()) + " controls, the English has " +
            std::to_string(en.items.size()));
        continue;
      }
      for (size_t k = 0; k < en.items.size(); ++k) {
        const std::string control = name + ", control " + std::to_string(k) + " (id " +
                                    std::to_string(int32_t(en.items[k].id)) + ")";
        if (!d.items[k].SameLayout(en.items[k])) add(control + ": its layout differs from the English one");
        if (d.items[k].text.empty() != en.items[k].text.empty())
          add(control + ": the text is empty in one language only");
      }
    }
    for (const auto& [id, d] : *dialogs)
      if (!enDialogs->count(id)) add("dialog " + std::to_string(id) + in + " has no English original");

    const auto* menus = find(c.menus, l);
    if (!menus) menus = &kNoMenus;
    for (uint16_t id : *enMenus)
      if (!menus->count(id)) add("menu " + std::to_string(id) + in + " is missing");
    for (uint16_t id : *menus)
      if (!enMenus->count(id)) add("menu " + std::to_string(id) + in + " has no English original");
  }
  return problems;
}

}  // namespace langtest
