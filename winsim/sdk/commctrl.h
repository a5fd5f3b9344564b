// winsim: the common controls of comctl32 (commctrl.h): trackbar, up-down, progress bar, list view (report
// view), IP address control, and the property sheets of prsht.h.
//
// Behaviour notes:
// - The classes exist once InitCommonControlsEx (or any comctl32 call) has run; winsim registers them
//   with user32's own classes, so creating them early works too.
// - An up-down control with UDS_SETBUDDYINT writes its position into the buddy's text; a spin sends
//   UDN_DELTAPOS (a non-zero answer cancels it), then WM_VSCROLL (WM_HSCROLL with UDS_HORZ) with
//   SB_THUMBPOSITION to the parent.
// - A list view keeps items, sub-item texts, lParam and state bits (selection, focus, state image);
//   every state change sends LVN_ITEMCHANGING (non-zero answer refuses it) and LVN_ITEMCHANGED.
#pragma once

#include <windows.h>
#include <prsht.h>

extern "C" {

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_BAR_CLASSES 0x00000004
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_INTERNET_CLASSES 0x00000800
#define ICC_STANDARD_CLASSES 0x00004000
#define ICC_WIN95_CLASSES 0x000000FF
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
void WINAPI InitCommonControls(void);

#define NM_FIRST (0U - 0U)
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define NM_RETURN (NM_FIRST - 4)
#define NM_RCLICK (NM_FIRST - 5)
#define NM_SETFOCUS (NM_FIRST - 7)
#define NM_KILLFOCUS (NM_FIRST - 8)

#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
#define SB_THUMBPOSITION 4
#define SB_THUMBTRACK 5
#define SB_TOP 6
#define SB_BOTTOM 7
#define SB_ENDSCROLL 8

// ---- trackbar -----------------------------------------------------------------------------------
#define TRACKBAR_CLASSW u"msctls_trackbar32"
#define TBS_AUTOTICKS 0x0001
#define TBS_VERT 0x0002
#define TBS_HORZ 0x0000
#define TBS_NOTICKS 0x0010
#define TBM_GETPOS (WM_USER)
#define TBM_GETRANGEMIN (WM_USER + 1)
#define TBM_GETRANGEMAX (WM_USER + 2)
#define TBM_SETTIC (WM_USER + 4)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGE (WM_USER + 6)
#define TBM_SETRANGEMIN (WM_USER + 7)
#define TBM_SETRANGEMAX (WM_USER + 8)
#define TBM_SETTICFREQ (WM_USER + 20)
#define TBM_GETNUMTICS (WM_USER + 16)
#define TBM_SETPAGESIZE (WM_USER + 21)
#define TBM_GETPAGESIZE (WM_USER + 22)
#define TBM_SETLINESIZE (WM_USER + 23)
#define TBM_GETLINESIZE (WM_USER + 24)
#define TB_LINEUP 0
#define TB_LINEDOWN 1
#define TB_PAGEUP 2
#define TB_PAGEDOWN 3
#define TB_THUMBPOSITION 4
#define TB_THUMBTRACK 5
#define TB_TOP 6
#define TB_BOTTOM 7
#define TB_ENDTRACK 8

// ---- up-down ----------------------------------------------------------------------------------------
#define UPDOWN_CLASSW u"msctls_updown32"
#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080
#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETBASE (WM_USER + 109)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)
#define UDN_FIRST (0U - 721U)
#define UDN_DELTAPOS (UDN_FIRST - 1)
typedef struct _NM_UPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
} NMUPDOWN, *LPNMUPDOWN;

// ---- progress bar --------------------------------------------------------------------------------
#define PROGRESS_CLASSW u"msctls_progress32"
#define PBS_SMOOTH 0x01
#define PBS_MARQUEE 0x08
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETMARQUEE (WM_USER + 10)
typedef struct {
  int iLow;
  int iHigh;
} PBRANGE, *PPBRANGE;

// ---- list view ----------------------------------------------------------------------------------
#define WC_LISTVIEWW u"SysListView32"
#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000
#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVIF_TEXT 0x00000001
#define LVIF_IMAGE 0x00000002
#define LVIF_PARAM 0x00000004
#define LVIF_STATE 0x00000008
#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_STATEIMAGEMASK 0xF000
#define INDEXTOSTATEIMAGEMASK(i) ((i) << 12)
#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)
#define LVFI_PARAM 0x0001
#define LVFI_STRING 0x0002
typedef struct tagLVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
  int iGroupId;
  UINT cColumns;
  UINT* puColumns;
  int* piColFmt;
  int iGroup;
} LVITEMW, *LPLVITEMW;
typedef struct tagLVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
  int iImage;
  int iOrder;
  int cxMin;
  int cxDefault;
  int cxIdeal;
} LVCOLUMNW, *LPLVCOLUMNW;
typedef struct tagLVFINDINFOW {
  UINT flags;
  LPCWSTR psz;
  LPARAM lParam;
  POINT pt;
  UINT vkDirection;
} LVFINDINFOW, *LPFINDINFOW;
typedef struct tagNMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMLISTVIEW, *LPNMLISTVIEW;
#define LVM_FIRST 0x1000
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_FINDITEMW (LVM_FIRST + 83)
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#define LVM_SETCOLUMNW (LVM_FIRST + 96)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_INSERTITEM (LVN_FIRST - 2)
#define LVN_DELETEITEM (LVN_FIRST - 3)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)

// ---- IP address control ------------------------------------------------------------------------
#define WC_IPADDRESSW u"SysIPAddress32"
#define IPM_CLEARADDRESS (WM_USER + 100)
#define IPM_SETADDRESS (WM_USER + 101)
#define IPM_GETADDRESS (WM_USER + 102)
#define IPM_SETRANGE (WM_USER + 103)
#define IPM_SETFOCUS (WM_USER + 104)
#define IPM_ISBLANK (WM_USER + 105)
#define IPN_FIRST (0U - 860U)
#define IPN_FIELDCHANGED (IPN_FIRST - 0)
typedef struct tagNMIPADDRESS {
  NMHDR hdr;
  int iField;
  int iValue;
} NMIPADDRESS, *LPNMIPADDRESS;
#define MAKEIPADDRESS(b1, b2, b3, b4) \
  ((LPARAM)(((DWORD)(b1) << 24) + ((DWORD)(b2) << 16) + ((DWORD)(b3) << 8) + ((DWORD)(b4))))
#define MAKEIPRANGE(low, high) ((LPARAM)(WORD)(((BYTE)(high) << 8) + (BYTE)(low)))
#define FIRST_IPADDRESS(x) (((x) >> 24) & 0xff)
#define SECOND_IPADDRESS(x) (((x) >> 16) & 0xff)
#define THIRD_IPADDRESS(x) (((x) >> 8) & 0xff)
#define FOURTH_IPADDRESS(x) ((x)&0xff)

}  // extern "C"

// The message wrappers are inline functions here so that an unused result does not warn.
inline int ListView_GetItemCount(HWND w) { return (int)SendMessageW(w, LVM_GETITEMCOUNT, 0, 0); }
inline int ListView_InsertItem(HWND w, const LVITEMW* p) { return (int)SendMessageW(w, LVM_INSERTITEMW, 0, (LPARAM)p); }
inline int ListView_InsertColumn(HWND w, int i, const LVCOLUMNW* p) {
  return (int)SendMessageW(w, LVM_INSERTCOLUMNW, (WPARAM)i, (LPARAM)p);
}
inline BOOL ListView_DeleteAllItems(HWND w) { return (BOOL)SendMessageW(w, LVM_DELETEALLITEMS, 0, 0); }
inline BOOL ListView_DeleteItem(HWND w, int i) { return (BOOL)SendMessageW(w, LVM_DELETEITEM, (WPARAM)i, 0); }
inline int ListView_GetNextItem(HWND w, int i, UINT flags) {
  return (int)SendMessageW(w, LVM_GETNEXTITEM, (WPARAM)i, MAKELPARAM(flags, 0));
}
inline BOOL ListView_GetItem(HWND w, LVITEMW* p) { return (BOOL)SendMessageW(w, LVM_GETITEMW, 0, (LPARAM)p); }
inline BOOL ListView_SetItem(HWND w, const LVITEMW* p) { return (BOOL)SendMessageW(w, LVM_SETITEMW, 0, (LPARAM)p); }
inline DWORD ListView_SetExtendedListViewStyle(HWND w, DWORD ex) {
  return (DWORD)SendMessageW(w, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)ex);
}
inline UINT ListView_GetSelectedCount(HWND w) { return (UINT)SendMessageW(w, LVM_GETSELECTEDCOUNT, 0, 0); }
inline BOOL ListView_SetColumnWidth(HWND w, int i, int cx) {
  return (BOOL)SendMessageW(w, LVM_SETCOLUMNWIDTH, (WPARAM)i, MAKELPARAM(cx, 0));
}
inline UINT ListView_GetItemState(HWND w, int i, UINT mask) {
  return (UINT)SendMessageW(w, LVM_GETITEMSTATE, (WPARAM)i, (LPARAM)mask);
}
#define ListView_SetItemState(w, i, data, mask)                           \
  do {                                                                    \
    LVITEMW lvi_ = {};                                                    \
    lvi_.stateMask = (mask);                                              \
    lvi_.state = (data);                                                  \
    SendMessageW((w), LVM_SETITEMSTATE, (WPARAM)(i), (LPARAM)&lvi_);      \
  } while (0)
#define ListView_SetCheckState(w, i, f) ListView_SetItemState(w, i, INDEXTOSTATEIMAGEMASK((f) ? 2 : 1), LVIS_STATEIMAGEMASK)
#define ListView_GetCheckState(w, i) ((((UINT)(SendMessageW((w), LVM_GETITEMSTATE, (WPARAM)(i), LVIS_STATEIMAGEMASK))) >> 12) - 1)
#define ListView_SetItemText(w, i, sub, text)                             \
  do {                                                                    \
    LVITEMW lvi_ = {};                                                    \
    lvi_.iSubItem = (sub);                                                \
    lvi_.pszText = (text);                                                \
    SendMessageW((w), LVM_SETITEMTEXTW, (WPARAM)(i), (LPARAM)&lvi_);      \
  } while (0)
#define ListView_GetItemText(w, i, sub, text, cch)                        \
  do {                                                                    \
    LVITEMW lvi_ = {};                                                    \
    lvi_.iSubItem = (sub);                                                \
    lvi_.cchTextMax = (cch);                                              \
    lvi_.pszText = (text);                                                \
    SendMessageW((w), LVM_GETITEMTEXTW, (WPARAM)(i), (LPARAM)&lvi_);      \
  } while (0)
#define TRACKBAR_CLASS TRACKBAR_CLASSW
#define UPDOWN_CLASS UPDOWN_CLASSW
#define PROGRESS_CLASS PROGRESS_CLASSW
#define WC_LISTVIEW WC_LISTVIEWW
#define WC_IPADDRESS WC_IPADDRESSW
typedef LVITEMW LVITEM;
typedef LVCOLUMNW LVCOLUMN;
