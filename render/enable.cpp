// The entry points of lbldrv6: the three exports and the DDI functions that
// DrvEnableDriver hands to GDI. Each validates its arguments and the PDEV and leaves the work to
// the PDEV, job and output functions; the entry points that do work catch every exception.
#include <algorithm>
#include <cstring>

#include "common/entry_guard.h"
#include "common/platform.h"
#include "render/job.h"
#include "render/module.h"
#include "render/output.h"
#include "render/pdev.h"

namespace {

constexpr ULONG kDriverVersion = DDI_DRIVER_VERSION_NT4;
constexpr ULONG kMinEngineVersion = DDI_DRIVER_VERSION_NT4;

// Table entries are stored as PFN; the cast goes through the generic function pointer type, which
// converts to and from any function pointer.
template <class Fn>
PFN Entry(Fn fn) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}

DRVFN g_functions[] = {
    {INDEX_DrvDisableDriver, Entry(&DrvDisableDriver)},   {INDEX_DrvEnablePDEV, Entry(&DrvEnablePDEV)},
    {INDEX_DrvResetPDEV, Entry(&DrvResetPDEV)},           {INDEX_DrvCompletePDEV, Entry(&DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, Entry(&DrvDisablePDEV)},       {INDEX_DrvEnableSurface, Entry(&DrvEnableSurface)},
    {INDEX_DrvDisableSurface, Entry(&DrvDisableSurface)}, {INDEX_DrvSendPage, Entry(&DrvSendPage)},
    {INDEX_DrvStartPage, Entry(&DrvStartPage)},           {INDEX_DrvStartDoc, Entry(&DrvStartDoc)},
    {INDEX_DrvEndDoc, Entry(&DrvEndDoc)},                 {INDEX_DrvEscape, Entry(&DrvEscape)},
};
static_assert(sizeof g_functions / sizeof g_functions[0] == 12);

}  // namespace

extern "C" {

// Each entry point leaves its work to GuardEntry: no exception reaches GDI or the spooler.

BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbBuf < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const DWORD userMode = TRUE;
  std::memcpy(pBuffer, &userMode, sizeof userMode);
  return TRUE;
}

BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  if (iEngineVersion < kMinEngineVersion) {
    SetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  if (cj < sizeof(DRVENABLEDATA) || !pded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pded->iDriverVersion = kDriverVersion;
  pded->c = sizeof g_functions / sizeof g_functions[0];
  pded->pdrvfn = g_functions;
  return TRUE;
}

VOID APIENTRY DrvDisableDriver(VOID) {}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                              ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV, LPWSTR pwszDeviceName,
                              HANDLE hDriver) {
  return GuardEntry("DrvEnablePDEV", DHPDEV(nullptr), [&]() -> DHPDEV {
    Pdev* pdev = CreatePdev(hDriver, pwszDeviceName, pdm, RenderModule());
    if (!pdev) return nullptr;
    GDIINFO gi;
    DEVINFO di;
    FillGdiInfo(pdev, &gi);
    if (!FillDevInfo(pdev, &di)) {
      DestroyPdev(pdev);
      return nullptr;
    }
    if (pdevcaps) std::memcpy(pdevcaps, &gi, std::min<size_t>(cjCaps, sizeof gi));
    if (pdi) std::memcpy(pdi, &di, std::min<size_t>(cjDevInfo, sizeof di));
    if (phsurfPatterns && cPat) std::memset(phsurfPatterns, 0, cPat * sizeof(HSURF));
    return reinterpret_cast<DHPDEV>(pdev);
  });
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (Pdev* pdev = ValidPdev(dhpdev)) pdev->EngineDevice = hdev;
}

BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  return GuardEntry("DrvResetPDEV", BOOL(FALSE), [&]() -> BOOL {
    Pdev* before = ValidPdev(dhpdevOld);
    Pdev* after = before ? ValidPdev(dhpdevNew) : nullptr;
    if (!after) return FALSE;
    // GDI frees the old PDEV next: what it buffered (the job header, pages) reaches the printer first.
    FlushOutput(before);
    const DEVMODEW& a = before->Settings.dm;
    const DEVMODEW& b = after->Settings.dm;
    if (a.dmDriverVersion != b.dmDriverVersion ||
        std::memcmp(a.dmDeviceName, b.dmDeviceName, sizeof a.dmDeviceName) != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    ShareCaptureFile(before, after);
    return TRUE;
  });
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
  GuardEntry("DrvDisablePDEV", [&] {
    if (Pdev* pdev = ValidPdev(dhpdev)) DestroyPdev(pdev);
  });
}

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  return GuardEntry("DrvEnableSurface", HSURF(nullptr), [&]() -> HSURF {
    Pdev* pdev = ValidPdev(dhpdev);
    return pdev ? EnableSurface(pdev) : nullptr;
  });
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  GuardEntry("DrvDisableSurface", [&] {
    if (Pdev* pdev = ValidPdev(dhpdev)) DisableSurface(pdev);
  });
}

BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  return GuardEntry("DrvStartDoc", BOOL(FALSE), [&]() -> BOOL {
    OutputDebugStringW(TEXT("Enter DrvStartDoc\r\n"));
    Pdev* pdev = PdevForSurface(pso);
    return pdev ? StartDocument(pdev, pwszDocName, dwJobId) : FALSE;
  });
}

BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
  return GuardEntry("DrvStartPage", BOOL(FALSE), [&]() -> BOOL {
    OutputDebugStringW(TEXT("Enter DrvStartPage\r\n"));
    Pdev* pdev = PdevForSurface(pso);
    return pdev ? StartPage(pdev) : FALSE;
  });
}

BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
  return GuardEntry("DrvSendPage", BOOL(FALSE), [&]() -> BOOL {
    OutputDebugStringW(TEXT("Enter DrvSendPage\r\n"));
    Pdev* pdev = PdevForSurface(pso);
    return pdev ? SendDocumentPage(pdev, pso) : FALSE;
  });
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG) {
  return GuardEntry("DrvEndDoc", BOOL(FALSE), [&]() -> BOOL {
    OutputDebugStringW(TEXT("Enter DrvEndDoc\r\n"));
    Pdev* pdev = PdevForSurface(pso);
    if (!pdev) {
      // An aborted job still lets go of its capture file, or the next job would write into it.
      if (Pdev* aborted = pso ? ValidPdev(pso->dhpdev) : nullptr) {
        CloseCaptureFile(aborted);
        SetLastError(ERROR_CANCELLED);
      }
      return FALSE;
    }
    return EndDocument(pdev);
  });
}

ULONG APIENTRY DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  return GuardEntry("DrvEscape", ULONG(0), [&]() -> ULONG {
    Pdev* pdev = pso ? ValidPdev(pso->dhpdev) : nullptr;
    if (!pdev) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    pdev->SurfObj = pso;
    return Escape(pdev, pso, iEsc, cjIn, pvIn, cjOut, pvOut);
  });
}

}  // extern "C"
