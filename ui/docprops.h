// Document properties without a dialog, the output DEVMODE, the installed paper and the settings
// conversions of DrvConvertDevMode.
#pragma once

#include <cstddef>

#include "common/platform.h"
#include "ui/context.h"

constexpr LONG kDevmodeBytes = sizeof(PrinterDevmode);                       // 2968
constexpr LONG kDevmode351Bytes = 188 + kDevmodePrivateSize;                 // 2936
constexpr WORD kDevmode351DriverVersion = 0x350;

// The output record's shape for `settings` and the caller's record (or none) in `outBytes` bytes: the
// smaller public part and the smaller private block of the two, the private block shortened to what
// fits. FALSE when not even the public part fits.
BOOL OutputDevmodeShape(const PrinterDevmode* settings, const DEVMODEW* caller, size_t outBytes, WORD* size,
                        WORD* extra);
// Copies the settings into `out` (outBytes long), in the caller's DEVMODE version when one is given.
// Never writes past outBytes. FALSE when nothing was copied; FALSE with ERROR_INSUFFICIENT_BUFFER, and
// nothing written, when not even the public part fits.
BOOL WriteOutputDevmode(const PrinterDevmode* settings, const DEVMODEW* caller, DEVMODEW* out, size_t outBytes);

// Makes the "FORMS" entry named like the current paper the current paper and the settings' form, and
// stores it as "InstalledForm" (write failures are not reported).
void CommitCurrentPaper(PrinterContext* ctx);

// DrvDocumentPropertySheets without a property sheet: the size query (fMode 0) or the settings of the
// printer merged with pdmIn, written to pdmOut. 2968 for the size query, 1 when done or nothing to do,
// -1 on failure.
LONG DocumentPropertiesNoSheet(DOCUMENTPROPERTYHEADER* header);

// DrvConvertDevMode: CDM_CONVERT, CDM_CONVERT351 and CDM_DRIVER_DEFAULT.
BOOL ConvertDevmode(LPWSTR printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode);
