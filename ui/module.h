// The module instance of lbldrv6ui and its string table; the exception boundary (guard.h) that every
// procedure Windows calls goes through.
#pragma once

#include "common/platform.h"
#include "ui/guard.h"
#include "ui/strings.h"

// The instance DllMain received; resources (catalogue, strings) are looked up in it.
HINSTANCE UiModule();
void SetUiModule(HINSTANCE instance);

// String `id` of the module's table into `buf` (cap characters, terminated); an empty string and 0
// when the string is missing. Returns the characters copied.
int LoadUiString(UINT id, WCHAR* buf, int cap);

// The open-file dialog for an existing file, with one filter: the string `filterNameId` and `pattern`.
// `path` (chars characters) receives the choice; false when the user cancelled.
bool ChooseExistingFile(HWND owner, UINT filterNameId, const WCHAR* pattern, WCHAR* path, DWORD chars);

#ifndef _WIN32
// Linux build: gives `module` the resources of lbldrv6ui.rc (string table, dialogs, ...) as the Windows
// DLL carries them. The library does this for itself when it is loaded; tests that link the
// user-interface code directly call it for their own module.
void RegisterUiResources(HMODULE module);
#endif
