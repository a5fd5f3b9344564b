// The module loader (the project's shared libraries opened by their Windows names) and the job
// runner that drives a printer graphics driver through one document as GDI and the spooler do.
#include <algorithm>
#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <map>

#include "internal.h"
#include "winsim/printpath.h"

using namespace winsim::detail;

namespace {

struct Loaded {
  void* dl = nullptr;
  int refs = 0;
};

std::map<HMODULE, Loaded>& Modules() {
  static auto* m = new std::map<HMODULE, Loaded>;
  return *m;
}

using DllMainFn = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

// "LblDrv6.DLL" -> "lbldrv6.so"; a path keeps only its last component.
std::string HostFileName(const std::u16string& name) {
  std::u16string base = name;
  size_t slash = base.find_last_of(u"\\/");
  if (slash != std::u16string::npos) base.erase(0, slash + 1);
  std::string n = ToUtf8(base);
  for (auto& c : n)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (n.size() > 4 && n.compare(n.size() - 4, 4, ".dll") == 0) n.erase(n.size() - 4);
  return n + ".so";
}

std::vector<std::string> SearchDirs() {
  std::vector<std::string> dirs;
  if (const char* env = getenv("WINSIM_MODULE_PATH")) {
    std::string s(env);
    size_t start = 0;
    while (start <= s.size()) {
      size_t end = s.find(':', start);
      if (end == std::string::npos) end = s.size();
      if (end > start) dirs.push_back(s.substr(start, end - start));
      start = end + 1;
    }
  }
  dirs.push_back(winsim::ModuleDirectory());
  return dirs;
}

// Function pointers of the DDI table are stored as PFN; the cast goes through the generic
// function pointer type, as the engine does with the table.
template <class Fn>
Fn DdiFunction(const DRVENABLEDATA& ded, ULONG index) {
  for (ULONG i = 0; i < ded.c; ++i)
    if (ded.pdrvfn[i].iFunc == index) return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(ded.pdrvfn[i].pfn));
  return nullptr;
}

std::string Failed(const char* what) {
  return std::string(what) + " failed (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

namespace winsim {

std::string ModuleDirectory() {
  // The folder libwinsim.so was loaded from: the modules sit beside it, in the build tree as where
  // it is installed.
  static const std::string dir = [] {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) || !info.dli_fname) return std::string(".");
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  }();
  return dir;
}

HMODULE LoadDriverModule(const std::u16string& name, std::string* error) {
  HMODULE handle = RegisterModule(name);
  {
    Guard g(Mutex());
    auto it = Modules().find(handle);
    if (it != Modules().end()) {
      ++it->second.refs;
      return handle;
    }
  }
  const std::string file = HostFileName(name);
  std::string tried;
  void* dl = nullptr;
  for (const auto& dir : SearchDirs()) {
    std::string path = dir + "/" + file;
    dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl) break;
    const char* e = dlerror();
    tried += "\n  " + (e ? std::string(e) : path);
  }
  if (!dl) {
    if (error) *error = "cannot load module " + file + (tried.empty() ? " (no module directory)" : ":" + tried);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // The module's own resources, now that the dynamic loader's lock is released (see WinsimAttachModule).
  if (auto attach = reinterpret_cast<void (*)()>(dlsym(dl, "WinsimAttachModule"))) attach();
  // Not under the lock: DllMain may call back into the machine from other threads' view.
  if (auto entry = reinterpret_cast<DllMainFn>(dlsym(dl, "DllMain"))) {
    if (!entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_ATTACH, nullptr)) {
      dlclose(dl);
      if (error) *error = "DllMain of " + file + " failed";
      SetLastError(ERROR_DLL_INIT_FAILED);
      return nullptr;
    }
  }
  Guard g(Mutex());
  Modules()[handle] = Loaded{dl, 1};
  return handle;
}

void* GetModuleProc(HMODULE module, const char* name) {
  void* dl = nullptr;
  {
    Guard g(Mutex());
    auto it = Modules().find(module);
    if (it != Modules().end()) dl = it->second.dl;
  }
  if (!dl || !name) {
    SetLastError(dl ? ERROR_INVALID_PARAMETER : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* proc = dlsym(dl, name);
  if (!proc) SetLastError(ERROR_PROC_NOT_FOUND);
  return proc;
}

bool UnloadDriverModule(HMODULE module) {
  void* dl = nullptr;
  {
    Guard g(Mutex());
    auto it = Modules().find(module);
    if (it == Modules().end()) return false;
    if (--it->second.refs > 0) return true;
    dl = it->second.dl;
    Modules().erase(it);
  }
  if (auto entry = reinterpret_cast<DllMainFn>(dlsym(dl, "DllMain")))
    entry(reinterpret_cast<HINSTANCE>(module), DLL_PROCESS_DETACH, nullptr);
  RemoveResources(module);
  dlclose(dl);
  return true;
}

}  // namespace winsim

extern "C" {

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  HMODULE found = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info{};
    if (!lpModuleName || !dladdr(reinterpret_cast<const void*>(lpModuleName), &info) || !info.dli_fbase) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    Guard g(Mutex());
    for (auto& [handle, loaded] : Modules()) {
      link_map* map = nullptr;
      if (dlinfo(loaded.dl, RTLD_DI_LINKMAP, &map) == 0 && map &&
          reinterpret_cast<void*>(map->l_addr) == info.dli_fbase) {
        found = handle;
        if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) ++loaded.refs;
        break;
      }
    }
  } else {
    found = GetModuleHandleW(lpModuleName);
    if (!found) return FALSE;
    Guard g(Mutex());
    auto it = Modules().find(found);
    if (it != Modules().end() && !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) ++it->second.refs;
  }
  *phModule = found ? found : GetModuleHandleW(nullptr);  // code of the program itself
  return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (!hLibModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    Guard g(Mutex());
    if (!Modules().count(hLibModule)) return TRUE;  // the process module and registered names stay
  }
  return winsim::UnloadDriverModule(hLibModule) ? TRUE : FALSE;
}

}  // extern "C"

namespace winsim {

JobResult RunJob(const JobSpec& spec) {
  JobResult r;
  struct Spooled {
    explicit Spooled(bool keep) { KeepJobsSpooled(keep); }
    ~Spooled() { KeepJobsSpooled(false); }
  } spooled(!spec.despool);
  // The spooler keeps a rendering library loaded once a job has used it.
  HMODULE module = LoadDriverModule(spec.module, &r.error);
  if (!module) return r;

  auto enableDriver = reinterpret_cast<BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*)>(
      GetModuleProc(module, "DrvEnableDriver"));
  auto disableDriver = reinterpret_cast<VOID(APIENTRY*)(VOID)>(GetModuleProc(module, "DrvDisableDriver"));
  if (!enableDriver) {
    r.error = "DrvEnableDriver is not exported";
    return r;
  }
  DRVENABLEDATA ded{};
  if (!enableDriver(DDI_DRIVER_VERSION_NT5_01_SP1, sizeof ded, &ded)) {
    r.error = Failed("DrvEnableDriver");
    return r;
  }
  auto enablePdev = DdiFunction<decltype(&DrvEnablePDEV)>(ded, INDEX_DrvEnablePDEV);
  auto completePdev = DdiFunction<decltype(&DrvCompletePDEV)>(ded, INDEX_DrvCompletePDEV);
  auto disablePdev = DdiFunction<decltype(&DrvDisablePDEV)>(ded, INDEX_DrvDisablePDEV);
  auto enableSurface = DdiFunction<decltype(&DrvEnableSurface)>(ded, INDEX_DrvEnableSurface);
  auto disableSurface = DdiFunction<decltype(&DrvDisableSurface)>(ded, INDEX_DrvDisableSurface);
  auto startDoc = DdiFunction<decltype(&DrvStartDoc)>(ded, INDEX_DrvStartDoc);
  auto endDoc = DdiFunction<decltype(&DrvEndDoc)>(ded, INDEX_DrvEndDoc);
  auto startPage = DdiFunction<decltype(&DrvStartPage)>(ded, INDEX_DrvStartPage);
  auto sendPage = DdiFunction<decltype(&DrvSendPage)>(ded, INDEX_DrvSendPage);
  auto resetPdev = DdiFunction<decltype(&DrvResetPDEV)>(ded, INDEX_DrvResetPDEV);
  if (!enablePdev || !completePdev || !disablePdev || !enableSurface || !disableSurface || !startDoc || !endDoc ||
      !startPage || !sendPage) {
    r.error = "the driver's function table lacks a printing entry point";
    return r;
  }

  HANDLE printer = nullptr;
  std::u16string printerName = spec.printer;
  if (!OpenPrinterW(printerName.data(), &printer, nullptr)) {
    r.error = Failed("OpenPrinterW");
    return r;
  }
  // The driver gets its own copy, as from GDI: dmSize + dmDriverExtra bytes, which is all a driver may
  // read. The application's record is cut to that, or padded with zeros where it was shorter than it said.
  std::vector<uint8_t> devmode = spec.devmode;
  if (devmode.size() >= offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD)) {
    const auto* dm = reinterpret_cast<const DEVMODEW*>(devmode.data());
    devmode.resize(size_t{dm->dmSize} + dm->dmDriverExtra, 0);
  }
  HSURF patterns[HS_DDI_MAX] = {};
  std::u16string logAddress;
  HDEV hdev = CreateEngineDevice();
  DHPDEV pdev = enablePdev(devmode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devmode.data()),
                           logAddress.data(), HS_DDI_MAX, patterns, sizeof r.gdiInfo,
                           reinterpret_cast<ULONG*>(&r.gdiInfo), sizeof r.devInfo, &r.devInfo, hdev,
                           printerName.data(), printer);
  if (!pdev) {
    r.error = Failed("DrvEnablePDEV");
    DeleteEngineDevice(hdev);
    ClosePrinter(printer);
    if (disableDriver) disableDriver();
    return r;
  }
  SetEngineDevicePdev(hdev, pdev);
  completePdev(pdev, hdev);

  HSURF surface = enableSurface(pdev);
  SURFOBJ* so = surface ? EngLockSurface(surface) : nullptr;
  if (!so) {
    r.error = Failed("DrvEnableSurface");
  } else {
    std::u16string document = spec.document;
    std::u16string datatype = u"RAW";
    DOC_INFO_1W info{document.data(), nullptr, datatype.data()};
    r.jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
    if (r.jobId == 0) {
      r.error = Failed("StartDocPrinterW");
    } else if (!startDoc(so, document.data(), r.jobId)) {
      r.error = Failed("DrvStartDoc");
      AbortPrinter(printer);
    } else {
      for (int page = 0; page < spec.pages && r.error.empty(); ++page) {
        if (!startPage(so)) {
          r.error = Failed("DrvStartPage");
          break;
        }
        if (spec.draw) {
          PageSurface ps{static_cast<uint8_t*>(so->pvScan0), so->sizlBitmap.cx, so->sizlBitmap.cy, so->lDelta};
          spec.draw(page, ps);
        }
        if (!sendPage(so)) {
          r.error = Failed("DrvSendPage");
          break;
        }
        const bool reset = std::find(spec.resetAfterPages.begin(), spec.resetAfterPages.end(), page + 1) !=
                           spec.resetAfterPages.end();
        if (!reset || page + 1 >= spec.pages) continue;
        // ResetDC between pages: GDI enables a PDEV for the new DEVMODE, lets the driver carry its
        // state over with DrvResetPDEV, drops the old PDEV and its surface, and goes on with the
        // document on the new one, which gets a DrvStartDoc of the same job.
        HDEV nextHdev = CreateEngineDevice();
        GDIINFO gi{};
        DEVINFO di{};
        DHPDEV next = enablePdev(devmode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devmode.data()),
                                 logAddress.data(), HS_DDI_MAX, patterns, sizeof gi, reinterpret_cast<ULONG*>(&gi),
                                 sizeof di, &di, nextHdev, printerName.data(), printer);
        if (!next) {
          r.error = Failed("DrvEnablePDEV (ResetDC)");
          DeleteEngineDevice(nextHdev);
          break;
        }
        SetEngineDevicePdev(nextHdev, next);
        completePdev(next, nextHdev);
        const bool carried = !resetPdev || resetPdev(pdev, next);
        EngUnlockSurface(so);
        disableSurface(pdev);
        disablePdev(pdev);
        DeleteEngineDevice(hdev);
        pdev = next;
        hdev = nextHdev;
        surface = enableSurface(pdev);
        so = surface ? EngLockSurface(surface) : nullptr;
        if (!carried) {
          r.error = Failed("DrvResetPDEV");
        } else if (!so) {
          r.error = Failed("DrvEnableSurface (ResetDC)");
        } else if (!startDoc(so, document.data(), r.jobId)) {
          r.error = Failed("DrvStartDoc (ResetDC)");
        }
      }
      if (r.error.empty()) {
        if (!endDoc(so, 0)) r.error = Failed("DrvEndDoc");
        EndDocPrinter(printer);
      } else {
        if (so) endDoc(so, ED_ABORTDOC);
        AbortPrinter(printer);
      }
    }
    if (so) EngUnlockSurface(so);
  }
  if (surface) disableSurface(pdev);
  disablePdev(pdev);
  DeleteEngineDevice(hdev);
  ClosePrinter(printer);
  if (disableDriver) disableDriver();

  for (const auto& job : SpoolJobs(spec.printer)) {
    if (job.id == r.jobId) {
      r.output = job.data;
      r.writes = job.writes;
    }
  }
  r.ok = r.error.empty();
  return r;
}

JobResult RunJob(const std::u16string& printer, const std::vector<uint8_t>& devmode, int pages, PageDrawer draw) {
  JobSpec spec;
  spec.printer = printer;
  spec.devmode = devmode;
  spec.pages = pages;
  spec.draw = std::move(draw);
  return RunJob(spec);
}

}  // namespace winsim
