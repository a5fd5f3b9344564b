// winsim: winuser.h (included by windows.h): the user32 calls of this stand-in.
#pragma once

#include <windows.h>

// Dialogs and their messages, as far as the driver's pages use them.
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR, *LPNMHDR;
#define WM_DESTROY 0x0002
#define WM_NOTIFY 0x004E
#define WM_INITDIALOG 0x0110
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSTATIC 0x0138
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC ((LONG_PTR)sizeof(LRESULT))
#define DWLP_USER ((LONG_PTR)(DWLP_DLGPROC + sizeof(DLGPROC)))
#define ERROR_INVALID_WINDOW_HANDLE 1400L

extern "C" {
BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex);
// Fills rc (right and bottom edges excluded) with the brush; a brush value 1..31 names system colour
// value - 1 (COLOR_WINDOW + 1, ...).
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
}  // extern "C"
#define SetDlgItemText SetDlgItemTextW
#define SendMessage SendMessageW
