// The "About" page (dialog 101) of both property sheets: product name, publisher's notice, version.
#pragma once

#include "common/platform.h"

constexpr WORD kAboutTemplate = 101;
constexpr int kAboutProductControl = 1000;
constexpr int kAboutVersionControl = 1001;
constexpr int kAboutNoticeControl = 1002;

// The package version as the About page and the binaries' version information show it.
const WCHAR* ProductVersionText();

// The text the About page puts in `control` into `buf` (cap characters, terminated); 0 and an empty
// string for a control that is not one of its three.
int AboutPageText(int control, WCHAR* buf, int cap);

// The page's white background brush: created on first use and kept for the life of the module, so
// that the colour messages never create one per paint.
HBRUSH AboutPageBrush();

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
