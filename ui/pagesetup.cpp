#include "ui/pagesetup.h"

#include <climits>
#include <cstring>
#include <new>

#include <commctrl.h>
#include <prsht.h>
#include "common/devmode.h"
#include "ui/module.h"
#include "ui/preview.h"
#include "ui/sheets.h"
#include "ui/stockeditor.h"
#include "ui/working_copy.h"

namespace {

constexpr UINT_PTR kActivateTimer = 1;
constexpr UINT kActivateDelay = 50;
constexpr WCHAR kUserStock[] = TEXT("USER");
constexpr WCHAR kMillimetres[] = TEXT("mm");

// The state of one Page Setup page, kept in its DWLP_USER while it is open.
struct PageState {
  PrinterContext* ctx = nullptr;
  bool initialised = false;
  // An orientation radio was clicked here. Until then the rotation bit stays as the working copy has
  // it: Print Settings sets it for ESC, and this page's apply must not undo that.
  bool orientationChosen = false;
  StockNames names;  // behind the stock list's item data
};

PageState* StateOf(HWND page) { return reinterpret_cast<PageState*>(GetWindowLongPtrW(page, DWLP_USER)); }

bool IsUser(LPCWSTR name) { return name && WStrEq(name, kUserStock); }

struct FillRequest {
  HWND combo;
  const PrinterContext* ctx;
  StockNames* names;
  LPCWSTR select;
  int added;
  int selected;
};

void AddStockItem(const PaperRecord* entry, int, void* request) {
  auto* r = static_cast<FillRequest*>(request);
  PaperRecord stock{};
  if (entry) {
    stock = *entry;
  } else {
    // The custom size of the document.
    WStrCopy(stock.Name, kPaperNameChars, kUserStock);
    stock.Width = int32_t(r->ctx->Settings.dm.dmPaperWidth) * 100;
    stock.Length = int32_t(r->ctx->Settings.dm.dmPaperLength) * 100;
  }
  if (r->added >= int(r->names->size())) return;
  WCHAR* name = (*r->names)[size_t(r->added)].data();
  WStrCopyN(name, kPaperNameChars, stock.Name, kPaperNameChars);
  WString text = StockItemText(stock);
  LRESULT at = SendMessageW(r->combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (at < 0) return;
  SendMessageW(r->combo, CB_SETITEMDATA, WPARAM(at), reinterpret_cast<LPARAM>(name));
  if (r->select && WStrEq(name, r->select)) r->selected = int(at);
  ++r->added;
}

const WCHAR* SelectedStockName(HWND page) {
  HWND combo = GetDlgItem(page, IDC_PS_STOCK);
  LRESULT sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (sel < 0) return nullptr;
  LRESULT data = SendMessageW(combo, CB_GETITEMDATA, WPARAM(sel), 0);
  return data == CB_ERR ? nullptr : reinterpret_cast<const WCHAR*>(data);
}

void SetSpinRange(HWND dlg, int spinId, LONG lo, LONG hi) {
  SendDlgItemMessageW(dlg, spinId, UDM_SETRANGE32, WPARAM(lo), LPARAM(hi));
}

void ShowTenths(HWND dlg, int editId, int64_t tenths) {
  WCHAR text[32];
  WFormatTo(text, 32, TEXT("%.1f"), double(tenths) / 10.0);
  SetDlgItemTextW(dlg, editId, text);
}

WString EditText(HWND dlg, int id) {
  WCHAR text[64]{};
  GetDlgItemTextW(dlg, id, text, 64);
  return WString(text);
}

// Offsets for the selected stock: the alignment rule, the stored offsets and their ranges. With
// `keepTyped` (the stock changed on an open page) the offsets as typed stay while they fit the stock
// and are brought to the nearest end of its range when they do not.
void UpdateOffsets(HWND page, PrinterContext* ctx, bool keepTyped) {
  const WCHAR* name = SelectedStockName(page);
  EnableWindow(GetDlgItem(page, IDC_PS_DELETE), name && !IsUser(name) && !(ctx->Prop.Flags & kPropLockSettings));
  PaperRecord stock{};
  if (!name || !LookupStock(ctx, name, &stock)) {
    stock.Width = int32_t(ctx->Settings.dm.dmPaperWidth) * 100;
    stock.Length = int32_t(ctx->Settings.dm.dmPaperLength) * 100;
  }
  const uint16_t alignment = ctx->Model ? ctx->Model->PaperAlignment : 0;
  const int32_t stored = ctx->Settings.ShiftH;
  if (alignment == 1 && ctx->Settings.ShiftH == 0 && stock.MarginLeft) ctx->Settings.ShiftH = stock.MarginLeft;
  if (alignment == 2 && ctx->Settings.ShiftH == 0 && stock.MarginRight) ctx->Settings.ShiftH = -stock.MarginRight;
  const bool aligned = ctx->Settings.ShiftH != stored;
  SetSpinRange(page, IDC_PS_SHIFTH_SPIN, -(stock.Width / 100), stock.Width / 100);
  SetSpinRange(page, IDC_PS_SHIFTV_SPIN, -(stock.Length / 100), stock.Length / 100);
  if (!keepTyped) {
    SetMillimetres(page, IDC_PS_SHIFTH, ctx->Settings.ShiftH);
    SetMillimetres(page, IDC_PS_SHIFTV, ctx->Settings.ShiftV);
    return;
  }
  // A horizontal offset left at 0 takes the liner the alignment rule just gave.
  if (aligned && ParseMicrometres(EditText(page, IDC_PS_SHIFTH).c_str()) == 0)
    SetMillimetres(page, IDC_PS_SHIFTH, ctx->Settings.ShiftH);
  ClampEdit(page, IDC_PS_SHIFTH, IDC_PS_SHIFTH_SPIN, true);
  ClampEdit(page, IDC_PS_SHIFTV, IDC_PS_SHIFTV_SPIN, true);
}

void ReadControls(HWND page, PrinterContext* ctx) {
  const PageState* state = StateOf(page);
  if (!state || !state->initialised) return;
  PrinterDevmode* w = WorkingCopy(ctx);
  if (const WCHAR* name = SelectedStockName(page)) WStrCopyN(w->dm.dmFormName, CCHFORMNAME, name, kPaperNameChars);
  struct { int id; short orientation; bool rotate; } const radios[] = {
      {IDC_PS_PORTRAIT, DMORIENT_PORTRAIT, false},
      {IDC_PS_LANDSCAPE, DMORIENT_LANDSCAPE, false},
      {IDC_PS_PORTRAIT180, DMORIENT_PORTRAIT, true},
      {IDC_PS_LANDSCAPE270, DMORIENT_LANDSCAPE, true}};
  for (const auto& r : radios) {
    if (IsDlgButtonChecked(page, r.id) != BST_CHECKED) continue;
    w->dm.dmOrientation = r.orientation;
    if (state->orientationChosen) w->Flags = r.rotate ? (w->Flags | kFlagRotate180) : (w->Flags & ~kFlagRotate180);
  }
  auto bit = [&](int id, uint32_t flag) {
    w->Flags = IsDlgButtonChecked(page, id) == BST_CHECKED ? (w->Flags | flag) : (w->Flags & ~flag);
  };
  bit(IDC_PS_MIRROR, kFlagMirror);
  bit(IDC_PS_NEGATIVE, kFlagNegative);
  w->ShiftH = ClampTo(ParseMicrometres(EditText(page, IDC_PS_SHIFTH).c_str()), INT32_MIN, INT32_MAX);
  w->ShiftV = ClampTo(ParseMicrometres(EditText(page, IDC_PS_SHIFTV).c_str()), INT32_MIN, INT32_MAX);
  w->PrintWidth = ClampTo(ParseMicrometres(EditText(page, IDC_PS_PRINTWIDTH).c_str()), kPageMinPrintWidth,
                          kPageMaxPrintWidth);
  const int maxCopies = ctx->Model && ctx->Model->MaxCopies ? ctx->Model->MaxCopies : 1;
  w->dm.dmCopies = short(ClampTo(ParseInteger(EditText(page, IDC_PS_COPIES).c_str()), 1, maxCopies));
  LRESULT scale = SendDlgItemMessageW(page, IDC_PS_SCALE, CB_GETCURSEL, 0, 0);
  if (scale >= 0) w->PrintingScale = int16_t(scale);
}

void RedrawPreview(HWND page, PrinterContext* ctx) {
  const PrinterDevmode* w = WorkingCopy(ctx);
  WCHAR name[kPaperNameChars]{};
  WStrCopyN(name, kPaperNameChars, w->dm.dmFormName, CCHFORMNAME);
  PaperRecord stock{};
  if (!LookupStock(ctx, name, &stock)) return;
  DrawObjects(GetDlgItem(page, IDC_PS_PREVIEW), &stock, ctx, kArrowNone, PreviewAngle(w->dm.dmOrientation, w->Flags),
              (w->Flags & kFlagMirror) != 0, (w->Flags & kFlagNegative) != 0);
}

void Changed(HWND page, PrinterContext* ctx) {
  ReadControls(page, ctx);
  RedrawPreview(page, ctx);
  ReportWorkingCopyChange(page, ctx);
}

void InitPage(HWND page, PrinterContext* ctx) {
  auto* state = new PageState;
  state->ctx = ctx;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  PrinterDevmode* w = TakeWorkingCopy(ctx);
  ctx->PageWindows[kPageSetupWindow] = page;
  SetDlgItemTextW(page, IDC_PS_UNIT1, kMillimetres);
  SetDlgItemTextW(page, IDC_PS_UNIT2, kMillimetres);
  if (ctx->Prop.Flags & kPropLockSettings)
    for (int id : {IDC_PS_STOCK, IDC_PS_NEW, IDC_PS_EDIT, IDC_PS_DELETE}) EnableWindow(GetDlgItem(page, id), FALSE);

  WCHAR name[kPaperNameChars]{};
  WStrCopyN(name, kPaperNameChars, w->dm.dmFormName, CCHFORMNAME);
  FillStockList(GetDlgItem(page, IDC_PS_STOCK), ctx, name, &state->names);

  const bool rotate = (w->Flags & kFlagRotate180) != 0;
  const bool landscape = w->dm.dmOrientation == DMORIENT_LANDSCAPE;
  const int radio = rotate ? (landscape ? IDC_PS_LANDSCAPE270 : IDC_PS_PORTRAIT180)
                           : (landscape ? IDC_PS_LANDSCAPE : IDC_PS_PORTRAIT);
  CheckRadioButton(page, IDC_PS_PORTRAIT, IDC_PS_LANDSCAPE270, radio);
  CheckDlgButton(page, IDC_PS_MIRROR, (w->Flags & kFlagMirror) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_PS_NEGATIVE, (w->Flags & kFlagNegative) ? BST_CHECKED : BST_UNCHECKED);

  SetDlgItemInt(page, IDC_PS_COPIES, UINT(w->dm.dmCopies), FALSE);
  SetSpinRange(page, IDC_PS_COPIES_SPIN, 1, ctx->Model ? ctx->Model->MaxCopies : 1);

  UpdateOffsets(page, ctx, false);
  SetMillimetres(page, IDC_PS_PRINTWIDTH, w->PrintWidth);
  SetSpinRange(page, IDC_PS_PRINTWIDTH_SPIN, kPageMinPrintWidth / 100, kPageMaxPrintWidth / 100);
  HWND scale = GetDlgItem(page, IDC_PS_SCALE);
  SendMessageW(scale, CB_RESETCONTENT, 0, 0);
  for (UINT id : {IDS_SCALE_NONE, IDS_SCALE_FIT, IDS_SCALE_PRINT_WIDTH, IDS_SCALE_SHRINK, IDS_SCALE_CROP}) {
    WCHAR text[64];
    LoadUiString(id, text, 64);
    SendMessageW(scale, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendMessageW(scale, CB_SETCURSEL, WPARAM(w->PrintingScale), 0);
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PS_INITIALISED, 0), 0);
}

void DeleteStock(HWND page, PrinterContext* ctx) {
  const WCHAR* selected = SelectedStockName(page);
  if (!selected) return;
  WCHAR name[kPaperNameChars]{};
  WStrCopyN(name, kPaperNameChars, selected, kPaperNameChars);
  WCHAR format[128], title[64];
  LoadUiString(IDS_ASK_REMOVE_PAPER, format, 128);
  LoadUiString(IDS_QUESTION, title, 64);
  WString question = WFormat(format, name);
  if (MessageBoxW(page, question.c_str(), title, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  HWND combo = GetDlgItem(page, IDC_PS_STOCK);
  if (DeletePaper(ctx, name)) {
    FillStockList(combo, ctx, kUserStock, &StateOf(page)->names);
  } else {
    LoadUiString(IDS_ERR_REMOVE_PAPER, format, 128);
    LoadUiString(IDS_INFORMATION, title, 64);
    WString info = WFormat(format, name);
    MessageBoxW(page, info.c_str(), title, MB_OK | MB_ICONINFORMATION);
    FillStockList(combo, ctx, name, &StateOf(page)->names);
  }
  UpdateOffsets(page, ctx, true);
  Changed(page, ctx);
}

void EditStock(HWND page, PrinterContext* ctx, bool fresh) {
  WCHAR name[kPaperNameChars]{};
  if (!fresh) {
    const WCHAR* selected = SelectedStockName(page);
    if (!selected) return;
    WStrCopyN(name, kPaperNameChars, selected, kPaperNameChars);
  }
  WCHAR saved[kPaperNameChars]{};
  if (!RunStockEditor(page, ctx, name, saved)) return;
  FillStockList(GetDlgItem(page, IDC_PS_STOCK), ctx, saved, &StateOf(page)->names);
  UpdateOffsets(page, ctx, true);
  Changed(page, ctx);
}

void Apply(HWND page, PrinterContext* ctx) {
  // Enter takes OK with the focus still in an offset: its text is brought into range as leaving it would.
  ClampEdit(page, IDC_PS_SHIFTH, IDC_PS_SHIFTH_SPIN, true);
  ClampEdit(page, IDC_PS_SHIFTV, IDC_PS_SHIFTV_SPIN, true);
  ReadControls(page, ctx);
  StoreWorkingCopy(ctx);
  // The stock chosen here is the paper the sheet commits.
  WStrCopyN(ctx->CurrentPaper.Name, kPaperNameChars, ctx->Settings.dm.dmFormName, CCHFORMNAME);
  SendMessageW(GetParent(page), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
}

LRESULT OnNotify(HWND page, PrinterContext* ctx, NMHDR* nm) {
  switch (nm->code) {
    case PSN_APPLY:
    case 1:  // the sheet's own apply notification
      Apply(page, ctx);
      return PSNRET_NOERROR;
    case PSN_SETACTIVE:
      SetTimer(page, kActivateTimer, kActivateDelay, nullptr);
      return 0;
    case UDN_DELTAPOS: {
      auto* ud = reinterpret_cast<NMUPDOWN*>(nm);
      switch (nm->idFrom) {
        case IDC_PS_SHIFTH_SPIN: SpinEdit(page, IDC_PS_SHIFTH, IDC_PS_SHIFTH_SPIN, ud->iDelta, true); break;
        case IDC_PS_SHIFTV_SPIN: SpinEdit(page, IDC_PS_SHIFTV, IDC_PS_SHIFTV_SPIN, ud->iDelta, true); break;
        case IDC_PS_COPIES_SPIN: SpinEdit(page, IDC_PS_COPIES, IDC_PS_COPIES_SPIN, ud->iDelta, false); break;
        case IDC_PS_PRINTWIDTH_SPIN:
          SpinEdit(page, IDC_PS_PRINTWIDTH, IDC_PS_PRINTWIDTH_SPIN, ud->iDelta, true);
          break;
        default: return 0;
      }
      return 1;  // the text holds the value; the control keeps no position of its own
    }
    default: return 0;
  }
}

void OnCommand(HWND page, PageState* state, int id, int code, LPARAM lParam) {
  PrinterContext* ctx = state->ctx;
  if (id == IDC_PS_INITIALISED && lParam == 0) {
    state->initialised = true;
    ReadControls(page, ctx);
    return;
  }
  switch (id) {
    case IDC_PS_STOCK:
      if (code == CBN_SELCHANGE) {
        UpdateOffsets(page, ctx, true);
        Changed(page, ctx);
      }
      break;
    case IDC_PS_PORTRAIT:
    case IDC_PS_LANDSCAPE:
    case IDC_PS_PORTRAIT180:
    case IDC_PS_LANDSCAPE270:
      if (code == BN_CLICKED && state->initialised) state->orientationChosen = true;
      [[fallthrough]];
    case IDC_PS_MIRROR:
    case IDC_PS_NEGATIVE:
      if (code == BN_CLICKED) Changed(page, ctx);
      break;
    case IDC_PS_SHIFTH:
    case IDC_PS_SHIFTV:
    case IDC_PS_COPIES:
    case IDC_PS_PRINTWIDTH:
      if (code == EN_CHANGE && state->initialised) Changed(page, ctx);
      if (code == EN_KILLFOCUS) {
        if (id == IDC_PS_SHIFTH) ClampEdit(page, id, IDC_PS_SHIFTH_SPIN, true);
        if (id == IDC_PS_SHIFTV) ClampEdit(page, id, IDC_PS_SHIFTV_SPIN, true);
        if (id == IDC_PS_COPIES) ClampEdit(page, id, IDC_PS_COPIES_SPIN, false);
      }
      break;
    case IDC_PS_SCALE:
      if (code == CBN_SELCHANGE) Changed(page, ctx);
      break;
    case IDC_PS_NEW:
      if (code == BN_CLICKED) EditStock(page, ctx, true);
      break;
    case IDC_PS_EDIT:
      if (code == BN_CLICKED) EditStock(page, ctx, false);
      break;
    case IDC_PS_DELETE:
      if (code == BN_CLICKED) DeleteStock(page, ctx);
      break;
    default: break;
  }
}

}  // namespace

int64_t ParseMicrometres(const WCHAR* text) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  constexpr int64_t kLimit = INT64_MAX / 10000;
  int64_t whole = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    if (whole < kLimit) whole = whole * 10 + (*text - '0');
  int64_t fraction = 0;
  if (*text == '.') {
    ++text;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits)
      if (digits < 3) fraction = fraction * 10 + (*text - '0');
    for (; digits < 3; ++digits) fraction *= 10;
  }
  const int64_t value = whole * 1000 + fraction;
  return negative ? -value : value;
}

int64_t ParseInteger(const WCHAR* text) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    if (value < INT64_MAX / 10 - 10) value = value * 10 + (*text - '0');
  return negative ? -value : value;
}

int32_t ClampTo(int64_t value, int32_t lo, int32_t hi) {
  return value < lo ? lo : value > hi ? hi : int32_t(value);
}

WString StockItemText(const PaperRecord& s) {
  WCHAR name[kPaperNameChars]{};
  WStrCopyN(name, kPaperNameChars, s.Name, kPaperNameChars);
  const double width = (double(s.Width) - s.MarginLeft - s.MarginRight) / 1000.0;
  return WFormat(TEXT("%ws(%.1f mm x %.1f mm)"), name, width, s.Length / 1000.0);
}

bool FillStockList(HWND combo, const PrinterContext* ctx, LPCWSTR select, StockNames* names) {
  if (!combo || !ctx || !names) return false;
  int count = 0;
  PaperRecord* list = ReadPaperList(ctx->Printer, &count);
  if (!list) return false;
  LocalFree(list);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  // The items point into the names: they are replaced only once the items are gone.
  try {
    names->assign(size_t(count > 0 ? count : 0), {});
  } catch (const std::bad_alloc&) {
    names->clear();
  }
  FillRequest request{combo, ctx, names, select, 0, -1};
  if (EnumPaperList(ctx, -1, AddStockItem, &request) < 0) return false;
  if (request.selected < 0 && request.added > 0) request.selected = 0;
  if (request.selected >= 0) SendMessageW(combo, CB_SETCURSEL, WPARAM(request.selected), 0);
  return true;
}

bool LookupStock(const PrinterContext* ctx, LPCWSTR name, PaperRecord* out) {
  if (!ctx || !name || !out) return false;
  int count = 0;
  PaperRecord* list = ReadPaperList(ctx->Printer, &count);
  if (!list) return false;
  const int at = FindPaperByName(list, count, name);
  if (at >= 0) *out = list[at];
  LocalFree(list);
  return at >= 0;
}

void SetMillimetres(HWND dlg, int editId, int32_t micrometres) {
  WCHAR text[32];
  WFormatTo(text, 32, TEXT("%.1f"), micrometres / 1000.0);
  SetDlgItemTextW(dlg, editId, text);
}

namespace {
void Range(HWND dlg, int spinId, LONG* lo, LONG* hi) {
  *lo = 0, *hi = 0;
  SendDlgItemMessageW(dlg, spinId, UDM_GETRANGE32, reinterpret_cast<WPARAM>(lo), reinterpret_cast<LPARAM>(hi));
  if (*lo > *hi) std::swap(*lo, *hi);
}

void SetClamped(HWND dlg, int editId, int spinId, int64_t value, bool tenths) {
  LONG lo, hi;
  Range(dlg, spinId, &lo, &hi);
  value = value < lo ? lo : value > hi ? hi : value;
  if (tenths) {
    ShowTenths(dlg, editId, value);
  } else {
    WCHAR text[24];
    WFormatTo(text, 24, TEXT("%d"), int(value));
    SetDlgItemTextW(dlg, editId, text);
  }
}

int64_t EditValue(HWND dlg, int editId, bool tenths) {
  WString text = EditText(dlg, editId);
  return tenths ? ParseMicrometres(text.c_str()) / 100 : ParseInteger(text.c_str());
}
}  // namespace

void SpinEdit(HWND dlg, int editId, int spinId, int delta, bool tenths) {
  SetClamped(dlg, editId, spinId, EditValue(dlg, editId, tenths) + delta, tenths);
}

void ClampEdit(HWND dlg, int editId, int spinId, bool tenths) {
  // A value inside the range keeps its text, so that hundredths typed by the user ("7.25") survive.
  LONG lo, hi;
  Range(dlg, spinId, &lo, &hi);
  const int64_t value = EditValue(dlg, editId, tenths);
  if (value < lo || value > hi) SetClamped(dlg, editId, spinId, value, tenths);
}

int PreviewAngle(int orientation, uint32_t flags) {
  const bool rotate = (flags & kFlagRotate180) != 0;
  if (orientation == DMORIENT_LANDSCAPE) return rotate ? 90 : 270;
  return rotate ? 180 : 0;
}

INT_PTR CALLBACK PageSetupProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  PageState* state = StateOf(page);
  PrinterContext* ctx = state ? state->ctx : nullptr;
  switch (message) {
    case WM_INITDIALOG: return OpenSheetPage(page, lParam, InitPage);
    case WM_COMMAND:
      if (state) OnCommand(page, state, LOWORD(wParam), HIWORD(wParam), lParam);
      return TRUE;
    case WM_NOTIFY: {
      if (!ctx) return FALSE;
      LRESULT r = OnNotify(page, ctx, reinterpret_cast<NMHDR*>(lParam));
      SetWindowLongPtrW(page, DWLP_MSGRESULT, r);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == kActivateTimer) {
        KillTimer(page, kActivateTimer);
        if (ctx) RedrawPreview(page, ctx);
      }
      return TRUE;
    case WM_DRAWITEM:
      if (ctx && wParam == IDC_PS_PREVIEW) RedrawPreview(page, ctx);
      return TRUE;
    case WM_DESTROY:
      if (state) {
        KillTimer(page, kActivateTimer);
        if (ctx->PageWindows[kPageSetupWindow] == page) ctx->PageWindows[kPageSetupWindow] = nullptr;
        SetWindowLongPtrW(page, DWLP_USER, 0);
        delete state;  // with the stock names behind the list's items
      }
      return FALSE;
    default: return FALSE;
  }
}
