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

// ---- menus (user32/menu.cpp) --------------------------------------------------------
typedef struct HMENU__* HMENU;
#define MF_STRING 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_MENUBARBREAK 0x00000020L
#define MF_MENUBREAK 0x00000040L
#define MF_END 0x00000080L
#define MF_OWNERDRAW 0x00000100L
#define MF_SEPARATOR 0x00000800L
#define MF_DEFAULT 0x00001000L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MFT_STRING MF_STRING
#define MFT_SEPARATOR MF_SEPARATOR
#define MFS_GRAYED 0x00000003L
#define MFS_CHECKED MF_CHECKED
#define MFS_DEFAULT MF_DEFAULT
extern "C" {
HMENU WINAPI CreateMenu(void);
HMENU WINAPI CreatePopupMenu(void);
BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos);
int WINAPI GetMenuItemCount(HMENU hMenu);
UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos);
UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);
int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags);
BOOL WINAPI DestroyMenu(HMENU hMenu);
// Menu resources: MENU (MENUTEMPLATE) and MENUEX templates.
HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
HMENU WINAPI LoadMenuIndirectW(const void* lpMenuTemplate);
}  // extern "C"

// ---- bitmaps and icons from resources (user32/images.cpp) ------------------------------
typedef HICON HCURSOR;
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_LOADFROMFILE 0x00000010
#define LR_DEFAULTSIZE 0x00000040
#define LR_SHARED 0x00008000
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_ERROR MAKEINTRESOURCEW(32513)
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_WARNING MAKEINTRESOURCEW(32515)
#define IDI_INFORMATION MAKEINTRESOURCEW(32516)
extern "C" {
// RT_BITMAP resources (1, 4, 8, 24 or 32 bpp) as a 32 bpp bitmap of the display's format.
HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
// RT_GROUP_ICON resources (and, with a null instance, the system's IDI_ icons) as icon handles.
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad);
BOOL WINAPI DestroyIcon(HICON hIcon);
}  // extern "C"
#define LoadMenu LoadMenuW
#define LoadBitmap LoadBitmapW
#define LoadIcon LoadIconW
#define LoadImage LoadImageW
#define AppendMenu AppendMenuW
#define GetMenuString GetMenuStringW
#define SetDlgItemText SetDlgItemTextW
#define SendMessage SendMessageW
