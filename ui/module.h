// The module instance of lbldrv6ui and its string table.
#pragma once

#include "common/platform.h"
#include "ui/strings.h"

// The instance DllMain received; resources (catalogue, strings) are looked up in it.
HINSTANCE UiModule();
void SetUiModule(HINSTANCE instance);

// String `id` of the module's table into `buf` (cap characters, terminated); an empty string and 0
// when the string is missing. Returns the characters copied.
int LoadUiString(UINT id, WCHAR* buf, int cap);

#ifndef _WIN32
// Linux build: gives `module` the string table as RT_STRING blocks (the Windows DLL carries them from
// its resource script). The library does this for itself when it is loaded; tests that link the
// user-interface code directly call it for their own module.
void RegisterUiStrings(HMODULE module);
#endif
