// winsim control API: module resources from compiled resource files, and the UI language that resource
// lookups prefer.
#pragma once

#include <cstddef>

#include <windows.h>

namespace winsim {

// Adds every resource of a compiled resource file (.res: a sequence of RESOURCEHEADER records, each
// with its type, name and language, data padded to 4 bytes) to the module, as a Windows image built
// from the same script carries them. Replaces resources of the same type, name and language. False
// (and nothing added) when the data is not a well-formed .res file.
bool AddResourceFile(HMODULE module, const void* res, size_t size);

// The user's UI language (GetUserDefaultUILanguage; 0x0409 after Reset()). FindResourceW and the
// loaders built on it prefer the calling thread's UI language (SetThreadUILanguage), else this one,
// then a language-neutral resource, then English, then any.
void SetUserUiLanguage(LANGID language);

}  // namespace winsim
