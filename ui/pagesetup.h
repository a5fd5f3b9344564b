// The Page Setup page (dialog 106) of the document sheet: label stock list, orientation, mirror and
// negative, offsets, copies, print width and scale, with the drawn preview of the selected stock.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/paper.h"
#include "common/platform.h"
#include "common/wstr.h"
#include "ui/context.h"
#include "ui/pagesetup_ids.h"

constexpr WORD kPageSetupTemplate = IDD_PAGE_SETUP;
constexpr int kPageSetupWindow = 0;  // its slot in PrinterContext::PageWindows

// Print width limits of the page, micrometres (its spin runs in tenths of a millimetre).
constexpr int32_t kPageMinPrintWidth = 2500;
constexpr int32_t kPageMaxPrintWidth = 6553500;

// Decimal millimetres ("7.25", "-5", " 12.") as micrometres, truncated toward zero, in 64 bits so
// that no text overflows. Text that is not a number reads as 0.
int64_t ParseMicrometres(const WCHAR* text);
// A decimal integer (leading sign allowed); 0 for text that is not a number. Saturates at 64 bits.
int64_t ParseInteger(const WCHAR* text);
int32_t ClampTo(int64_t value, int32_t lo, int32_t hi);

// The stock list item of a stock: "%ws(%.1f mm x %.1f mm)" with the label width (total width minus
// both liners) and the length.
WString StockItemText(const PaperRecord& stock);

// The names behind a stock list's items (each item's data points at its name); one per page.
using StockNames = std::vector<std::array<WCHAR, kPaperNameChars>>;

// Fills `combo` with the printer's stocks ("FORMS" entries 1.. then "USER" with the document's paper
// size), each item's data its name kept in `names`, and selects `select` (else the first item). False
// when the list could not be read: the combo box keeps its items.
bool FillStockList(HWND combo, const PrinterContext* ctx, LPCWSTR select, StockNames* names);
// The stock named `name` from "FORMS".
bool LookupStock(const PrinterContext* ctx, LPCWSTR name, PaperRecord* out);

// Up-down handling shared with the stock editor. `tenths`: the edit holds millimetres with one
// decimal and the spin counts tenths; otherwise an integer. SpinEdit adds `delta`, ClampEdit only
// brings a text outside the spin's range back to its nearest end.
void SpinEdit(HWND dlg, int editId, int spinId, int delta, bool tenths);
void ClampEdit(HWND dlg, int editId, int spinId, bool tenths);
void SetMillimetres(HWND dlg, int editId, int32_t micrometres);

// Preview angle of an orientation and option flags.
int PreviewAngle(int orientation, uint32_t flags);

INT_PTR CALLBACK PageSetupProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
