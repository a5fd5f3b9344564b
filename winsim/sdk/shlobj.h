// winsim: the shell folder helper the driver uses for its capture folder (shlobj.h).
#pragma once

#include <windows.h>

extern "C" {
// Creates every missing folder of a full path. ERROR_SUCCESS, ERROR_ALREADY_EXISTS when the folder
// was there, or the error of the step that failed (ERROR_BAD_PATHNAME for a relative path).
int WINAPI SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa);
}  // extern "C"

#define SHCreateDirectoryEx SHCreateDirectoryExW

// ---- folder browsing (SHBrowseForFolderW): answers come from winsim/ui.h's queue ------------------
typedef struct _ITEMIDLIST ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;
typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);
typedef struct _browseinfoW {
  HWND hwndOwner;
  PCIDLIST_ABSOLUTE pidlRoot;
  LPWSTR pszDisplayName;
  LPCWSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
} BROWSEINFOW, *LPBROWSEINFOW;
#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_EDITBOX 0x00000010
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_SETSELECTIONW (WM_USER + 103)
extern "C" {
// The dialog calls lpfn with BFFM_INITIALIZED first (so a caller may preselect a folder), then answers.
PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW lpbi);
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath);
void WINAPI ILFree(PIDLIST_ABSOLUTE pidl);
void WINAPI CoTaskMemFree(LPVOID pv);
}  // extern "C"
#define SHBrowseForFolder SHBrowseForFolderW
#define SHGetPathFromIDList SHGetPathFromIDListW
#define BROWSEINFO BROWSEINFOW
