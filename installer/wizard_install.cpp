// The install page: port type, port list (local ports of the chosen type, USB and network printers),
// model, printer name, the address of a network printer, and the checks before the run.
#include "installer/wizard.h"

#include <dbt.h>
#include <winbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

void ShowAddress(HWND page, const WCHAR* ip, DWORD tcpPort) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  const std::string text = WideToAnsi(ip);
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4)
    SendMessageW(GetDlgItem(page, IDC_IP_ADDRESS), IPM_SETADDRESS, 0, LPARAM(MAKEIPADDRESS(a, b, c, d)));
  SetDlgItemInt(page, IDC_TCP_PORT, tcpPort, FALSE);
}

void SelectModelText(HWND page, const WCHAR* text) {
  HWND combo = GetDlgItem(page, IDC_MODEL_LIST);
  const LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text));
  if (i == CB_ERR) return;
  SendMessageW(combo, CB_SETCURSEL, WPARAM(i), 0);
  SetDlgItemTextW(page, IDC_PRINTER_NAME, text);
}

// A row chosen: its port into the record, the address fields of a TCP/IP port, the model it names.
void LoadRow(HWND page, Wizard* w, int row) {
  InstallRecord* r = Record(w);
  if (!r || row < 0) return;
  const WString port = RowText(page, row, 0), description = RowText(page, row, 1);
  WStrCopy(r->portName, 251, port.c_str());
  r->portType = WORD(std::atoi(WideToAnsi(RowText(page, row, 2).c_str()).c_str()));
  EnableWindow(GetDlgItem(page, IDC_PORT_SETTINGS), r->portType == kPortTypeCom);
  if (r->portType == kPortTypeNet) {
    WCHAR ip[20];
    DWORD tcpPort = 0;
    if (GetTcpIpPortConfig(r->portName, ip, &tcpPort)) {
      ShowAddress(page, ip, tcpPort);
    } else {
      // No standard TCP/IP port of that name (a printer found on the network): its name is its address.
      IpAddressFromPortName(r->portName, r->ipAddress);
      r->tcpPort = 9100;
      if (r->ipAddress[0]) ShowAddress(page, r->ipAddress, 9100);
    }
  }
  if (const ModelTableRow* m = FindModelForDescription(description.c_str())) {
    WCHAR text[kModelTextChars];
    WFormatTo(text, kModelTextChars, TEXT("%ws %ws"), AnsiToWide(m->vendor).c_str(), AnsiToWide(m->model).c_str());
    SelectModelText(page, text);
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

void RefreshPorts(HWND page, Wizard* w) {
  HWND list = PortList(page);
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
    if (e.PortType == type) InsertRow(list, e, printersKnown);
  for (const PortEntry& e : usb) InsertRow(list, e, true);
  for (const PortEntry& e : net) InsertRow(list, e, true);
  if (printersKnown) SetButtons(page, kButtonsBackNext);
  if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) LoadRow(page, w, 0);
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

void PortSettings(HWND page, Wizard* w) {
  InstallRecord* r = Record(w);
  if (!r) return;
  // "COM1:" names the device "COM1"; a name without ":" is passed whole.
  WString device = r->portName;
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
  SetDlgItemTextW(page, IDC_TCP_PORT, TEXT("9100"));
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
  SetDlgItemTextW(page, IDC_PRINTER_NAME, first);
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

// Next: the choices into the state and the record; -1 stays on the page, else the page to go to.
LONG_PTR OnNext(HWND page, Wizard* w) {
  InstallRecord* r = Record(w);
  if (!r) return -1;
  GetDlgItemTextW(page, IDC_MODEL_LIST, r->model, 251);
  GetDlgItemTextW(page, IDC_PRINTER_NAME, r->printerName, 251);
  w->state.setAsDefault = IsDlgButtonChecked(page, IDC_SET_DEFAULT) == BST_CHECKED ? 1 : 0;
  const int row = SelectedRow(page);
  if (NetChecked(page)) {
    DWORD address = 0;
    HWND ip = GetDlgItem(page, IDC_IP_ADDRESS);
    if (SendMessageW(ip, IPM_ISBLANK, 0, 0) ||
        SendMessageW(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)) == 0 || address == 0) {
      Ask(page, IDS_INPUT_IP, IDS_PROMPT, MB_OK);
      return -1;
    }
    WFormatTo(r->ipAddress, 20, TEXT("%d.%d.%d.%d"), int(FIRST_IPADDRESS(address)), int(SECOND_IPADDRESS(address)),
              int(THIRD_IPADDRESS(address)), int(FOURTH_IPADDRESS(address)));
    r->tcpPort = GetDlgItemInt(page, IDC_TCP_PORT, nullptr, FALSE);
    r->portType = kPortTypeTcpIp;
  } else if (row < 0) {
    Ask(page, IDS_CHOOSE_PORT, IDS_PROMPT, MB_OK);
    return -1;
  }
  if (row < 0) {
    WFormatTo(r->portName, 260, TEXT("%ws_%d"), r->ipAddress, int(r->tcpPort));
    return IDD_RESULT;
  }
  const WString port = RowText(page, row, 0), description = RowText(page, row, 1);
  WStrCopy(r->portName, 260, port.c_str());
  const WCHAR* model = description.c_str();
  WCHAR identified[260];
  if (WStrEq(description.c_str(), TEXT("TarnwellTW-KA"))) {
    IdentifyAttachedModel(r->portName, description.c_str(), identified, 260);
    WStrCopy(r->model, 260, identified);
    model = identified;
  }
  if (!FindModelForDescription(model) && Ask(page, IDS_UNSUPPORTED_PRINTER, IDS_PROMPT, MB_OKCANCEL) != IDOK) return -1;
  return IDD_RESULT;
}

}  // namespace

INT_PTR CALLBACK InstallPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
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
        RefreshPorts(page, w);
      } else if (id == IDC_MODEL_LIST && HIWORD(wp) == CBN_SELCHANGE) {
        WCHAR text[51] = {};
        GetDlgItemTextW(page, IDC_MODEL_LIST, text, 51);
        SetDlgItemTextW(page, IDC_PRINTER_NAME, text);
      } else if (id == IDC_PORT_SETTINGS && HIWORD(wp) == BN_CLICKED) {
        PortSettings(page, w);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (!w) break;
      if (hdr->idFrom == IDC_PORT_LIST && hdr->code == LVN_ITEMCHANGED) {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED) && (nm->uNewState & LVIS_FOCUSED)) {
          LoadRow(page, w, nm->iItem);
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
