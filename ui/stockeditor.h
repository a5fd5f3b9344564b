// The "Edit Label Stock" dialog (110): creates or changes one label stock of the printer's list.
#pragma once

#include <cstdint>

#include "common/paper.h"
#include "common/platform.h"
#include "ui/context.h"
#include "ui/pagesetup_ids.h"

constexpr WORD kStockEditorTemplate = IDD_STOCK_EDITOR;

// Editor limits, micrometres.
constexpr int32_t kStockMinWidth = 10000;
constexpr int32_t kStockMaxWidth = 6553500;
constexpr int32_t kStockMinLength = 10000;
constexpr int32_t kStockMaxLength = 655350000;
// Liners, gap or mark height and its offset: 0 to 10.0 mm.
constexpr int32_t kStockMaxMargin = 10000;

// Runs the editor modally over `parent` for the stock `name` (empty: a new stock). True when a stock
// was saved; its name goes to savedName (kPaperNameChars).
bool RunStockEditor(HWND parent, PrinterContext* ctx, LPCWSTR name, WCHAR* savedName);

// The editor's fields as the record it saves: what the user typed, clamped to the fields' ranges,
// with the type and print-mode flags and bit 31.
struct StockFields {
  const WCHAR* Name;
  const WCHAR* LabelWidth;  // millimetres, as typed
  const WCHAR* Length;
  const WCHAR* LinerLeft;
  const WCHAR* LinerRight;
  const WCHAR* GapHeight;
  const WCHAR* GapOffset;
  int TypeIndex;            // 0 gaps, 1 black marks, 2 continuous, 3 un-fixed continuous; <0 none
  bool DirectThermal;
  bool ThermalTransfer;
  bool OwnPrintSetting;     // "Apply print setting for this label."
  int32_t Speed;            // the chosen speed item's value
  int DarknessIndex;        // the chosen darkness item; <0 none
};
PaperRecord StockFromFields(const StockFields& f, const ModelRecord* model);

// The speeds the editor offers: SpeedMin to SpeedMax in SpeedStep steps (1 when 0). Returns the count
// written (at most cap); none when SpeedMax < SpeedMin.
int StockSpeeds(const ModelRecord* model, int32_t* out, int cap);

// What keeps the name `name` from being saved for the stock the editor opened as `openedName` (empty:
// a new stock): a blank name, "USER" for another stock (it is the document's own size), or the name of
// another stock that exists (replaced only when the user agrees).
enum class StockNameProblem { kNone, kBlank, kReserved, kTaken };
StockNameProblem CheckStockName(const PrinterContext* ctx, LPCWSTR name, LPCWSTR openedName);

// Saves `stock` (replacing the entry of its name) and, when it was renamed from `openedName`, removes
// the stock of the earlier name. False when the save failed.
bool SaveStock(PrinterContext* ctx, const PaperRecord& stock, LPCWSTR openedName);

// The stock the editor starts from for `name`: the stored stock of that name, else the model's
// default stock named "New paper".
PaperRecord StartingStock(const PrinterContext* ctx, LPCWSTR name);

INT_PTR CALLBACK StockEditorProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);
