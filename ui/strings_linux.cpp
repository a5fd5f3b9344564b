// Linux build only: the string table as the RT_STRING resources a Windows resource compiler makes of
// the same table (block n holds ids 16 (n - 1) to 16 n - 1, each a length word and its characters).
#include <array>
#include <map>
#include <vector>

#include "common/wstr.h"
#include "ui/module.h"
#include "winsim/machine.h"

void RegisterUiStrings(HMODULE module) {
  struct Entry {
    unsigned id;
    const WCHAR* text;
  };
#define LBL_UI_STRING_ENTRY(symbol, id, text) {id, TEXT(text)},
  static const Entry kStrings[] = {LBL_UI_STRINGS(LBL_UI_STRING_ENTRY)};
#undef LBL_UI_STRING_ENTRY
  std::map<unsigned, std::array<const WCHAR*, 16>> blocks;  // slots without a string stay null
  for (const Entry& e : kStrings) blocks[e.id / 16 + 1][e.id % 16] = e.text;
  for (const auto& [number, texts] : blocks) {
    std::vector<WCHAR> block;
    for (const WCHAR* text : texts) {
      const size_t n = WStrLen(text);
      block.push_back(static_cast<WCHAR>(n));
      if (n) block.insert(block.end(), text, text + n);
    }
    winsim::AddResource(module, RT_STRING, MAKEINTRESOURCEW(number), block.data(), block.size() * sizeof(WCHAR));
  }
}
