// winsim: winuser.h (included by windows.h): the user32 calls of this stand-in.
#pragma once

#include <windows.h>

extern "C" {
// Fills rc (right and bottom edges excluded) with the brush; a brush value 1..31 names system colour
// value - 1 (COLOR_WINDOW + 1, ...).
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
}  // extern "C"
