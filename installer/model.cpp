#include "installer/model.h"

#include "common/wstr.h"

const ModelTableRow* FindModel(const WCHAR* text) {
  if (!text) return nullptr;
  for (const ModelTableRow& row : kModelTable) {
    if (!row.model[0]) break;  // the table's end row
    const WString vendor = AnsiToWide(row.vendor), model = AnsiToWide(row.model);
    WCHAR joined[100], spaced[100];
    WFormatTo(joined, 100, TEXT("%ws%ws"), vendor.c_str(), model.c_str());
    WFormatTo(spaced, 100, TEXT("%ws %ws"), vendor.c_str(), model.c_str());
    if (WStrEq(text, joined) || WStrEq(text, spaced)) return &row;
  }
  return nullptr;
}
