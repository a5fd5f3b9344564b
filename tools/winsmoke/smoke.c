/* Loads each driver DLL with LoadLibrary and resolves its exports, as the spooler would. */
#include <stdio.h>
#include <windows.h>

static int check(const char* dll, const char* const* exports) {
  HMODULE m = LoadLibraryA(dll);
  if (!m) {
    printf("FAIL %s: LoadLibrary error %lu\n", dll, GetLastError());
    return 1;
  }
  int bad = 0;
  for (; *exports; ++exports) {
    if (!GetProcAddress(m, *exports)) {
      printf("FAIL %s: no export %s\n", dll, *exports);
      bad = 1;
    }
  }
  if (!FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16))) {
    printf("FAIL %s: no version resource\n", dll);
    bad = 1;
  }
  if (!bad) printf("ok   %s\n", dll);
  FreeLibrary(m);
  return bad;
}

int main(int argc, char** argv) {
  static const char* const render[] = {"DrvQueryDriverInfo", "DrvEnableDriver", "DrvDisableDriver", 0};
  static const char* const ui[] = {"DrvDeviceCapabilities", "DrvDocumentPropertySheets", "DrvDevicePropertySheets",
                                   "DrvConvertDevMode", "DrvPrinterEvent", "DrvUpgradePrinter", "DevQueryPrintEx",
                                   "DrvSplDeviceCaps", 0};
  static const char* const mon[] = {"InitializePrintMonitor2", 0};
  const char* dir = argc > 1 ? argv[1] : ".";
  char path[MAX_PATH];
  int bad = 0;
  snprintf(path, sizeof path, "%s\\lbldrv6.dll", dir);
  bad |= check(path, render);
  snprintf(path, sizeof path, "%s\\lbldrv6ui.dll", dir);
  bad |= check(path, ui);
  snprintf(path, sizeof path, "%s\\lblmon.dll", dir);
  bad |= check(path, mon);
  return bad;
}
