// shell32: the folder browser, answered from the script queue. An item id list here is the folder's
// path as a LocalAlloc'd wide string.
#include <cstring>

#include "user32/script.h"

using namespace winsim::detail;

extern "C" {

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW bi) {
  if (!bi) return nullptr;
  winsim::ui::FolderDialogCall c;
  c.title = Wide(bi->lpszTitle);
  c.flags = bi->ulFlags;
  if (bi->lpfn) bi->lpfn(nullptr, BFFM_INITIALIZED, 0, bi->lParam);
  Answer a;
  if (!TakeAnswer(ScriptKind::Folder, "SHBrowseForFolderW: " + ToUtf8(c.title), &a) || a.cancel) {
    RecordFolderDialog(c);
    return nullptr;
  }
  c.answer = a.path;
  RecordFolderDialog(c);
  if (bi->pszDisplayName) {
    size_t slash = a.path.find_last_of(u'\\');
    std::u16string name = a.path.substr(slash == std::u16string::npos ? 0 : slash + 1).substr(0, MAX_PATH - 1);
    std::memcpy(bi->pszDisplayName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  }
  auto* p = static_cast<WCHAR*>(LocalAlloc(LPTR, (a.path.size() + 1) * sizeof(WCHAR)));
  if (!p) return nullptr;
  std::memcpy(p, a.path.c_str(), (a.path.size() + 1) * sizeof(WCHAR));
  return reinterpret_cast<PIDLIST_ABSOLUTE>(p);
}

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR path) {
  if (!pidl || !path) return FALSE;
  std::u16string s = Wide(reinterpret_cast<LPCWSTR>(pidl));
  if (s.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

void WINAPI ILFree(PIDLIST_ABSOLUTE pidl) {
  if (pidl) LocalFree(pidl);
}

void WINAPI CoTaskMemFree(LPVOID pv) {
  if (pv) LocalFree(pv);
}

}  // extern "C"
