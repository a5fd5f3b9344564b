#include "ui/printsettings.h"

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "common/wstr.h"
#include "ui/module.h"
#include "ui/sheets.h"
#include "ui/working_copy.h"

namespace {

struct Language {
  uint16_t Bit;
  const WCHAR* Name;
  uint32_t Value;
};
const Language kLanguages[] = {{0x1, TEXT("ESC/POS"), kLangEsc},
                               {0x2, TEXT("TSPL"), kLangTspl},
                               {0x4, TEXT("ZPL"), kLangZpl},
                               {0x8, TEXT("TWL"), kLangTwl}};

const WCHAR kFunctionChars[] = {0, '^', '~', '!', '_', '/', '\\'};
const char* const kMnemonics[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
                                  "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                  "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",  "DEL"};

constexpr int kFeedSpinTenths = kFeedOffsetLimit / 100;  // +-2540 tenths of a millimetre

struct PrintSettingsPage {
  PrinterContext* ctx = nullptr;
  PrintSettingsValues values{};
  uint32_t openedLanguage = 0;
  int slot = 0;
  PostActionItem actions[4]{};
  int actionCount = 0;
  bool initialised = false;
};

PrintSettingsPage* StateOf(HWND page) {
  return reinterpret_cast<PrintSettingsPage*>(GetWindowLongPtrW(page, DWLP_USER));
}

LRESULT Item(HWND page, int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendDlgItemMessageW(page, id, msg, wp, lp); }

void AddItem(HWND page, int id, const WCHAR* text, LPARAM data) {
  const LRESULT at = Item(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (at >= 0) Item(page, id, CB_SETITEMDATA, WPARAM(at), data);
}

void AddString(HWND page, int id, UINT stringId, LPARAM data) {
  WCHAR text[128];
  LoadUiString(stringId, text, 128);
  AddItem(page, id, text, data);
}

int SelectData(HWND page, int id, LPARAM data) {
  const int n = int(Item(page, id, CB_GETCOUNT));
  for (int i = 0; i < n; ++i) {
    if (Item(page, id, CB_GETITEMDATA, WPARAM(i)) == data) {
      Item(page, id, CB_SETCURSEL, WPARAM(i));
      return i;
    }
  }
  return -1;
}

int Selected(HWND page, int id) { return int(Item(page, id, CB_GETCURSEL)); }

LPARAM SelectedData(HWND page, int id, LPARAM fallback) {
  const int at = Selected(page, id);
  return at < 0 ? fallback : Item(page, id, CB_GETITEMDATA, WPARAM(at));
}

void ShowMillimetres(HWND page, int id, int32_t micrometres) {
  WCHAR text[32];
  WFormatTo(text, 32, TEXT("%.1f"), micrometres / 1000.0);
  SetDlgItemTextW(page, id, text);
}

uint32_t SelectedLanguage(HWND page, const PrintSettingsPage* s) {
  return uint32_t(SelectedData(page, kPsLanguage, LPARAM(s->values.PrintLanguage)));
}

// The occurrence (for a cut, in a language that carries it) and the interval (for "After Specified
// Interval") enabled by the chosen action's value.
void EnableOccurrence(HWND page, PrintSettingsPage* s) {
  const int a = Selected(page, kPsPostAction);
  const uint32_t value = a >= 0 && a < s->actionCount ? s->actions[a].Value : 0;
  const bool occurrence = value > kActionPeel && LanguageHasOccurrence(SelectedLanguage(page, s));
  // A language without it cuts after every page: the list says so.
  if (value > kActionPeel && !occurrence) Item(page, kPsOccurrence, CB_SETCURSEL, 0);
  EnableWindow(GetDlgItem(page, kPsOccurrence), occurrence);
  const bool interval = occurrence && Selected(page, kPsOccurrence) == int(kOccurrenceInterval);
  EnableWindow(GetDlgItem(page, kPsInterval), interval);
  EnableWindow(GetDlgItem(page, kPsIntervalSpin), interval);
  WCHAR text[16];
  WFormatTo(text, 16, TEXT("%u"), interval ? s->values.IntervalPages : 1u);
  SetDlgItemTextW(page, kPsInterval, text);
  Item(page, kPsIntervalSpin, UDM_SETRANGE32, 1, kIntervalMax);
}

// Step 2 of the page: the enabling above and the feed offset the action implies.
void PostActionChosen(HWND page, PrintSettingsPage* s) {
  EnableOccurrence(page, s);
  const int a = Selected(page, kPsPostAction);
  const uint32_t language = SelectedLanguage(page, s);
  const int32_t stored = s->ctx->Settings.FeedOffset;
  ShowMillimetres(page, kPsFeedOffset, FeedOffsetShown(language, a < 0 ? 0 : a, stored));
  Item(page, kPsFeedOffsetSpin, UDM_SETRANGE32, WPARAM(-kFeedSpinTenths), kFeedSpinTenths);
}

void LanguageChosen(HWND page, PrintSettingsPage* s) {
  EnableOccurrence(page, s);
  if (SelectedLanguage(page, s) == kLangEsc) {
    PostActionChosen(page, s);
    return;
  }
  SetDlgItemTextW(page, kPsFeedOffset, TEXT("0.0"));
  Item(page, kPsFeedOffsetSpin, UDM_SETRANGE32, WPARAM(-kFeedSpinTenths), kFeedSpinTenths);
}

void ReadBack(HWND page, PrintSettingsPage* s) {
  PrintSettingsValues& v = s->values;
  GetDlgItemTextW(page, kPsCommandText, v.UserCommands[s->slot], kUserCommandEditChars + 1);
  v.PrintLanguage = SelectedLanguage(page, s);
  v.Speed = uint32_t(SelectedData(page, kPsSpeed, LPARAM(v.Speed)));
  if (Selected(page, kPsPrintMode) >= 0) v.PrintMode = uint32_t(Selected(page, kPsPrintMode));
  if (Selected(page, kPsDarkness) >= 0) v.Darkness = uint32_t(Selected(page, kPsDarkness));
  if (Selected(page, kPsPaperSaving) >= 0) v.PaperSaving = uint32_t(Selected(page, kPsPaperSaving));
  if (Selected(page, kPsOccurrence) >= 0) v.PostActionOccurrence = uint32_t(Selected(page, kPsOccurrence));
  const int a = Selected(page, kPsPostAction);
  if (a >= 0) v.PostAction = PostActionToStore(a, v.PostActionOccurrence, s->actions, s->actionCount);
  WCHAR text[64];
  // The interval shows "1" while it is off; the stored count is kept then.
  if (IsWindowEnabled(GetDlgItem(page, kPsInterval))) {
    GetDlgItemTextW(page, kPsInterval, text, 64);
    v.IntervalPages = ParseInterval(text, v.IntervalPages);
  }
  GetDlgItemTextW(page, kPsFeedOffset, text, 64);
  v.FeedOffset = ParseFeedOffset(text, v.FeedOffset);
}

void Report(HWND page, PrintSettingsPage* s) {
  ReadBack(page, s);
  const bool changed = !SamePrintSettings(s->values, PrintSettingsFromSettings(s->ctx));
  SendMessageW(GetParent(page), changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
}

void FillSpeed(HWND page, const ModelRecord* m) {
  AddString(page, kPsSpeed, IDS_USE_PRINTER_SETTINGS, 0);
  if (!m) return;
  WCHAR format[64];
  LoadUiString(IDS_SPEED_FORMAT, format, 64);
  const uint32_t step = m->SpeedStep ? m->SpeedStep : 1;
  for (uint32_t speed = m->SpeedMin; speed && speed <= m->SpeedMax; speed += step) {
    WCHAR text[64];
    WFormatTo(text, 64, format, speed / 100.0, speed * 25.4 / 100.0);
    AddItem(page, kPsSpeed, text, LPARAM(speed));
  }
}

void FillDarkness(HWND page, const ModelRecord* m, bool esc) {
  AddString(page, kPsDarkness, IDS_USE_PRINTER_SETTINGS, 0);
  // Stored levels 1 to DarknessMax, shown as 0 to DarknessMax - 1.
  int levels = m ? int(m->DarknessMax) : 0;
  if (esc) levels = std::min(levels, 8);  // ESC printers take levels up to 8 (shown 0 to 7)
  for (int i = 0; i < levels; ++i) {
    WCHAR text[8];
    WFormatTo(text, 8, TEXT("%d"), i);
    AddItem(page, kPsDarkness, text, LPARAM(i + 1));
  }
}

void Open(HWND page, PrinterContext* ctx) {
  auto* s = new PrintSettingsPage;
  s->ctx = ctx;
  s->values = PrintSettingsFromSettings(ctx);
  s->openedLanguage = s->values.PrintLanguage;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
  ModelRecord* m = ctx->Model;
  const PrintSettingsValues& v = s->values;
  const bool esc = v.PrintLanguage == kLangEsc;
  // An ESC printer has no peeler, for the rest of the sheet.
  if (esc && m) m->Accessories = uint16_t(m->Accessories & ~kAccessoryPeeler);

  AddString(page, kPsPrintMode, IDS_USE_PRINTER_SETTINGS, 0);
  AddString(page, kPsPrintMode, IDS_MODE_THERMAL, 1);
  if (m && (m->Flags & kModelThermalTransfer)) AddString(page, kPsPrintMode, IDS_MODE_TRANSFER, 2);
  Item(page, kPsPrintMode, CB_SETCURSEL, v.PrintMode);

  FillSpeed(page, m);
  if (esc || SelectData(page, kPsSpeed, LPARAM(v.Speed)) < 0) Item(page, kPsSpeed, CB_SETCURSEL, 0);
  EnableWindow(GetDlgItem(page, kPsSpeed), !esc);

  FillDarkness(page, m, esc);
  Item(page, kPsDarkness, CB_SETCURSEL, v.Darkness);

  for (UINT id : {IDS_ACTION_NONE, IDS_SAVING_TOP, IDS_SAVING_BOTTOM, IDS_SAVING_BOTH}) AddString(page, kPsPaperSaving, id, 0);
  Item(page, kPsPaperSaving, CB_SETCURSEL, v.PaperSaving);

  const uint16_t languages = m ? m->LanguageSet : 0;
  for (const Language& l : kLanguages) {
    if (languages & l.Bit) AddItem(page, kPsLanguage, l.Name, LPARAM(l.Value));
  }
  SelectData(page, kPsLanguage, LPARAM(v.PrintLanguage));

  s->actionCount = PostActionItems(m ? m->Accessories : 0, s->actions);
  for (int i = 0; i < s->actionCount; ++i) AddString(page, kPsPostAction, s->actions[i].Text, LPARAM(s->actions[i].Value));
  Item(page, kPsPostAction, CB_SETCURSEL, WPARAM(PostActionItemOf(v.PostAction, s->actions, s->actionCount)));
  for (UINT id : {IDS_OCCUR_PAGE, IDS_OCCUR_JOB, IDS_OCCUR_INTERVAL}) AddString(page, kPsOccurrence, id, 0);
  Item(page, kPsOccurrence, CB_SETCURSEL, OccurrenceShown(v.PostAction, v.PostActionOccurrence));
  PostActionChosen(page, s);

  for (UINT id : {IDS_SLOT_BEFORE_JOB, IDS_SLOT_BEFORE_PAGES, IDS_SLOT_AFTER_PAGES, IDS_SLOT_AFTER_JOB}) {
    WCHAR text[64];
    LoadUiString(id, text, 64);
    Item(page, kPsCommandSlots, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  Item(page, kPsCommandSlots, LB_SETCURSEL, 0);
  Item(page, kPsCommandText, EM_LIMITTEXT, kUserCommandEditChars);
  SetDlgItemTextW(page, kPsCommandText, v.UserCommands[0]);
  AddString(page, kPsFunctionChar, IDS_ACTION_NONE, 0);
  for (size_t i = 1; i < sizeof kFunctionChars / sizeof kFunctionChars[0]; ++i) {
    const WCHAR text[2] = {kFunctionChars[i], 0};
    AddItem(page, kPsFunctionChar, text, LPARAM(kFunctionChars[i]));
  }
  Item(page, kPsFunctionChar, CB_SETCURSEL, 1);
  EnableWindow(GetDlgItem(page, kPsInsert), TRUE);
  s->initialised = true;
}

void ChooseSlot(HWND page, PrintSettingsPage* s) {
  GetDlgItemTextW(page, kPsCommandText, s->values.UserCommands[s->slot], kUserCommandEditChars + 1);
  const int slot = int(Item(page, kPsCommandSlots, LB_GETCURSEL));
  if (slot < 0 || slot >= kUserCommandSlots) return;
  s->slot = slot;
  s->initialised = false;  // showing the slot is no edit
  SetDlgItemTextW(page, kPsCommandText, s->values.UserCommands[slot]);
  s->initialised = true;
}

void ChooseFile(HWND page, WCHAR functionChar) {
  WCHAR name[kUserCommandEditChars + 1] = {};
  if (!ChooseExistingFile(page, IDS_FILTER_ALL, TEXT("*.*"), name, kUserCommandEditChars)) return;
  // The slot holds the function character, '?' and the path: a longer path would be cut short.
  if (WStrLen(name) > size_t(kCommandFileChars)) {
    WCHAR format[160], title[64];
    LoadUiString(IDS_ERR_COMMAND_FILE_LONG, format, 160);
    LoadUiString(IDS_INFORMATION, title, 64);
    const WString message = WFormat(format, kCommandFileChars);
    MessageBoxW(page, message.c_str(), title, MB_OK | MB_ICONINFORMATION);
    return;
  }
  const WCHAR fc[2] = {functionChar, 0};
  WCHAR text[kUserCommandEditChars + 1];
  WFormatTo(text, kUserCommandEditChars + 1, TEXT("%ws?%ws"), fc, name);
  SetDlgItemTextW(page, kPsCommandText, text);
}

void Insert(HWND page) {
  const WCHAR fc = FunctionCharAt(Selected(page, kPsFunctionChar));
  if (!fc) return;
  HMENU menu = LoadMenuW(UiModule(), MAKEINTRESOURCEW(kInsertMenu));
  if (!menu) return;
  POINT pt{};
  GetCursorPos(&pt);
  const UINT command = UINT(TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, pt.x,
                                           pt.y, 0, page, nullptr));
  DestroyMenu(menu);
  if (command == kInsertFile) {
    ChooseFile(page, fc);
    return;
  }
  WCHAR text[16];
  if (InsertionText(fc, command, text, 16) > 0) Item(page, kPsCommandText, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
}

// Up-down arrows on the feed offset (tenths of a millimetre) and the interval (pages).
void Spin(HWND page, const NMUPDOWN* nm) {
  const bool feed = int(nm->hdr.idFrom) == kPsFeedOffsetSpin;
  const int edit = feed ? kPsFeedOffset : kPsInterval;
  WCHAR text[64];
  GetDlgItemTextW(page, edit, text, 64);
  if (feed) {
    int64_t tenths = ParseFeedOffset(text, 0) / 100 + nm->iDelta;
    tenths = std::clamp<int64_t>(tenths, -kFeedSpinTenths, kFeedSpinTenths);
    ShowMillimetres(page, edit, int32_t(tenths * 100));
  } else {
    const int64_t pages = std::clamp<int64_t>(int64_t(ParseInterval(text, 1)) + nm->iDelta, 1, kIntervalMax);
    WFormatTo(text, 64, TEXT("%d"), int(pages));
    SetDlgItemTextW(page, edit, text);
  }
}

// Focus leaving an edit: its text clamped to the range, shown again.
void Clamp(HWND page, int edit) {
  WCHAR text[64];
  GetDlgItemTextW(page, edit, text, 64);
  if (edit == kPsFeedOffset) {
    ShowMillimetres(page, edit, ParseFeedOffset(text, 0));
  } else {
    WFormatTo(text, 64, TEXT("%u"), ParseInterval(text, 1));
    SetDlgItemTextW(page, edit, text);
  }
}

double ParseNumber(const WCHAR* text, bool* ok) {
  const std::string narrow = WideToAnsi(text ? text : TEXT(""));
  const char* p = narrow.c_str();
  while (*p == ' ') ++p;
  char* end = nullptr;
  const double v = std::strtod(p, &end);
  while (end && *end == ' ') ++end;
  *ok = end && end != p && *end == 0 && std::isfinite(v);
  return v;
}

// The number fields the page edits, of the settings or of the page's values (both name them alike): one
// list for copying and comparing.
template <class Fields>
auto PageNumbers(Fields& f) {
  return std::tie(f.PrintLanguage, f.PrintMode, f.Speed, f.Darkness, f.PostAction, f.PostActionOccurrence,
                  f.IntervalPages, f.FeedOffset, f.PaperSaving);
}

template <class To, class From>
void CopyPageFields(To& to, const From& from) {
  PageNumbers(to) = PageNumbers(from);
  static_assert(sizeof to.UserCommands == sizeof from.UserCommands);
  std::memcpy(to.UserCommands, from.UserCommands, sizeof to.UserCommands);
}

}  // namespace

PrintSettingsValues PrintSettingsFromSettings(const PrinterContext* ctx) {
  const PrinterDevmode& dm = ctx->Settings;
  PrintSettingsValues v{};
  CopyPageFields(v, dm);
  for (auto& slot : v.UserCommands) WStrTerminate(slot, kUserCommandChars);
  return v;
}

bool SamePrintSettings(const PrintSettingsValues& a, const PrintSettingsValues& b) {
  for (int i = 0; i < kUserCommandSlots; ++i) {
    if (!WStrEq(a.UserCommands[i], b.UserCommands[i])) return false;
  }
  return PageNumbers(a) == PageNumbers(b);
}

uint32_t RotationFlagsAfter(uint32_t flags, uint32_t openedLanguage, uint32_t language) {
  if (language == openedLanguage) return flags;
  if (language == kLangEsc) return flags | kFlagRotate180;
  if (openedLanguage == kLangEsc) return flags & ~kFlagRotate180;
  return flags;
}

void StorePrintSettings(PrinterDevmode* to, const PrintSettingsValues& v, uint32_t openedLanguage) {
  PrinterDevmode& dm = *to;
  dm.Flags = RotationFlagsAfter(dm.Flags, openedLanguage, v.PrintLanguage);
  CopyPageFields(dm, v);
}

int PostActionItems(uint16_t accessories, PostActionItem items[4]) {
  int n = 0;
  items[n++] = {IDS_ACTION_NONE, kActionNone};
  items[n++] = {IDS_ACTION_TEAR, kActionTear};
  if (accessories & kAccessoryPeeler) items[n++] = {IDS_ACTION_PEEL, kActionPeel};
  if (accessories & kAccessoryCutter) items[n++] = {IDS_ACTION_CUT, kActionCut};
  return n;
}

int PostActionItemOf(uint32_t stored, const PostActionItem* items, int count) {
  uint32_t value = stored == kActionCutEvery ? kActionCut : stored;
  bool peeler = false;
  for (int i = 0; i < count; ++i) peeler = peeler || items[i].Value == kActionPeel;
  if (value == kActionPeel && !peeler) value = kActionCut;
  for (int i = 0; i < count; ++i) {
    if (items[i].Value == value) return i;
  }
  return -1;
}

uint32_t PostActionToStore(int item, uint32_t occurrence, const PostActionItem* items, int count) {
  if (item < 0 || item >= count) return kActionNone;
  const uint32_t value = items[item].Value;
  return value == kActionCut && occurrence == kOccurrenceInterval ? kActionCutEvery : value;
}

uint32_t OccurrenceShown(uint32_t postAction, uint32_t occurrence) {
  return postAction == kActionCutEvery ? kOccurrenceInterval : occurrence;
}

bool LanguageHasOccurrence(uint32_t language) { return language != kLangTwl; }

int32_t FeedOffsetShown(uint32_t language, int actionItem, int32_t stored) {
  if (language != kLangEsc || actionItem == 0) return stored;
  return actionItem == 1 ? 27000 : -30000;
}

int32_t ParseFeedOffset(const WCHAR* text, int32_t fallback) {
  bool ok = false;
  const double mm = ParseNumber(text, &ok);
  if (!ok) return fallback;
  const double clamped = std::clamp(mm, -kFeedOffsetLimit / 1000.0, kFeedOffsetLimit / 1000.0);
  return int32_t(std::llround(clamped * 1000.0));
}

uint32_t ParseInterval(const WCHAR* text, uint32_t fallback) {
  bool ok = false;
  const double pages = ParseNumber(text, &ok);
  if (!ok) return fallback;
  return uint32_t(std::clamp<int64_t>(int64_t(pages), 1, kIntervalMax));
}

int InsertionText(WCHAR functionChar, UINT command, WCHAR* out, int cap) {
  if (command < kInsertFirst || command > kInsertDel || !functionChar) return 0;
  const WString mnemonic = AnsiToWide(kMnemonics[command - kInsertFirst]);
  const WCHAR fc[2] = {functionChar, 0};
  return std::max(0, WFormatTo(out, size_t(cap), TEXT("%ws<%ws>"), fc, mnemonic.c_str()));
}

WCHAR FunctionCharAt(int index) {
  if (index < 0 || index >= int(sizeof kFunctionChars / sizeof kFunctionChars[0])) return 0;
  return kFunctionChars[index];
}

INT_PTR CALLBACK PrintSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  PrintSettingsPage* s = StateOf(page);
  switch (message) {
    case WM_INITDIALOG: return OpenSheetPage(page, lParam, Open);
    case WM_COMMAND: {
      if (!s || !s->initialised) return FALSE;
      const int id = LOWORD(wParam);
      const UINT code = HIWORD(wParam);
      if (code == CBN_SELCHANGE) {
        if (id == kPsPostAction) PostActionChosen(page, s);
        if (id == kPsOccurrence) EnableOccurrence(page, s);
        if (id == kPsLanguage) LanguageChosen(page, s);
        if (id == kPsFunctionChar) EnableWindow(GetDlgItem(page, kPsInsert), FunctionCharAt(Selected(page, id)) != 0);
      }
      if (id == kPsCommandSlots && code == LBN_SELCHANGE) ChooseSlot(page, s);
      if (id == kPsInsert && code == BN_CLICKED) Insert(page);
      if (code == EN_KILLFOCUS && (id == kPsFeedOffset || id == kPsInterval)) Clamp(page, id);
      Report(page, s);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
      if (!s || !nm) return FALSE;
      if (nm->code == UINT(UDN_DELTAPOS) && (nm->idFrom == UINT_PTR(kPsFeedOffsetSpin) || nm->idFrom == UINT_PTR(kPsIntervalSpin))) {
        Spin(page, reinterpret_cast<const NMUPDOWN*>(lParam));
        SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      if (nm->code != UINT(PSN_APPLY) && nm->code != 1) return FALSE;
      ReadBack(page, s);
      // Into the working copy too: Page Setup's apply writes all of it back, and must not bring old values.
      StorePrintSettings(&s->ctx->Settings, s->values, s->openedLanguage);
      if (PrinterDevmode* w = WorkingCopyOf(s->ctx)) StorePrintSettings(w, s->values, s->openedLanguage);
      s->openedLanguage = s->values.PrintLanguage;
      SendMessageW(GetParent(page), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
      return TRUE;
    }
    case WM_DESTROY:
      if (s) {
        SetWindowLongPtrW(page, DWLP_USER, 0);
        delete s;
      }
      return FALSE;
    default: return FALSE;
  }
}
