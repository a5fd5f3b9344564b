// The upgrade page (the package's printers with their driver versions) and the uninstall page (every
// local printer).
#include "installer/wizard.h"

#include <string>

#include "installer/enumerate.h"
#include "installer/guard.h"
#include "installer/model.h"
#include "installer/strings.h"

namespace {

// A column's text of a row, for LVM_SETITEMTEXTW (`cap` 0) and LVM_GETITEMTEXTW.
LVITEMW ColumnText(int column, WCHAR* text, int cap = 0) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = cap;
  return item;
}

void SetColumnText(HWND list, int row, int column, const WCHAR* text) {
  LVITEMW item = ColumnText(column, const_cast<LPWSTR>(text));
  SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

int InsertRow(HWND list, int at, const std::vector<const WCHAR*>& texts) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = at;
  item.pszText = const_cast<LPWSTR>(texts[0]);
  const int row = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (size_t i = 1; row >= 0 && i < texts.size(); ++i)
    SetColumnText(list, row, int(i), texts[i] ? texts[i] : TEXT(""));
  return row;
}

void SetCheck(HWND list, int row, bool on) {
  LVITEMW state{};
  state.stateMask = LVIS_STATEIMAGEMASK;
  state.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
  SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
}

bool GetCheck(HWND list, int row) {
  return ((UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(row), LVIS_STATEIMAGEMASK)) >> 12) - 1) == 1;
}

WString RowText(HWND list, int row, int column) {
  WCHAR buf[260] = {};
  LVITEMW item = ColumnText(column, buf, 260);
  SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
  return buf;
}

// ---- upgrade ----

void FillUpgradeList(HWND page, Wizard* w) {
  HWND list = GetDlgItem(page, IDC_UPGRADE_LIST);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  w->upgradeRows.clear();
  const uint64_t package = ParseVersion(kPackageVersion);
  DWORD count = 0;
  std::vector<BYTE> buf = LocalPrinterRecords(&count);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W& p = printers[i];
    if (!FindModel(p.pDriverName)) continue;
    UpgradeRow row{};
    WStrCopy(row.printerName, 260, p.pPrinterName);
    WStrCopy(row.model, 260, p.pDriverName);
    const uint64_t version = GetDriverVersion(p.pPrinterName);
    FormatVersion(version, row.version);
    row.ticked = version < package;
    const int at = int(w->upgradeRows.size());
    if (InsertRow(list, at, {row.printerName, row.model, row.version, p.pPortName}) < 0) continue;
    SetCheck(list, at, row.ticked);
    w->upgradeRows.push_back(row);
  }
}

void RunUpgrade(HWND page, Wizard* w) {
  HWND list = GetDlgItem(page, IDC_UPGRADE_LIST);
  for (size_t i = 0; i < w->upgradeRows.size(); ++i) w->upgradeRows[i].ticked = GetCheck(list, int(i));
  w->runFailed = false;
  const bool done = UpgradeDrivers(w->engine, w->upgradeRows, [page, w](UINT id) {
    SetDlgItemTextW(page, IDC_UPGRADE_STATUS, InstallerString(id));
    if (id == IDS_UPGRADE_FAILED) w->runFailed = true;  // also after rows that were upgraded
  });
  for (size_t i = 0; i < w->upgradeRows.size(); ++i) {
    SetColumnText(list, int(i), 2, w->upgradeRows[i].version);
    SetCheck(list, int(i), w->upgradeRows[i].ticked);
  }
  if (done) {
    w->upgradeDone = true;
    SetButtons(page, kButtonsBackFinish);
  }
}

// ---- uninstall ----

void FillUninstallList(HWND page) {
  HWND list = GetDlgItem(page, IDC_PORT_LIST);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  DWORD count = 0;
  std::vector<BYTE> buf = LocalPrinterRecords(&count);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    InsertRow(list, 0, {printers[i].pPrinterName, printers[i].pDriverName, printers[i].pPortName});
}

LONG_PTR UninstallNext(HWND page, Wizard* w) {
  w->state.deletePort = IsDlgButtonChecked(page, IDC_DELETE_PORT) == BST_CHECKED;
  w->state.removeDriver = IsDlgButtonChecked(page, IDC_REMOVE_DRIVER) == BST_CHECKED;
  w->state.removePackage = IsDlgButtonChecked(page, IDC_REMOVE_PACKAGE) == BST_CHECKED;
  HWND list = GetDlgItem(page, IDC_PORT_LIST);
  std::vector<int> rows;
  for (int i = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); i >= 0;
       i = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED)))
    rows.push_back(i);
  if (rows.empty()) return -1;
  SetRecords(&w->state, DWORD(rows.size()));
  w->installRecordMade = false;
  if (w->state.recordCount != rows.size()) return -1;
  for (size_t k = 0; k < rows.size(); ++k) {
    InstallRecord& r = w->state.records[k];
    WStrCopy(r.printerName, 260, RowText(list, rows[k], 0).c_str());
    WStrCopy(r.model, 260, RowText(list, rows[k], 1).c_str());
    WStrCopy(r.portName, 260, RowText(list, rows[k], 2).c_str());
  }
  return IDD_RESULT;
}

}  // namespace

static INT_PTR UpgradePage(HWND page, UINT msg, WPARAM, LPARAM lp) {
  Wizard* w = WizardOf(page);
  switch (msg) {
    case WM_INITDIALOG: {
      AttachWizard(page, lp);
      HWND list = GetDlgItem(page, IDC_UPGRADE_LIST);
      const DWORD ex = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
      SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
      AddColumn(list, 0, IDS_COLUMN_PRINTER, 150);
      AddColumn(list, 1, IDS_COLUMN_MODEL, 150);
      AddColumn(list, 2, IDS_COLUMN_VERSION, 90);
      AddColumn(list, 3, IDS_COLUMN_PORT, 120);
      return TRUE;
    }
    case WM_NOTIFY: {
      if (!w) break;
      auto shown = [page, w] {
        FillUpgradeList(page, w);
        SetButtons(page, w->upgradeDone ? kButtonsBackFinish : kButtonsBackNext);
      };
      auto next = [page, w] {
        RunUpgrade(page, w);
        return LONG_PTR(-1);
      };
      return PageNotify(page, lp, {.shown = shown, .next = next, .back = [] { return LONG_PTR(IDD_MODE); }});
    }
    default: break;
  }
  return FALSE;
}

static INT_PTR UninstallPage(HWND page, UINT msg, WPARAM, LPARAM lp) {
  Wizard* w = WizardOf(page);
  switch (msg) {
    case WM_INITDIALOG: {
      AttachWizard(page, lp);
      CheckDlgButton(page, IDC_DELETE_PRINTER, BST_CHECKED);
      CheckDlgButton(page, IDC_DELETE_PORT, BST_CHECKED);
      CheckDlgButton(page, IDC_REMOVE_DRIVER, BST_CHECKED);
      CheckDlgButton(page, IDC_REMOVE_PACKAGE, BST_UNCHECKED);
      HWND list = GetDlgItem(page, IDC_PORT_LIST);
      SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      AddColumn(list, 0, IDS_COLUMN_PRINTER, 150);
      AddColumn(list, 1, IDS_COLUMN_MODEL, 150);
      AddColumn(list, 2, IDS_COLUMN_PORT, 200);
      AddColumn(list, 3, 0, 0);
      return TRUE;
    }
    case WM_NOTIFY: {
      if (!w) break;
      auto shown = [page] {
        FillUninstallList(page);
        SetButtons(page, kButtonsBackNext);
      };
      return PageNotify(page, lp, {.shown = shown, .next = [page, w] { return UninstallNext(page, w); },
                                   .back = [] { return LONG_PTR(IDD_MODE); }});
    }
    default: break;
  }
  return FALSE;
}

INT_PTR CALLBACK UpgradePageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("UpgradePageProc", INT_PTR(FALSE), [&] { return UpgradePage(page, msg, wp, lp); });
}

INT_PTR CALLBACK UninstallPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("UninstallPageProc", INT_PTR(FALSE), [&] { return UninstallPage(page, msg, wp, lp); });
}
