// The install page: port type, port list (local ports of the chosen type, USB and network printers),
// model, printer name, the address of a network printer, and the checks before the run.
#include "installer/wizard.h"

#include <dbt.h>
#include <winbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer/guard.h"
#include "installer/model.h"
#include "installer/strings.h"

namespace {

constexpr size_t kModelTextChars = 100;  // "vendor model" texts, as FindModel builds them

struct PortRadio {
  int id;
  WORD type;
};
constexpr PortRadio kPortRadios[] = {{IDC_PORT_USB, kPortTypeUsb},
                                     {IDC_PORT_NET, kPortTypeNet},
                                     {IDC_PORT_COM, kPortTypeCom},
                                     {IDC_PORT_LPT, kPortTypeLpt},
                                     {IDC_PORT_OTHERS, kPortTypeOther}};

bool IsPortRadio(int id) {
  for (const PortRadio& r : kPortRadios)
    if (r.id == id) return true;
  return false;
}

WORD CheckedPortType(HWND page) {
  for (const PortRadio& r : kPortRadios)
    if (IsDlgButtonChecked(page, r.id) == BST_CHECKED) return r.type;
  return 0;
}

bool NetChecked(HWND page) { return IsDlgButtonChecked(page, IDC_PORT_NET) == BST_CHECKED; }

HWND PortList(HWND page) { return GetDlgItem(page, IDC_PORT_LIST); }

int SelectedRow(HWND page) {
  return int(SendMessageW(PortList(page), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

WString RowText(HWND page, int row, int column) {
  WCHAR buf[kPortTextChars] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buf;
  item.cchTextMax = kPortTextChars;
  SendMessageW(PortList(page), LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
  return buf;
}

InstallRecord* Record(Wizard* w) {
  return w && w->installRecordMade && w->state.records && w->state.recordCount == 1 ? &w->state.records[0] : nullptr;
}

void UpdateButtons(HWND page, Wizard* w) {
  w->installButtons = SelectedRow(page) >= 0 || NetChecked(page) ? kButtonsBackNext : kButtonsBack;
  SetButtons(page, w->installButtons);
}

// The address fields show a row's address; what the user typed there is replaced.
void ShowAddress(HWND page, Wizard* w, const WCHAR* ip, DWORD tcpPort) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  const std::string text = WideToAnsi(ip);
  w->settingAddress = true;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4)
    SendMessageW(GetDlgItem(page, IDC_IP_ADDRESS), IPM_SETADDRESS, 0, LPARAM(MAKEIPADDRESS(a, b, c, d)));
  SetDlgItemInt(page, IDC_TCP_PORT, tcpPort, FALSE);
  w->settingAddress = false;
  w->addressTyped = false;
}

// "NET/Wi-Fi" with an address the user typed: that address is the user's choice.
bool TypedAddressChosen(HWND page, Wizard* w) {
  return NetChecked(page) && w->addressTyped && !SendMessageW(GetDlgItem(page, IDC_IP_ADDRESS), IPM_ISBLANK, 0, 0);
}

// The page sets the printer name itself (the user did not type it).
void SetPrinterName(HWND page, Wizard* w, const WCHAR* text) {
  w->settingName = true;
  SetDlgItemTextW(page, IDC_PRINTER_NAME, text);
  w->settingName = false;
}

void SelectModelText(HWND page, Wizard* w, const WCHAR* text) {
  HWND combo = GetDlgItem(page, IDC_MODEL_LIST);
  const LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text));
  if (i == CB_ERR) return;
  SendMessageW(combo, CB_SETCURSEL, WPARAM(i), 0);
  SetPrinterName(page, w, text);
}

WORD RowType(HWND page, int row) { return WORD(std::atoi(WideToAnsi(RowText(page, row, 2).c_str()).c_str())); }

// The address of a TCP/IP row: its port's configuration, else (a printer found on the network, whose port
// name is its address) the name and 9100. False when neither gives one.
bool RowAddress(const WCHAR* port, WCHAR (&ip)[20], DWORD* tcpPort) {
  if (GetTcpIpPortConfig(port, ip, tcpPort)) return true;
  IpAddressFromPortName(port, ip);
  *tcpPort = 9100;
  return ip[0] != 0;
}

// A row chosen: the Port Settings button, the address fields of a TCP/IP port and, with `fillModel`, the
// model it names with the printer name. The install record is filled at Next only.
void LoadRow(HWND page, Wizard* w, int row, bool fillModel) {
  if (row < 0) return;
  const WString port = RowText(page, row, 0), description = RowText(page, row, 1);
  const WORD type = RowType(page, row);
  EnableWindow(GetDlgItem(page, IDC_PORT_SETTINGS), type == kPortTypeCom);
  if (type == kPortTypeNet) {
    WCHAR ip[20];
    DWORD tcpPort = 0;
    if (RowAddress(port.c_str(), ip, &tcpPort)) ShowAddress(page, w, ip, tcpPort);
  }
  if (!fillModel) return;
  if (const ModelTableRow* m = FindModelForDescription(description.c_str())) {
    WCHAR text[kModelTextChars];
    WFormatTo(text, kModelTextChars, TEXT("%ws %ws"), AnsiToWide(m->vendor).c_str(), AnsiToWide(m->model).c_str());
    SelectModelText(page, w, text);
  }
}

void InsertRow(HWND list, const PortEntry& e, bool select) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = 0;
  item.pszText = const_cast<LPWSTR>(e.PortName);
  const int row = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  LVITEMW sub{};
  sub.iSubItem = 1;
  sub.pszText = const_cast<LPWSTR>(e.Description);
  SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&sub));
  WCHAR type[8];
  WFormatTo(type, 8, TEXT("%d"), int(e.PortType));
  sub.iSubItem = 2;
  sub.pszText = type;
  SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&sub));
  if (select) {
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
  }
}

int FindRow(HWND page, const WString& port) {
  const int rows = int(SendMessageW(PortList(page), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row)
    if (RowText(page, row, 0) == port) return row;
  return -1;
}

void SelectRow(HWND page, int row) {
  LVITEMW state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(PortList(page), LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
}

// Rebuilds the list. The port the user had selected stays selected, and the model, printer name and
// typed address the user chose stay: discovery rebuilds the list while the user works on the page.
// `typeChanged`: the user chose another port type, whose first row may be offered in place of one that
// type does not list.
void RefreshPorts(HWND page, Wizard* w, bool typeChanged = false) {
  HWND list = PortList(page);
  const int before = SelectedRow(page);
  const WString kept = before >= 0 ? RowText(page, before, 0) : WString();
  const bool keepAddress = TypedAddressChosen(page, w);
  w->refreshing = true;
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  const std::vector<PortEntry> usb = CopyPortList(&w->lists, &PortLists::Usb);
  const std::vector<PortEntry> net = CopyPortList(&w->lists, &PortLists::Network);
  const std::vector<PortEntry> local = CopyPortList(&w->lists, &PortLists::Local);
  const bool printersKnown = !usb.empty() || !net.empty();
  WORD type = CheckedPortType(page);
  if (type == 0 && !printersKnown) {
    CheckRadioButton(page, IDC_PORT_USB, IDC_PORT_LPT, IDC_PORT_USB);
    type = kPortTypeUsb;
  }
  for (const PortEntry& e : local)
    if (e.PortType == type) InsertRow(list, e, printersKnown && !keepAddress);
  for (const PortEntry& e : usb) InsertRow(list, e, !keepAddress);
  for (const PortEntry& e : net) InsertRow(list, e, !keepAddress);
  const int again = kept.empty() ? -1 : FindRow(page, kept);
  if (again >= 0) {
    SelectRow(page, again);
  } else if (!kept.empty() && !typeChanged) {
    // The chosen row is gone (a printer that stopped answering, unplugged): no other row becomes the
    // choice behind the user's back; the user chooses again.
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
    EnableWindow(GetDlgItem(page, IDC_PORT_SETTINGS), FALSE);
  } else if (!keepAddress && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) {
    LoadRow(page, w, 0, !w->modelChosen);
  }
  w->refreshing = false;
  ShowWindow(GetDlgItem(page, IDC_CONNECT_HINT), printersKnown ? SW_HIDE : SW_SHOW);
  UpdateButtons(page, w);
}

void ShowAddressFields(HWND page, bool show) {
  for (int id : {IDC_IP_LABEL, IDC_IP_ADDRESS, IDC_TCP_LABEL, IDC_TCP_PORT})
    ShowWindow(GetDlgItem(page, id), show ? SW_SHOW : SW_HIDE);
}

LRESULT SendToPage(void* context, UINT msg, WPARAM wp, LPARAM lp) {
  return SendMessageW(static_cast<HWND>(context), msg, wp, lp);
}

void PortSettings(HWND page) {
  const int row = SelectedRow(page);
  if (row < 0) return;
  // "COM1:" names the device "COM1"; a name without ":" is passed whole.
  WString device = RowText(page, row, 0);
  const size_t colon = device.rfind(WCHAR(':'));
  if (colon != WString::npos) device.erase(colon);
  COMMCONFIG cc{};
  DWORD size = sizeof cc;
  cc.dwSize = sizeof cc;
  if (!GetDefaultCommConfigW(device.c_str(), &cc, &size)) {
    Ask(page, IDS_PORT_UNAVAILABLE, IDS_PORT_SETTING, MB_OK);
    return;
  }
  if (CommConfigDialogW(device.c_str(), page, &cc)) SetDefaultCommConfigW(device.c_str(), &cc, size);
}

void InitPage(HWND page, Wizard* w) {
  StartRediscovery(&w->discovery);
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  w->deviceNotify =
      RegisterDeviceNotificationW(page, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
  w->settingAddress = true;
  SetDlgItemTextW(page, IDC_TCP_PORT, TEXT("9100"));
  w->settingAddress = false;
  HWND list = PortList(page);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  AddColumn(list, 0, IDS_COLUMN_PORT, 120);
  AddColumn(list, 1, IDS_COLUMN_DESCRIPTION, 150);
  AddColumn(list, 2, 0, 0);  // the PortType code
  HWND combo = GetDlgItem(page, IDC_MODEL_LIST);
  for (const ModelTableRow* m = kModelTable; m->model[0]; ++m) {
    WCHAR text[kModelTextChars];
    WFormatTo(text, kModelTextChars, TEXT("%ws %ws"), AnsiToWide(m->vendor).c_str(), AnsiToWide(m->model).c_str());
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  WCHAR first[51] = {};
  GetDlgItemTextW(page, IDC_MODEL_LIST, first, 51);
  SetPrinterName(page, w, first);
  CheckDlgButton(page, IDC_SET_DEFAULT, BST_CHECKED);
  EnumLocalPorts(&w->lists);
}

void OnShown(HWND page, Wizard* w) {
  if (w->state.mode == kModeInstall && !w->installRecordMade) {
    SetRecords(&w->state, 1);
    w->installRecordMade = w->state.recordCount == 1;
  }
  const int usb = ScanUsbPrinters(&w->lists);
  if (usb != w->usbCount) {
    w->usbCount = usb;
    RefreshPorts(page, w);
  }
  const DiscoveryTarget target{SendToPage, page};
  SendDiscoveryRequest(&w->discovery, &target);
  UpdateButtons(page, w);
}

// The typed address and TCP port of "NET/Wi-Fi"; false, after telling the user, when either is missing or
// out of range.
bool TypedAddress(HWND page, WCHAR (&ip)[20], DWORD* tcpPort) {
  DWORD address = 0;
  HWND control = GetDlgItem(page, IDC_IP_ADDRESS);
  if (SendMessageW(control, IPM_ISBLANK, 0, 0) ||
      SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)) == 0 || address == 0) {
    Ask(page, IDS_INPUT_IP, IDS_PROMPT, MB_OK);
    return false;
  }
  WFormatTo(ip, 20, TEXT("%d.%d.%d.%d"), int(FIRST_IPADDRESS(address)), int(SECOND_IPADDRESS(address)),
            int(THIRD_IPADDRESS(address)), int(FOURTH_IPADDRESS(address)));
  BOOL number = FALSE;
  *tcpPort = GetDlgItemInt(page, IDC_TCP_PORT, &number, FALSE);
  if (!number || *tcpPort == 0 || *tcpPort > 65535) {
    Ask(page, IDS_INVALID_TCP_PORT, IDS_PROMPT, MB_OK);
    return false;
  }
  return true;
}

// Next: the page's choices, checked, into the record (filled here and nowhere else, so that nothing the
// page does later changes a run); -1 stays on the page, else the page to go to.
LONG_PTR OnNext(HWND page, Wizard* w) {
  InstallRecord* r = Record(w);
  if (!r) return -1;
  InstallRecord next{};
  GetDlgItemTextW(page, IDC_MODEL_LIST, next.model, 251);
  GetDlgItemTextW(page, IDC_PRINTER_NAME, next.printerName, 251);
  if (!IsValidPrinterName(next.printerName)) {
    Ask(page, IDS_INVALID_PRINTER_NAME, IDS_PROMPT, MB_OK);
    return -1;
  }
  const int row = SelectedRow(page);
  const WString rowPort = row >= 0 ? RowText(page, row, 0) : WString();
  const WORD rowType = row >= 0 ? RowType(page, row) : 0;
  bool fromRow = row >= 0;
  if (NetChecked(page)) {
    if (!TypedAddress(page, next.ipAddress, &next.tcpPort)) return -1;
    next.portType = kPortTypeTcpIp;
    // The address goes to a port named for it, unless the selected row is that port: a standard TCP/IP
    // port (updated with the address typed) or the printer found at that address.
    const bool tcpPortRow = fromRow && rowType == kPortTypeNet && PortTypeFromMonitor(rowPort.c_str()) == kPortTypeTcpIp;
    const bool sameAddress = fromRow && rowType == kPortTypeNet && WStrEq(rowPort.c_str(), next.ipAddress);
    fromRow = tcpPortRow || sameAddress;
    if (fromRow) WStrCopy(next.portName, 260, rowPort.c_str());
    else WFormatTo(next.portName, 260, TEXT("%ws_%d"), next.ipAddress, int(next.tcpPort));
  } else if (!fromRow) {
    Ask(page, IDS_CHOOSE_PORT, IDS_PROMPT, MB_OK);
    return -1;
  } else {
    WStrCopy(next.portName, 260, rowPort.c_str());
    next.portType = rowType;
    // A standard TCP/IP port whose address cannot be read as dotted IPv4 (a host name) is used as it is.
    if (rowType == kPortTypeNet && !RowAddress(next.portName, next.ipAddress, &next.tcpPort))
      next.portType = kPortTypeOther;
  }
  if (fromRow) {
    const WString description = RowText(page, row, 1);
    const WCHAR* model = description.c_str();
    WCHAR identified[260];
    if (WStrEq(model, TEXT("TarnwellTW-KA"))) {
      IdentifyAttachedModel(next.portName, model, identified, 260);
      WStrCopy(next.model, 260, identified);
      model = identified;
    }
    if (!FindModelForDescription(model) && Ask(page, IDS_UNSUPPORTED_PRINTER, IDS_PROMPT, MB_OKCANCEL) != IDOK)
      return -1;
  }
  w->state.setAsDefault = IsDlgButtonChecked(page, IDC_SET_DEFAULT) == BST_CHECKED ? 1 : 0;
  *r = next;
  return IDD_RESULT;
}

}  // namespace

static INT_PTR InstallPage(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  Wizard* w = WizardOf(page);
  switch (msg) {
    case WM_INITDIALOG:
      if ((w = AttachWizard(page, lp)) != nullptr) InitPage(page, w);
      return TRUE;
    case WM_DESTROY:
      if (!w) break;
      {
        // No more sends to this window; the threads themselves end at program end.
        PortListsLock lock(&w->lists);
        for (DiscoverySocket* s = w->discovery.Sockets; s; s = s->Next) s->Target = DiscoveryTarget{};
        FreePortList(&w->lists.Usb);
        FreePortList(&w->lists.Network);
        FreePortList(&w->lists.Local);
      }
      if (w->deviceNotify) UnregisterDeviceNotification(w->deviceNotify);
      w->deviceNotify = nullptr;
      break;
    case MSG_REFRESH_PORTS:
      if (w) RefreshPorts(page, w);
      return TRUE;
    case MSG_NETWORK_REPLY:
      if (w && HandleDiscoveryAnswer(&w->lists, reinterpret_cast<const uint8_t*>(lp), size_t(wp))) RefreshPorts(page, w);
      return TRUE;
    case WM_DEVICECHANGE: {
      auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lp);
      if (!w || (wp != DBT_DEVICEARRIVAL && wp != DBT_DEVICEREMOVECOMPLETE) || !hdr ||
          hdr->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        break;
      const auto* di = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lp);
      if (UsbDeviceChanged(&w->lists, di->dbcc_classguid, &w->usbCount)) RefreshPorts(page, w);
      return TRUE;
    }
    case WM_COMMAND: {
      if (!w) break;
      const int id = LOWORD(wp);
      if (IsPortRadio(id) && HIWORD(wp) == BN_CLICKED) {
        ShowAddressFields(page, NetChecked(page));
        RefreshPorts(page, w, true);
      } else if (id == IDC_MODEL_LIST && HIWORD(wp) == CBN_SELCHANGE) {
        w->modelChosen = true;
        WCHAR text[51] = {};
        GetDlgItemTextW(page, IDC_MODEL_LIST, text, 51);
        SetPrinterName(page, w, text);
      } else if (id == IDC_PRINTER_NAME && HIWORD(wp) == EN_CHANGE && !w->settingName) {
        w->modelChosen = true;  // typed by the user
      } else if ((id == IDC_IP_ADDRESS || id == IDC_TCP_PORT) && HIWORD(wp) == EN_CHANGE && !w->settingAddress) {
        w->addressTyped = true;
      } else if (id == IDC_PORT_SETTINGS && HIWORD(wp) == BN_CLICKED) {
        PortSettings(page);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (!w) break;
      if (hdr->idFrom == IDC_PORT_LIST && hdr->code == LVN_ITEMCHANGED) {
        if (w->refreshing) return TRUE;  // the rebuild settles the selection and buttons itself
        auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED) && (nm->uNewState & LVIS_FOCUSED)) {
          LoadRow(page, w, nm->iItem, true);
          w->installButtons = kButtonsBackNext;
          SetButtons(page, w->installButtons);
        } else if (!NetChecked(page)) {
          w->installButtons = kButtonsBack;
          SetButtons(page, w->installButtons);
        }
        return TRUE;
      }
      return PageNotify(page, lp, {.shown = [page, w] { OnShown(page, w); },
                                   .next = [page, w] { return OnNext(page, w); },
                                   .back = [w] { return LONG_PTR(w->state.noPackagePrinter ? IDD_AGREEMENT : 0); }});
    }
    default: break;
  }
  return FALSE;
}

INT_PTR CALLBACK InstallPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("InstallPageProc", INT_PTR(FALSE), [&] { return InstallPage(page, msg, wp, lp); });
}
