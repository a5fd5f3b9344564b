// winsim: the common property sheet UI (compstui.h): CommonPropertySheetUIW hosting a driver's sheet
// function, and the ComPropSheet functions the driver calls back.
//
// Behaviour notes (winsim/src/compstui/):
// - CommonPropertySheetUIW calls the sheet function with PROPSHEETUI_REASON_INIT (lParam = the caller's
//   lParam; a result below 1 ends everything with ERR_CPSUI_GETLASTERROR after DESTROY), then
//   GET_INFO_HEADER (lParam = PROPSHEETUI_INFO_HEADER), shows the pages with PropertySheetW, and finally
//   calls DESTROY (lParam TRUE when the sheet was cancelled). *pResult receives the Result member the
//   sheet function left. Returns CPSUI_OK, or CPSUI_CANCEL when no page was applied.
// - Pages in the order added. A COMPROPSHEETUI contributes one page per DLGPAGE that at least one
//   OPTITEM (without OPTIF_HIDE) names through DlgPageIdx; the page's WM_INITDIALOG lParam is a
//   PROPSHEETPAGEW followed by PSPINFO (PPSPINFO_FROM_WM_INITDIALOG_LPARAM) whose lParam is the
//   COMPROPSHEETUI's UserData.
// - On OK and Apply, after every page got PSN_APPLY, each COMPROPSHEETUI with a callback gets
//   CPSUICB_REASON_APPLYNOW (pCurItem = its first item); when it answers CPSUICB_ACTION_ITEMS_APPLIED,
//   compstui does CPSFUNC_SET_RESULT for that COMPROPSHEETUI's handle with the callback's Result, which
//   calls every sheet function with PROPSHEETUI_REASON_SET_RESULT (SETRESULT_INFO), newest first.
// - CPSFUNC_SET_FUSION_CONTEXT (lParam1: an activation context) on a handle: a page added below it
//   that brings no context of its own (PSP_USEFUSIONCONTEXT) is made in the nearest one set.
#pragma once

#include <windows.h>
#include <prsht.h>

extern "C" {

typedef LONG_PTR(CALLBACK* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT Function, LPARAM lParam1, LPARAM lParam2);

typedef struct _PROPSHEETUI_INFO {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  PFNCOMPROPSHEET pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
} PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;

typedef LONG(CALLBACK* PFNPROPSHEETUI)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);

#define PROPSHEETUI_INFO_VERSION 0x0100
#define PSUIINFO_UNICODE 0x0001
#define PROPSHEETUI_REASON_INIT 0
#define PROPSHEETUI_REASON_GET_INFO_HEADER 1
#define PROPSHEETUI_REASON_DESTROY 2
#define PROPSHEETUI_REASON_SET_RESULT 3
#define PROPSHEETUI_REASON_GET_ICON 4
#define PROPSHEETUI_REASON_BEFORE_INIT 5
#define CPSUI_CANCEL 0
#define CPSUI_OK 1
#define CPSUI_RESTARTWINDOWS 2
#define CPSUI_REBOOTSYSTEM 3
#define ERR_CPSUI_GETLASTERROR (-1)
#define ERR_CPSUI_ALLOCMEM_FAILED (-2)
#define ERR_CPSUI_INVALID_PDATA (-3)
#define ERR_CPSUI_INVALID_LPARAM (-4)
#define ERR_CPSUI_NULL_HINST (-5)
#define ERR_CPSUI_NULL_CALLERNAME (-6)
#define ERR_CPSUI_NULL_OPTITEMNAME (-7)
#define ERR_CPSUI_NO_PROPSHEETPAGE (-8)
#define ERR_CPSUI_TOO_MANY_PROPSHEETPAGES (-9)
#define ERR_CPSUI_CREATEPROPPAGE_FAILED (-10)

typedef struct _PROPSHEETUI_INFO_HEADER {
  WORD cbSize;
  WORD Flags;
  LPWSTR pTitle;
  HWND hWndParent;
  HINSTANCE hInst;
  union {
    HICON hIcon;
    ULONG_PTR IconID;
  };
} PROPSHEETUI_INFO_HEADER, *PPROPSHEETUI_INFO_HEADER;
#define PSUIHDRF_OBSOLETE 0x0001
#define PSUIHDRF_NOAPPLYNOW 0x0002
#define PSUIHDRF_PROPTITLE 0x0004
#define PSUIHDRF_USEHICON 0x0008
#define PSUIHDRF_DEFTITLE 0x0010
#define PSUIHDRF_EXACT_PTITLE 0x0020

typedef struct _SETRESULT_INFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hSetResult;
  LRESULT Result;
} SETRESULT_INFO, *PSETRESULT_INFO;

typedef struct _PSPINFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hComPropSheet;
  HANDLE hCPSUIPage;
  PFNCOMPROPSHEET pfnComPropSheet;
} PSPINFO, *PPSPINFO;
#define PPSPINFO_FROM_WM_INITDIALOG_LPARAM(lParam) \
  ((PPSPINFO)((LPBYTE)(lParam) + ((LPPROPSHEETPAGEW)(lParam))->dwSize))

typedef struct _DLGPAGE {
  WORD cbSize;
  WORD Flags;
  DLGPROC DlgProc;
  LPWSTR pTabName;
  ULONG_PTR IconID;
  union {
    WORD DlgTemplateID;
    HANDLE hDlgTemplate;
  };
} DLGPAGE, *PDLGPAGE;
#define DPF_ICONID_AS_HICON 0x0001
#define DPF_USE_HDLGTEMPLATE 0x0002

typedef struct _OPTITEM {
  WORD cbSize;
  BYTE Level;
  BYTE DlgPageIdx;
  DWORD Flags;
  ULONG_PTR UserData;
  LPWSTR pName;
  union {
    LONG Sel;
    LPWSTR pSel;
  };
  union {
    void* pExtChkBox;
    void* pExtPush;
  };
  void* pOptType;
  DWORD HelpIndex;
  BYTE DMPubID;
  BYTE UserItemID;
  WORD wReserved;
  void* pOIExt;
  ULONG_PTR dwReserved[3];
} OPTITEM, *POPTITEM;
#define OPTIF_COLLAPSE 0x00000001
#define OPTIF_HIDE 0x00000002
#define OPTIF_CALLBACK 0x00000004
#define OPTIF_CHANGED 0x00000008
#define OPTIF_DISABLED 0x00000020

typedef struct _CPSUICBPARAM {
  WORD cbSize;
  WORD Reason;
  HWND hDlg;
  POPTITEM pOptItem;
  WORD cOptItem;
  WORD Flags;
  POPTITEM pCurItem;
  union {
    LONG OldSel;
    LPWSTR pOldSel;
  };
  ULONG_PTR UserData;
  ULONG_PTR Result;
} CPSUICBPARAM, *PCPSUICBPARAM;
typedef LONG(CALLBACK* _CPSUICALLBACK)(PCPSUICBPARAM pCPSUICBParam);
#define CPSUICB_REASON_SEL_CHANGED 0
#define CPSUICB_REASON_PUSHBUTTON 1
#define CPSUICB_REASON_ECB_CHANGED 2
#define CPSUICB_REASON_DLGPROC 3
#define CPSUICB_REASON_UNDO_CHANGES 4
#define CPSUICB_REASON_EXTPUSH 5
#define CPSUICB_REASON_APPLYNOW 6
#define CPSUICB_REASON_OPTITEM_SETFOCUS 7
#define CPSUICB_REASON_ITEMS_REVERTED 8
#define CPSUICB_REASON_ABOUT 9
#define CPSUICB_REASON_SETACTIVE 10
#define CPSUICB_REASON_KILLACTIVE 11
#define CPSUICB_ACTION_NONE 0
#define CPSUICB_ACTION_OPTIF_CHANGED 1
#define CPSUICB_ACTION_REINIT_ITEMS 2
#define CPSUICB_ACTION_NO_APPLY_EXIT 3
#define CPSUICB_ACTION_ITEMS_APPLIED 4

typedef struct _COMPROPSHEETUI {
  WORD cbSize;
  WORD Flags;
  HINSTANCE hInstCaller;
  LPWSTR pCallerName;
  ULONG_PTR UserData;
  LPWSTR pHelpFile;
  _CPSUICALLBACK pfnCallBack;
  POPTITEM pOptItem;
  PDLGPAGE pDlgPage;
  WORD cOptItem;
  WORD cDlgPage;
  ULONG_PTR IconID;
  LPWSTR pOptItemName;
  WORD CallerVersion;
  WORD OptItemVersion;
  ULONG_PTR dwReserved[4];
} COMPROPSHEETUI, *PCOMPROPSHEETUI;
#define CPSUIF_UPDATE_PERMISSION 0x0001
#define CPSUIF_ICONID_AS_HICON 0x0002
#define CPSUIF_ABOUT_CALLBACK 0x0004

static_assert(sizeof(void*) != 8 || sizeof(OPTITEM) == 88);
static_assert(sizeof(void*) != 8 || sizeof(COMPROPSHEETUI) == 128);
static_assert(sizeof(void*) != 8 || sizeof(DLGPAGE) == 40);
static_assert(sizeof(void*) != 8 || sizeof(CPSUICBPARAM) == 64);
static_assert(sizeof(void*) != 8 || sizeof(PROPSHEETUI_INFO_HEADER) == 40);

#define CPSFUNC_ADD_HPROPSHEETPAGE 0
#define CPSFUNC_ADD_PROPSHEETPAGEW 1
#define CPSFUNC_ADD_PCOMPROPSHEETUIA 2
#define CPSFUNC_ADD_PCOMPROPSHEETUIW 3
#define CPSFUNC_ADD_PFNPROPSHEETUIA 4
#define CPSFUNC_ADD_PFNPROPSHEETUIW 5
#define CPSFUNC_DELETE_HCOMPROPSHEET 6
#define CPSFUNC_SET_HSTARTPAGE 7
#define CPSFUNC_GET_PAGECOUNT 8
#define CPSFUNC_SET_RESULT 9
#define CPSFUNC_GET_HPSUIPAGES 10
#define CPSFUNC_LOAD_CPSUI_STRINGA 11
#define CPSFUNC_LOAD_CPSUI_STRINGW 12
#define CPSFUNC_LOAD_CPSUI_ICON 13
#define CPSFUNC_GET_PFNPROPSHEETUI_ICON 14
#define CPSFUNC_ADD_PROPSHEETPAGEA 15
#define CPSFUNC_INSERT_PSUIPAGEA 16
#define CPSFUNC_INSERT_PSUIPAGEW 17
#define CPSFUNC_SET_PSUIPAGE_TITLEA 18
#define CPSFUNC_SET_PSUIPAGE_TITLEW 19
#define CPSFUNC_SET_PSUIPAGE_ICON 20
#define CPSFUNC_SET_DATABLOCK 21
#define CPSFUNC_QUERY_DATABLOCK 22
#define CPSFUNC_SET_DMPUB_HIDEBITS 23
#define CPSFUNC_IGNORE_CPSUI_PSN_APPLY 24
#define CPSFUNC_DO_APPLY_CPSUI 25
#define CPSFUNC_SET_FUSION_CONTEXT 26

LONG WINAPI CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam, LPDWORD pResult);

}  // extern "C"

#define CPSFUNC_ADD_PCOMPROPSHEETUI CPSFUNC_ADD_PCOMPROPSHEETUIW
#define CPSFUNC_ADD_PROPSHEETPAGE CPSFUNC_ADD_PROPSHEETPAGEW
#define CPSFUNC_ADD_PFNPROPSHEETUI CPSFUNC_ADD_PFNPROPSHEETUIW
#define CommonPropertySheetUI CommonPropertySheetUIW
