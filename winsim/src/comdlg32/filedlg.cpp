// comdlg32: the open and save file dialogs, answered from the script queue.
#include <commdlg.h>

#include <cstring>

#include "user32/script.h"

using namespace winsim::detail;

namespace {

thread_local DWORD t_extendedError = 0;

BOOL FileDialog(LPOPENFILENAMEW ofn, bool save) {
  t_extendedError = 0;
  if (!ofn || ofn->lStructSize < offsetof(OPENFILENAMEW, pvReserved) || !ofn->lpstrFile) {
    t_extendedError = 1;  // CDERR_STRUCTSIZE
    return FALSE;
  }
  winsim::ui::FileDialogCall c;
  c.save = save;
  c.title = Wide(ofn->lpstrTitle);
  for (LPCWSTR f = ofn->lpstrFilter; f && *f; f += Wide(f).size() + 1) {
    if (!c.filter.empty()) c.filter += u"|";
    c.filter += Wide(f);
  }
  c.initialDir = Wide(ofn->lpstrInitialDir);
  c.fileName = Wide(ofn->lpstrFile);
  c.flags = ofn->Flags;
  Answer a;
  bool answered = TakeAnswer(ScriptKind::File, std::string(save ? "GetSaveFileNameW: " : "GetOpenFileNameW: ") +
                                                   ToUtf8(c.title) + " [" + ToUtf8(c.filter) + "]",
                             &a);
  if (!answered || a.cancel) {
    RecordFileDialog(c);
    return FALSE;
  }
  c.answer = a.path;
  RecordFileDialog(c);
  if (a.path.size() + 1 > ofn->nMaxFile) {
    // The buffer is too small: its first word receives the size needed.
    if (ofn->nMaxFile >= 1) ofn->lpstrFile[0] = WCHAR(a.path.size() + 1);
    t_extendedError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, a.path.c_str(), (a.path.size() + 1) * sizeof(WCHAR));
  size_t slash = a.path.find_last_of(u"\\/");
  size_t name = slash == std::u16string::npos ? 0 : slash + 1;
  size_t dot = a.path.find_last_of(u'.');
  ofn->nFileOffset = WORD(name);
  ofn->nFileExtension = WORD(dot == std::u16string::npos || dot < name ? a.path.size() : dot + 1);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
    std::u16string t = a.path.substr(name).substr(0, ofn->nMaxFileTitle - 1);
    std::memcpy(ofn->lpstrFileTitle, t.c_str(), (t.size() + 1) * sizeof(WCHAR));
  }
  ofn->nFilterIndex = ofn->nFilterIndex ? ofn->nFilterIndex : 1;
  return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn) { return FileDialog(ofn, false); }
BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn) { return FileDialog(ofn, true); }
DWORD WINAPI CommDlgExtendedError(void) { return t_extendedError; }

}  // extern "C"
