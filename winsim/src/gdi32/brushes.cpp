// gdi32: solid brushes as objects of their own; device contexts for windows do not exist yet, so the
// colour calls on an HDC fail as for an invalid handle.
#include "internal.h"

using namespace winsim::detail;

namespace {
struct Brush : Object {
  COLORREF Color;
  explicit Brush(COLORREF c) : Color(c) {}
};
}  // namespace

extern "C" {

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  Guard g(Mutex());
  return static_cast<HBRUSH>(NewHandle(std::make_shared<Brush>(color & 0x00FFFFFF)));
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  Guard g(Mutex());
  if (!object || !TakeHandleOf<Brush>(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

COLORREF WINAPI SetBkColor(HDC, COLORREF) {
  SetLastError(ERROR_INVALID_HANDLE);
  return CLR_INVALID;
}

int WINAPI SetBkMode(HDC, int) {
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

}  // extern "C"
