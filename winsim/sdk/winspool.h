// winsim: the spooler's job path as a printer driver and GDI use it (StartDocPrinter, WritePrinter,
// EndDocPrinter), and the shell folder helper the driver uses for its capture folder.
// Included at the end of win32.h.
#pragma once

#define ERROR_INVALID_PRINTER_STATE 1906L
#define ERROR_SPL_NO_STARTDOC 3003L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILENAME_EXCED_RANGE 206L

typedef struct _DOC_INFO_1W {
  LPWSTR pDocName;
  LPWSTR pOutputFile;
  LPWSTR pDatatype;
} DOC_INFO_1W, *PDOC_INFO_1W, *LPDOC_INFO_1W;

extern "C" {
// One document per printer handle at a time; the job id comes from the spooler's counter.
DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo);
BOOL WINAPI StartPagePrinter(HANDLE hPrinter);
BOOL WINAPI EndPagePrinter(HANDLE hPrinter);
BOOL WINAPI EndDocPrinter(HANDLE hPrinter);
BOOL WINAPI AbortPrinter(HANDLE hPrinter);
BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);

// Creates every missing folder of a full path. ERROR_SUCCESS, ERROR_ALREADY_EXISTS when the folder
// was there, or the error of the step that failed (ERROR_BAD_PATHNAME for a relative path).
int WINAPI SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa);
}  // extern "C"

#define StartDocPrinter StartDocPrinterW
#define SHCreateDirectoryEx SHCreateDirectoryExW
typedef DOC_INFO_1W DOC_INFO_1;
