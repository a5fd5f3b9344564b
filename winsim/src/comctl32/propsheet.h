// comctl32 internals: the property sheet record for compstui and the driving API.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "user32/window.h"

struct _PSP {
  std::vector<BYTE> bytes;  // the caller's PROPSHEETPAGEW (dwSize bytes, extra data included)
  PROPSHEETPAGEW* psp() { return reinterpret_cast<PROPSHEETPAGEW*>(bytes.data()); }
};

namespace winsim::detail {

// Control ids of the sheet's own buttons, as comctl32 numbers them.
constexpr int kIdApplyNow = 0x3021;
constexpr int kIdWizBack = 0x3023;
constexpr int kIdWizNext = 0x3024;
constexpr int kIdWizFinish = 0x3025;

struct SheetPage {
  HPROPSHEETPAGE page = nullptr;
  HWND hwnd = nullptr;
  bool changed = false;
};

struct SheetState : ControlState {
  DWORD flags = 0;
  std::vector<SheetPage> pages;
  std::atomic<int> current{-1};  // atomic: FindSheet reads these from the test's thread
  std::atomic<bool> ended{false};
  bool saved = false;  // some apply succeeded
  INT_PTR result = 0;  // ID_PSREBOOTSYSTEM / ID_PSRESTARTWINDOWS bits
  DWORD wizButtons = 0;
  HINSTANCE inst = nullptr;
  // Runs after every page took PSN_APPLY (compstui's apply-now callbacks); ok: OK rather than Apply.
  std::function<void(HWND sheet, bool ok)> afterApply;
  std::function<void(HWND sheet)> onCreated;  // once the sheet and its first page exist
};

SheetState* SheetOf(HWND sheet);
// PropertySheetW with the hooks above.
INT_PTR RunPropertySheet(LPCPROPSHEETHEADERW header, std::function<void(HWND, bool)> afterApply,
                         std::function<void(HWND)> onCreated = nullptr);
// The template id a page was made from (0 for in-memory templates).
WORD PageTemplateId(HPROPSHEETPAGE page);

// User actions on comctl32 controls (the driving API's), on the control's thread.
bool SlideTrackbar(HWND h, LONG pos);
bool SpinUpDown(HWND h, bool up);
bool TypeIpAddress(HWND h, const std::u16string& text);
bool SetListViewItemState(HWND h, int item, UINT state, UINT mask);
// The ICC_* classes InitCommonControlsEx registered for version 5 or 6 controls (under an activation
// context binding Common Controls 6).
DWORD InitialisedCommonControls(int version);

}  // namespace winsim::detail
