// winsim: property sheets of comctl32 (prsht.h).
//
// Behaviour notes:
// - A sheet is a window of its own (headless) holding its pages; a page's dialog is created when the
//   page is first shown (PSP_PREMATURE: at once). PSN_SETACTIVE/PSN_KILLACTIVE accompany page changes;
//   a non-zero DWLP_MSGRESULT from PSN_KILLACTIVE keeps the page.
// - OK and Apply send PSN_KILLACTIVE to the current page, then PSN_APPLY (lParam FALSE for Apply, TRUE
//   for OK) to every page created so far; PSNRET_INVALID or PSNRET_INVALID_NOCHANGEPAGE from a page
//   stops the apply. Apply clears the pages' changed state. Cancel sends PSN_QUERYCANCEL then PSN_RESET.
// - Wizards (PSH_WIZARD97, PSH_WIZARD): Next/Back send PSN_WIZNEXT/PSN_WIZBACK; DWLP_MSGRESULT -1 stays,
//   0 goes to the adjacent page, otherwise it names the template id of the page to show.
#pragma once

#include <windows.h>

extern "C" {

struct _PSP;
typedef struct _PSP* HPROPSHEETPAGE;
struct _PROPSHEETPAGEW;
typedef UINT(CALLBACK* LPFNPSPCALLBACKW)(HWND hwnd, UINT uMsg, struct _PROPSHEETPAGEW* ppsp);
typedef int(CALLBACK* PFNPROPSHEETCALLBACK)(HWND, UINT, LPARAM);

typedef struct _PROPSHEETPAGEW {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  union {
    LPCWSTR pszTemplate;
    LPCDLGTEMPLATEW pResource;
  };
  union {
    HICON hIcon;
    LPCWSTR pszIcon;
  };
  LPCWSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKW pfnCallback;
  UINT* pcRefParent;
  LPCWSTR pszHeaderTitle;
  LPCWSTR pszHeaderSubTitle;
  HANDLE hActCtx;
  union {
    HBITMAP hbmHeader;
    LPCWSTR pszbmHeader;
  };
} PROPSHEETPAGEW, *LPPROPSHEETPAGEW;
typedef const PROPSHEETPAGEW* LPCPROPSHEETPAGEW;
static_assert(sizeof(void*) != 8 || sizeof(PROPSHEETPAGEW) == 104);
#define PROPSHEETPAGEW_V1_SIZE offsetof(PROPSHEETPAGEW, pszHeaderTitle)

typedef struct _PROPSHEETHEADERW {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  union {
    HICON hIcon;
    LPCWSTR pszIcon;
  };
  LPCWSTR pszCaption;
  UINT nPages;
  union {
    UINT nStartPage;
    LPCWSTR pStartPage;
  };
  union {
    LPCPROPSHEETPAGEW ppsp;
    HPROPSHEETPAGE* phpage;
  };
  PFNPROPSHEETCALLBACK pfnCallback;
  union {
    HBITMAP hbmWatermark;
    LPCWSTR pszbmWatermark;
  };
  HANDLE hplWatermark;  // HPALETTE
  union {
    HBITMAP hbmHeader;
    LPCWSTR pszbmHeader;
  };
} PROPSHEETHEADERW, *LPPROPSHEETHEADERW;
typedef const PROPSHEETHEADERW* LPCPROPSHEETHEADERW;

#define PSP_DEFAULT 0x00000000
#define PSP_DLGINDIRECT 0x00000001
#define PSP_USEHICON 0x00000002
#define PSP_USEICONID 0x00000004
#define PSP_USETITLE 0x00000008
#define PSP_RTLREADING 0x00000010
#define PSP_HASHELP 0x00000020
#define PSP_USEREFPARENT 0x00000040
#define PSP_USECALLBACK 0x00000080
#define PSP_PREMATURE 0x00000400
#define PSP_HIDEHEADER 0x00000800
#define PSP_USEHEADERTITLE 0x00001000
#define PSP_USEHEADERSUBTITLE 0x00002000
#define PSP_USEFUSIONCONTEXT 0x00004000  // the page's dialog is created with hActCtx active
#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

#define PSH_DEFAULT 0x00000000
#define PSH_PROPTITLE 0x00000001
#define PSH_USEHICON 0x00000002
#define PSH_USEICONID 0x00000004
#define PSH_PROPSHEETPAGE 0x00000008
#define PSH_WIZARDHASFINISH 0x00000010
#define PSH_WIZARD 0x00000020
#define PSH_USEPSTARTPAGE 0x00000040
#define PSH_NOAPPLYNOW 0x00000080
#define PSH_USECALLBACK 0x00000100
#define PSH_HASHELP 0x00000200
#define PSH_MODELESS 0x00000400
#define PSH_WIZARD97 0x01000000
#define PSH_WATERMARK 0x00008000
#define PSH_STRETCHWATERMARK 0x00040000
#define PSH_HEADER 0x00080000
#define PSH_NOCONTEXTHELP 0x02000000
#define PSCB_INITIALIZED 1
#define PSCB_PRECREATE 2

#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_WIZBACK (PSN_FIRST - 6)
#define PSN_WIZNEXT (PSN_FIRST - 7)
#define PSN_WIZFINISH (PSN_FIRST - 8)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)
#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

typedef struct _PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
} PSHNOTIFY, *LPPSHNOTIFY;

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_RESTARTWINDOWS (WM_USER + 105)
#define PSM_REBOOTSYSTEM (WM_USER + 106)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_QUERYSIBLINGS (WM_USER + 108)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_SETTITLEW (WM_USER + 120)
#define PSM_SETWIZBUTTONS (WM_USER + 112)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_SETCURSELID (WM_USER + 114)
#define PSM_SETFINISHTEXTW (WM_USER + 121)
#define PSM_GETTABCONTROL (WM_USER + 116)
#define PSM_ISDIALOGMESSAGE (WM_USER + 117)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)
#define PSM_INDEXTOHWND (WM_USER + 130)
#define PSM_HWNDTOINDEX (WM_USER + 129)
#define PSM_IDTOINDEX (WM_USER + 133)
#define PSM_INDEXTOID (WM_USER + 134)
#define PSM_GETRESULT (WM_USER + 135)
#define PSWIZB_BACK 0x00000001
#define PSWIZB_NEXT 0x00000002
#define PSWIZB_FINISH 0x00000004
#define PSWIZB_DISABLEDFINISH 0x00000008
#define PSBTN_BACK 0
#define PSBTN_NEXT 1
#define PSBTN_FINISH 2
#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5
#define ID_PSRESTARTWINDOWS 0x2
#define ID_PSREBOOTSYSTEM (ID_PSRESTARTWINDOWS | 0x1)

HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW constPropSheetPagePointer);
BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPage);
INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW lppsph);

}  // extern "C"

#define PropSheet_Changed(hDlg, hwnd) SendMessageW(hDlg, PSM_CHANGED, (WPARAM)(hwnd), 0)
#define PropSheet_UnChanged(hDlg, hwnd) SendMessageW(hDlg, PSM_UNCHANGED, (WPARAM)(hwnd), 0)
#define PropSheet_SetWizButtons(hDlg, dwFlags) PostMessageW(hDlg, PSM_SETWIZBUTTONS, 0, (LPARAM)(dwFlags))
#define PropSheet_PressButton(hDlg, iButton) PostMessageW(hDlg, PSM_PRESSBUTTON, (WPARAM)(iButton), 0)
#define PropSheet_SetCurSel(hDlg, hpage, index) SendMessageW(hDlg, PSM_SETCURSEL, (WPARAM)(index), (LPARAM)(hpage))
#define PropSheet_GetCurrentPageHwnd(hDlg) (HWND)SendMessageW(hDlg, PSM_GETCURRENTPAGEHWND, 0, 0)
#define PropSheet_SetCurSelByID(hDlg, id) SendMessageW(hDlg, PSM_SETCURSELID, 0, (LPARAM)(id))
#define PropSheet_IndexToHwnd(hDlg, i) (HWND)SendMessageW(hDlg, PSM_INDEXTOHWND, (WPARAM)(i), 0)
#define PropSheet_CancelToClose(hDlg) PostMessageW(hDlg, PSM_CANCELTOCLOSE, 0, 0)
#define PropSheet_SetTitle(hDlg, wS, lpszText) SendMessageW(hDlg, PSM_SETTITLEW, wS, (LPARAM)(LPCWSTR)(lpszText))
#define PropertySheet PropertySheetW
#define CreatePropertySheetPage CreatePropertySheetPageW
typedef PROPSHEETPAGEW PROPSHEETPAGE;
typedef PROPSHEETHEADERW PROPSHEETHEADER;
typedef LPPROPSHEETPAGEW LPPROPSHEETPAGE;
