// winsim: the rich edit control (richedit.h), as a read-only text box: text in and out as an edit
// control, the formatting messages accepted and ignored.
#pragma once

#include <windows.h>

#define RICHEDIT_CLASSW u"RichEdit20W"
#define MSFTEDIT_CLASS u"RICHEDIT50W"
#define EM_SETBKGNDCOLOR (WM_USER + 67)
#define EM_SETEVENTMASK (WM_USER + 69)
#define EM_GETEVENTMASK (WM_USER + 59)
#define EM_AUTOURLDETECT (WM_USER + 91)
#define ENM_NONE 0x00000000
#define ENM_CHANGE 0x00000001
#define ENM_LINK 0x04000000
#define RICHEDIT_CLASS RICHEDIT_CLASSW
