#include "ui/stockeditor.h"

#include <climits>
#include <cstring>

#include <commctrl.h>
#include "common/devmode.h"
#include "common/wstr.h"
#include "ui/module.h"
#include "ui/pagesetup.h"
#include "ui/preview.h"

namespace {

constexpr UINT_PTR kPreviewTimer = 2;
constexpr UINT kPreviewDelay = 50;
constexpr WCHAR kUserStock[] = TEXT("USER");
constexpr uint32_t kTypeBits[] = {kPaperGap, kPaperBlackMark, kPaperContinuous, kPaperContinuousUnfixed};
constexpr int kContinuousIndex = 2;

struct EditorArgs {
  PrinterContext* ctx;
  const WCHAR* name;
  WCHAR* saved;
};

// One editor's state, kept in its DWLP_USER while it is open.
struct EditorState {
  EditorArgs* args = nullptr;
  WCHAR opened[kPaperNameChars] = {};
  bool previewReady = false;
};

EditorState* StateOf(HWND dlg) { return reinterpret_cast<EditorState*>(GetWindowLongPtrW(dlg, DWLP_USER)); }

WString Text(HWND dlg, int id) {
  WCHAR text[64]{};
  GetDlgItemTextW(dlg, id, text, 64);
  return WString(text);
}

bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

bool SupportsTransfer(const PrinterContext* ctx) { return ctx->Model && (ctx->Model->Flags & 0x4); }

bool IsEsc(const PrinterContext* ctx) { return ctx->Settings.PrintLanguage == kLangEsc; }

void EnablePrintSettings(HWND dlg, const PrinterContext* ctx) {
  const bool on = Checked(dlg, IDC_SE_PRINT_SETTING);
  EnableWindow(GetDlgItem(dlg, IDC_SE_SPEED), on);
  EnableWindow(GetDlgItem(dlg, IDC_SE_DARKNESS), on);
  EnableWindow(GetDlgItem(dlg, IDC_SE_DIRECT), on);
  EnableWindow(GetDlgItem(dlg, IDC_SE_TRANSFER), on && SupportsTransfer(ctx));
}

void TypeChanged(HWND dlg) {
  const LRESULT type = SendDlgItemMessageW(dlg, IDC_SE_TYPE, CB_GETCURSEL, 0, 0);
  const bool gaps = type <= 1;  // gaps, black marks (and no selection)
  SetDlgItemTextW(dlg, IDC_SE_GAP, gaps ? TEXT("3") : TEXT("0"));
  if (!gaps) SetDlgItemTextW(dlg, IDC_SE_OFFSET, TEXT("0"));
  EnableWindow(GetDlgItem(dlg, IDC_SE_GAP), gaps);
  EnableWindow(GetDlgItem(dlg, IDC_SE_OFFSET), gaps);
}

PaperRecord ReadFields(HWND dlg, const PrinterContext* ctx) {
  WString name = Text(dlg, IDC_SE_NAME), width = Text(dlg, IDC_SE_WIDTH), length = Text(dlg, IDC_SE_LENGTH),
          left = Text(dlg, IDC_SE_LEFT), right = Text(dlg, IDC_SE_RIGHT), gap = Text(dlg, IDC_SE_GAP),
          offset = Text(dlg, IDC_SE_OFFSET);
  const LRESULT speed = SendDlgItemMessageW(dlg, IDC_SE_SPEED, CB_GETCURSEL, 0, 0);
  const StockFields f{
      .Name = name.c_str(), .LabelWidth = width.c_str(), .Length = length.c_str(), .LinerLeft = left.c_str(),
      .LinerRight = right.c_str(), .GapHeight = gap.c_str(), .GapOffset = offset.c_str(),
      .TypeIndex = int(SendDlgItemMessageW(dlg, IDC_SE_TYPE, CB_GETCURSEL, 0, 0)),
      .DirectThermal = Checked(dlg, IDC_SE_DIRECT), .ThermalTransfer = Checked(dlg, IDC_SE_TRANSFER),
      .OwnPrintSetting = Checked(dlg, IDC_SE_PRINT_SETTING),
      .Speed = speed >= 0 ? int32_t(SendDlgItemMessageW(dlg, IDC_SE_SPEED, CB_GETITEMDATA, WPARAM(speed), 0)) : 0,
      .DarknessIndex = int(SendDlgItemMessageW(dlg, IDC_SE_DARKNESS, CB_GETCURSEL, 0, 0))};
  return StockFromFields(f, ctx->Model);
}

void RedrawPreview(HWND dlg, const PrinterContext* ctx) {
  const EditorState* state = StateOf(dlg);
  if (!state || !state->previewReady) return;
  PaperRecord stock = ReadFields(dlg, ctx);
  if (stock.Length < 10000 || stock.Width < 10000) return;
  HWND focus = GetFocus();
  const int arrow = focus == GetDlgItem(dlg, IDC_SE_WIDTH)    ? kArrowWidth
                    : focus == GetDlgItem(dlg, IDC_SE_LENGTH) ? kArrowLength
                                                              : kArrowNone;
  DrawObjects(GetDlgItem(dlg, IDC_SE_PREVIEW), &stock, ctx, arrow, 0, false, false);
}

void SetRange(HWND dlg, int spin, LONG lo, LONG hi) { SendDlgItemMessageW(dlg, spin, UDM_SETRANGE32, WPARAM(lo), LPARAM(hi)); }

void InitEditor(HWND dlg, EditorArgs* args) {
  PrinterContext* ctx = args->ctx;
  auto* state = new EditorState;
  state->args = args;
  SetWindowLongPtrW(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  for (int id = IDC_SE_UNIT_FIRST; id <= IDC_SE_UNIT_LAST; ++id) SetDlgItemTextW(dlg, id, TEXT("mm"));

  HWND type = GetDlgItem(dlg, IDC_SE_TYPE);
  for (UINT id : {IDS_STOCK_GAPS, IDS_STOCK_MARKS, IDS_STOCK_CONTINUOUS, IDS_STOCK_UNFIXED_CONTINUOUS}) {
    WCHAR text[64];
    LoadUiString(id, text, 64);
    SendMessageW(type, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  const WCHAR* name = args->name ? args->name : TEXT("");
  if (WStrEq(name, kUserStock)) EnableWindow(GetDlgItem(dlg, IDC_SE_NAME), FALSE);
  // A stock's name holds this many characters: more typed would be cut short when saved.
  SendDlgItemMessageW(dlg, IDC_SE_NAME, EM_LIMITTEXT, WPARAM(kPaperNameChars - 1), 0);
  WStrCopyN(state->opened, kPaperNameChars, name, kPaperNameChars);
  SetRange(dlg, IDC_SE_WIDTH_SPIN, kStockMinWidth / 100, kStockMaxWidth / 100);
  SetRange(dlg, IDC_SE_LENGTH_SPIN, kStockMinLength / 100, kStockMaxLength / 100);
  for (int spin : {IDC_SE_LEFT_SPIN, IDC_SE_RIGHT_SPIN, IDC_SE_GAP_SPIN, IDC_SE_OFFSET_SPIN})
    SetRange(dlg, spin, 0, kStockMaxMargin / 100);

  const PaperRecord s = StartingStock(ctx, name);
  WCHAR shown[kPaperNameChars]{};
  WStrCopyN(shown, kPaperNameChars, s.Name, kPaperNameChars);
  SetDlgItemTextW(dlg, IDC_SE_NAME, shown);
  SetMillimetres(dlg, IDC_SE_WIDTH, int32_t(int64_t(s.Width) - s.MarginLeft - s.MarginRight));
  SetMillimetres(dlg, IDC_SE_LENGTH, s.Length);
  SetMillimetres(dlg, IDC_SE_LEFT, s.MarginLeft);
  SetMillimetres(dlg, IDC_SE_RIGHT, s.MarginRight);
  SetMillimetres(dlg, IDC_SE_GAP, s.GapHeight);
  SetMillimetres(dlg, IDC_SE_OFFSET, s.GapOffset);

  int typeIndex = 0;
  for (int i = 0; i < 4; ++i)
    if (s.Flags & kTypeBits[i]) {
      typeIndex = i;
      break;
    }
  SendMessageW(type, CB_SETCURSEL, WPARAM(typeIndex), 0);
  CheckDlgButton(dlg, IDC_SE_DIRECT, (s.Flags & kPaperDirectThermal) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_SE_TRANSFER, (s.Flags & kPaperThermalTransfer) ? BST_CHECKED : BST_UNCHECKED);

  const ModelRecord* m = ctx->Model;
  HWND speeds = GetDlgItem(dlg, IDC_SE_SPEED);
  int32_t values[512];
  const int count = StockSpeeds(m, values, 512);
  int speedSel = -1, settingItem = -1;
  for (int i = 0; i < count; ++i) {
    WString text = WFormat(TEXT("%.2f inches/s (%.1f mm/s)"), values[i] / 100.0, values[i] * 25.4 / 100.0);
    LRESULT at = SendMessageW(speeds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(speeds, CB_SETITEMDATA, WPARAM(at), LPARAM(values[i]));
    if (s.Speed && values[i] == s.Speed) speedSel = int(at);
    if (values[i] == int32_t(ctx->Settings.Speed)) settingItem = int(at);
  }
  if (!s.Speed) speedSel = settingItem > 0 ? settingItem : count - 1;
  if (speedSel >= 0) SendMessageW(speeds, CB_SETCURSEL, WPARAM(speedSel), 0);

  HWND darkness = GetDlgItem(dlg, IDC_SE_DARKNESS);
  const int levels = m ? m->DarknessMax : 0;
  for (int i = 0; i < levels; ++i) {
    WCHAR text[16];
    WFormatTo(text, 16, TEXT("%d"), i);
    SendMessageW(darkness, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  const int level = s.Darkness ? s.Darkness : (m ? m->Darkness : 0);
  if (level >= 1 && level <= levels) SendMessageW(darkness, CB_SETCURSEL, WPARAM(level - 1), 0);

  CheckDlgButton(dlg, IDC_SE_PRINT_SETTING, (s.Speed || s.Darkness) ? BST_CHECKED : BST_UNCHECKED);
  EnablePrintSettings(dlg, ctx);
  EnableWindow(GetDlgItem(dlg, IDC_SE_GAP), typeIndex <= 1);
  EnableWindow(GetDlgItem(dlg, IDC_SE_OFFSET), typeIndex <= 1);

  if (IsEsc(ctx)) {
    // ESC printers feed continuous paper only.
    SendMessageW(type, CB_SETCURSEL, WPARAM(kContinuousIndex), 0);
    TypeChanged(dlg);
    for (int id : {IDC_SE_TYPE, IDC_SE_PRINT_SETTING, IDC_SE_LEFT, IDC_SE_RIGHT, IDC_SE_LEFT_SPIN, IDC_SE_RIGHT_SPIN,
                   IDC_SE_GAP, IDC_SE_GAP_SPIN, IDC_SE_OFFSET, IDC_SE_OFFSET_SPIN})
      EnableWindow(GetDlgItem(dlg, id), FALSE);
  }
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_SE_INITIALISED, 0), 0);
}

int ClampSpin(int edit) {
  switch (edit) {
    case IDC_SE_LEFT: return IDC_SE_LEFT_SPIN;
    case IDC_SE_RIGHT: return IDC_SE_RIGHT_SPIN;
    case IDC_SE_GAP: return IDC_SE_GAP_SPIN;
    case IDC_SE_OFFSET: return IDC_SE_OFFSET_SPIN;
    default: return 0;
  }
}

void Ok(HWND dlg, EditorState* state) {
  PrinterContext* ctx = state->args->ctx;
  // Enter takes OK with the focus still in a field: its text is brought into range as leaving it would.
  for (int id : {IDC_SE_LEFT, IDC_SE_RIGHT, IDC_SE_GAP, IDC_SE_OFFSET}) ClampEdit(dlg, id, ClampSpin(id), true);
  PaperRecord stock = ReadFields(dlg, ctx);
  WCHAR text[256], title[64];
  const StockNameProblem problem = CheckStockName(ctx, stock.Name, state->opened);
  switch (problem) {
    case StockNameProblem::kBlank:
    case StockNameProblem::kReserved: {
      LoadUiString(problem == StockNameProblem::kBlank ? IDS_ERR_STOCK_NAME_BLANK : IDS_ERR_STOCK_NAME_USER, text, 256);
      LoadUiString(IDS_INFORMATION, title, 64);
      MessageBoxW(dlg, text, title, MB_OK | MB_ICONINFORMATION);
      SetFocus(GetDlgItem(dlg, IDC_SE_NAME));
      return;
    }
    case StockNameProblem::kTaken: {
      LoadUiString(IDS_ASK_REPLACE_STOCK, text, 256);
      LoadUiString(IDS_QUESTION, title, 64);
      const WString question = WFormat(text, stock.Name);
      if (MessageBoxW(dlg, question.c_str(), title, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
      break;
    }
    case StockNameProblem::kNone: break;
  }
  if (!SaveStock(ctx, stock, state->opened)) {
    WCHAR text[128];
    LoadUiString(IDS_ERR_SAVE_PAPER, text, 128);
    MessageBoxW(dlg, text, nullptr, MB_OK);
    return;
  }
  if (state->args->saved) WStrCopyN(state->args->saved, kPaperNameChars, stock.Name, kPaperNameChars);
  EndDialog(dlg, IDOK);
}

int SpinTarget(int spin) {
  switch (spin) {
    case IDC_SE_WIDTH_SPIN: return IDC_SE_WIDTH;
    case IDC_SE_LENGTH_SPIN: return IDC_SE_LENGTH;
    case IDC_SE_GAP_SPIN: return IDC_SE_GAP;
    case IDC_SE_OFFSET_SPIN: return IDC_SE_OFFSET;
    case IDC_SE_LEFT_SPIN: return IDC_SE_LEFT;
    case IDC_SE_RIGHT_SPIN: return IDC_SE_RIGHT;
    default: return 0;
  }
}

}  // namespace

int StockSpeeds(const ModelRecord* m, int32_t* out, int cap) {
  if (!m || m->SpeedMax < m->SpeedMin) return 0;
  const int step = m->SpeedStep ? m->SpeedStep : 1;
  int n = 0;
  for (int v = m->SpeedMin; v <= m->SpeedMax && n < cap; v += step) out[n++] = v;
  return n;
}

PaperRecord StockFromFields(const StockFields& f, const ModelRecord* model) {
  PaperRecord p{};
  p.Flags = (f.DirectThermal ? kPaperDirectThermal : 0) | (f.ThermalTransfer ? kPaperThermalTransfer : 0) |
            kTypeBits[f.TypeIndex > 0 && f.TypeIndex < 4 ? f.TypeIndex : 0] | kPaperInUse;
  p.MarginLeft = ClampTo(ParseMicrometres(f.LinerLeft), 0, kStockMaxMargin);
  p.MarginRight = ClampTo(ParseMicrometres(f.LinerRight), 0, kStockMaxMargin);
  p.Length = ClampTo(ParseMicrometres(f.Length), kStockMinLength, kStockMaxLength);
  p.GapHeight = ClampTo(ParseMicrometres(f.GapHeight), 0, kStockMaxMargin);
  p.GapOffset = ClampTo(ParseMicrometres(f.GapOffset), 0, kStockMaxMargin);
  const int64_t label = ClampTo(ParseMicrometres(f.LabelWidth), kStockMinWidth, kStockMaxWidth);
  p.Width = ClampTo(label + p.MarginLeft + p.MarginRight, INT32_MIN, INT32_MAX);
  if (model && p.Width < model->MinLabelWidth) p.Width = model->MinLabelWidth;
  if (model && p.Length < model->MinLabelLength) p.Length = model->MinLabelLength;
  if (f.OwnPrintSetting) {
    p.Speed = f.Speed;
    p.Darkness = f.DarknessIndex >= 0 ? f.DarknessIndex + 1 : 0;
  }
  if (f.Name) WStrCopyN(p.Name, kPaperNameChars, f.Name, kPaperNameChars - 1);
  return p;
}

StockNameProblem CheckStockName(const PrinterContext* ctx, LPCWSTR name, LPCWSTR openedName) {
  const WCHAR* p = name ? name : TEXT("");
  while (*p == ' ' || *p == '\t') ++p;
  if (!*p) return StockNameProblem::kBlank;
  const WCHAR* opened = openedName ? openedName : TEXT("");
  if (WStrEq(name, opened)) return StockNameProblem::kNone;
  if (WStrEq(name, kUserStock)) return StockNameProblem::kReserved;
  PaperRecord existing{};
  return LookupStock(ctx, name, &existing) ? StockNameProblem::kTaken : StockNameProblem::kNone;
}

bool SaveStock(PrinterContext* ctx, const PaperRecord& stock, LPCWSTR openedName) {
  if (!AddPaper(ctx, &stock)) return false;
  if (openedName && *openedName && !WStrEq(openedName, stock.Name)) DeletePaper(ctx, openedName);
  return true;
}

PaperRecord StartingStock(const PrinterContext* ctx, LPCWSTR name) {
  PaperRecord s{};
  if (name && *name && LookupStock(ctx, name, &s)) return s;
  if (ctx && ctx->Model && ContextPaperCount(ctx) > 0) {
    s = ContextPapers(ctx)[0];
  } else if (ctx && ctx->Model) {
    s.Width = ctx->Model->MinLabelWidth;
    s.Length = ctx->Model->MinLabelLength;
  }
  WCHAR fresh[kPaperNameChars]{};
  LoadUiString(IDS_NEW_PAPER, fresh, kPaperNameChars);
  WStrCopy(s.Name, kPaperNameChars, fresh);
  return s;
}

bool RunStockEditor(HWND parent, PrinterContext* ctx, LPCWSTR name, WCHAR* savedName) {
  EditorArgs args{ctx, name, savedName};
  const INT_PTR r = DialogBoxParamW(UiModule(), MAKEINTRESOURCEW(kStockEditorTemplate), parent,
                                    GuardedDialogProc<StockEditorProc>, reinterpret_cast<LPARAM>(&args));
  return r == IDOK;
}

INT_PTR CALLBACK StockEditorProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  EditorState* state = StateOf(dlg);
  PrinterContext* ctx = state && state->args ? state->args->ctx : nullptr;
  switch (message) {
    case WM_INITDIALOG:
      if (!lParam) return TRUE;
      InitEditor(dlg, reinterpret_cast<EditorArgs*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      if (!ctx) return FALSE;
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDC_SE_INITIALISED && lParam == 0) {
        SetTimer(dlg, kPreviewTimer, kPreviewDelay, nullptr);
        return TRUE;
      }
      switch (id) {
        case IDOK: Ok(dlg, state); return TRUE;
        case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
        case IDC_SE_TYPE:
          if (code == CBN_SELCHANGE) {
            TypeChanged(dlg);
            RedrawPreview(dlg, ctx);
          }
          return TRUE;
        case IDC_SE_PRINT_SETTING:
          if (code == BN_CLICKED) EnablePrintSettings(dlg, ctx);
          return TRUE;
        default: break;
      }
      if (id >= IDC_SE_WIDTH && id <= IDC_SE_OFFSET) {
        if (code == EN_CHANGE) RedrawPreview(dlg, ctx);
        if (code == EN_SETFOCUS) RedrawPreview(dlg, ctx);  // the arrow follows the focused field
        if (code == EN_KILLFOCUS && ClampSpin(id)) ClampEdit(dlg, id, ClampSpin(id), true);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMHDR*>(lParam);
      if (!ctx || nm->code != UDN_DELTAPOS) return FALSE;
      const int edit = SpinTarget(int(nm->idFrom));
      if (!edit) return FALSE;
      SpinEdit(dlg, edit, int(nm->idFrom), reinterpret_cast<NMUPDOWN*>(nm)->iDelta, true);
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == kPreviewTimer && ctx) {
        KillTimer(dlg, kPreviewTimer);
        state->previewReady = true;
        RedrawPreview(dlg, ctx);
      }
      return TRUE;
    case WM_DRAWITEM:
      if (ctx && wParam == IDC_SE_PREVIEW) RedrawPreview(dlg, ctx);
      return TRUE;
    case WM_DESTROY:
      if (state) {
        KillTimer(dlg, kPreviewTimer);
        SetWindowLongPtrW(dlg, DWLP_USER, 0);
        delete state;
      }
      return FALSE;
    default: return FALSE;
  }
}
