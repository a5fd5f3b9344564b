// Printer events, driver upgrade and the job check, with the message formatter of its explanations.
#pragma once

#include <cstddef>

#include "common/platform.h"

// Copies `format` into `out` (cap characters, the last slot always terminates), replacing
//   %!  by the string-table text of the next value (at most 255 characters, empty when missing),
//   %X %x %u %d  by the next value as a 32-bit number ("%lX", "%lx", "%lu", "%ld"),
//   %s  by the next value as a wide string (a null one writes one blank that the count skips),
//   %c  by the next value as one character,
//   %<other>  by that character.
// Values past `count` read as 0. `needed` (optional) receives the characters of the whole text plus
// the terminator, also when it was cut. Returns the characters written.
int FormatMessageText(HINSTANCE module, WCHAR* out, size_t cap, DWORD* needed, const WCHAR* format,
                      const ULONG_PTR* values, size_t count);

// Opens `printerName` with PRINTER_ALL_ACCESS, maps it and stores its pruned paper list as "FORMS".
// *reached tells whether the printer could be opened and mapped; the result is StoreModelPapers'.
BOOL StorePrinterForms(LPWSTR printerName, bool* reached);

// The job check of DevQueryPrintEx: TRUE when the job can print on the loaded paper; otherwise FALSE
// with the explanation in pszErrorStr and its full length plus one in cchNeeded.
BOOL CheckJob(DEVQUERYPRINT_INFO* info);
