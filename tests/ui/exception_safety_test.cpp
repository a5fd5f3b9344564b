// No exception leaves lbldrv6ui. This program's operator new can be set, for the calling thread, to
// throw at its Nth call: every entry point is run once to count its allocations, then once per
// allocation with that one throwing (std::bad_alloc, then an exception of another kind). The call must
// come back with either its normal result, or its documented failure and the reason: the last error
// ERROR_NOT_ENOUGH_MEMORY for bad_alloc, a debug line for anything else.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "doc_sheet.h"
#include "ui/caps.h"
#include "ui/guard.h"
#include "ui/sheets.h"
#include "ui_fixture.h"

namespace {

enum class Throw { Nothing, BadAlloc, Other };

// The calling thread's allocation hook: off unless a test armed it.
struct AllocationHook {
  bool armed = false;
  unsigned count = 0;
  unsigned throwAt = 0;  // 0: count only
  Throw kind = Throw::Nothing;
  bool thrown = false;
};
thread_local AllocationHook t_hook;

void* Allocate(std::size_t size) {
  AllocationHook& h = t_hook;
  if (h.armed && ++h.count == h.throwAt) {
    h.armed = false;  // one throw per run: what the guard then does may allocate again
    h.thrown = true;
    if (h.kind == Throw::BadAlloc) throw std::bad_alloc();
    throw std::runtime_error("injected");
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace uitest {
namespace {

struct Outcome {
  intptr_t result;
  DWORD error;
  bool thrown;
  bool escaped;
};

// Runs `call` with the hook set to throw `kind` at allocation `at` (0: none).
Outcome RunWith(const std::function<intptr_t()>& call, unsigned at, Throw kind, unsigned* count = nullptr) {
  t_hook = AllocationHook{true, 0, at, kind, false};
  Outcome o{0, 0, false, false};
  try {
    o.result = call();
  } catch (...) {
    o.escaped = true;
  }
  o.error = GetLastError();
  if (count) *count = t_hook.count;
  o.thrown = t_hook.thrown;
  t_hook = AllocationHook{};
  return o;
}

class NoExceptionEscapes : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Install();
    name = ToWString(kPrinter.c_str());
    ASSERT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  }
  WString name;

  // Every allocation of `call` throws in turn, of both kinds. `reset` runs after each call (undoing
  // what a half-done call may leave behind).
  void EveryAllocationThrows(const char* what, intptr_t failure, const std::function<intptr_t()>& call,
                             const std::function<void()>& reset = [] {}) {
    unsigned count = 0;
    const Outcome normal = RunWith(call, 0, Throw::Nothing, &count);
    reset();
    ASSERT_FALSE(normal.escaped) << what;
    ASSERT_NE(normal.result, failure) << what << ": the call must succeed when nothing throws";
    ASSERT_GT(count, 0u) << what;
    for (Throw kind : {Throw::BadAlloc, Throw::Other}) {
      for (unsigned at = 1; at <= count; ++at) {
        winsim::ClearDebugLines();
        const Outcome o = RunWith(call, at, kind);
        reset();
        ASSERT_FALSE(o.escaped) << what << ": allocation " << at;
        if (!o.thrown || o.result == normal.result) continue;  // absorbed on the way: the call did its work
        ASSERT_EQ(o.result, failure) << what << ": allocation " << at;
        if (kind == Throw::BadAlloc) {
          EXPECT_EQ(o.error, DWORD(ERROR_NOT_ENOUGH_MEMORY)) << what << ": allocation " << at;
        } else {
          EXPECT_EQ(o.error, DWORD(ERROR_INTERNAL_ERROR)) << what << ": allocation " << at;
          const auto lines = winsim::DebugLines();
          ASSERT_FALSE(lines.empty()) << what << ": allocation " << at;
          EXPECT_EQ(lines.back(), std::string("lbldrv6ui: exception in ") + what + ": injected\n");
        }
      }
    }
  }
};

TEST_F(NoExceptionEscapes, CapabilityQueries) {
  std::vector<WCHAR> names(64 * 64);
  EveryAllocationThrows("DrvDeviceCapabilities", intptr_t(kCapsError), [&] {
    return intptr_t(DrvDeviceCapabilities(printer, name.data(), DC_PAPERNAMES, names.data(), nullptr));
  });
  EveryAllocationThrows("DrvSplDeviceCaps", intptr_t(kCapsError), [&] {
    return intptr_t(DrvSplDeviceCaps(printer, name.data(), DC_MEDIAREADY, names.data(), DWORD(names.size()), nullptr));
  });
}

TEST_F(NoExceptionEscapes, SettingsAndConversion) {
  PrinterDevmode out{};
  EveryAllocationThrows("DrvDocumentPropertySheets", -1, [&] {
    DOCUMENTPROPERTYHEADER h = DocumentHeader(printer, name, nullptr, &out, sizeof out, DM_COPY);
    return intptr_t(DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&h)));
  });
  EveryAllocationThrows("DrvConvertDevMode", FALSE, [&] {
    LONG size = sizeof out;
    return intptr_t(DrvConvertDevMode(name.data(), nullptr, &out.dm, &size, CDM_DRIVER_DEFAULT));
  });
}

TEST_F(NoExceptionEscapes, PrinterEventsAndTheJobCheck) {
  EveryAllocationThrows("DrvPrinterEvent", FALSE,
                        [&] { return intptr_t(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0)); });
  EveryAllocationThrows("DrvUpgradePrinter", FALSE, [&] {
    DRIVER_UPGRADE_INFO_1W info{name.data(), nullptr};
    return intptr_t(DrvUpgradePrinter(1, reinterpret_cast<LPBYTE>(&info)));
  });
  PrinterDevmode job{};
  PrinterDevmode defaults{};
  LONG size = sizeof defaults;
  ASSERT_TRUE(DrvConvertDevMode(name.data(), nullptr, &defaults.dm, &size, CDM_DRIVER_DEFAULT));
  std::vector<WCHAR> text(256);
  EveryAllocationThrows("DevQueryPrintEx", FALSE, [&] {
    job = defaults;
    DEVQUERYPRINT_INFO info{};
    info.cbSize = sizeof info;
    info.hPrinter = printer;
    info.pDevMode = &job.dm;
    info.pszErrorStr = text.data();
    info.cchErrorStr = DWORD(text.size());
    return intptr_t(DevQueryPrintEx(&info));
  });
}

// The sheet functions as compstui calls them: INIT adds the sheet and its pages (here to a host that
// only counts them), DESTROY frees what INIT made, whether INIT finished or not.
LONG_PTR CALLBACK CountingHost(HANDLE, UINT, LPARAM, LPARAM) { return 1; }

TEST_F(NoExceptionEscapes, SheetFunctions) {
  for (bool document : {true, false}) {
    PrinterDevmode out{};
    DOCUMENTPROPERTYHEADER doc = DocumentHeader(printer, name, nullptr, &out, sizeof out, DM_UPDATE | DM_COPY);
    DEVICEPROPERTYHEADER dev{sizeof(DEVICEPROPERTYHEADER), 0, printer, name.data()};
    PROPSHEETUI_INFO info{};
    auto sheetFunction = document ? DrvDocumentPropertySheets : DrvDevicePropertySheets;
    auto destroy = [&] {
      if (!info.UserData) return;
      info.Reason = PROPSHEETUI_REASON_DESTROY;
      sheetFunction(&info, 0);
    };
    EveryAllocationThrows(
        document ? "DrvDocumentPropertySheets" : "DrvDevicePropertySheets", -1,
        [&] {
          info = PROPSHEETUI_INFO{};
          info.cbSize = sizeof info;
          info.Reason = PROPSHEETUI_REASON_INIT;
          info.hComPropSheet = reinterpret_cast<HANDLE>(1);
          info.pfnComPropSheet = CountingHost;
          info.lParamInit = document ? reinterpret_cast<LPARAM>(&doc) : reinterpret_cast<LPARAM>(&dev);
          return intptr_t(sheetFunction(&info, 0));
        },
        destroy);
  }
}

// Every page of both sheets, made from its template with its procedure as the sheet registers it:
// each allocation of its WM_INITDIALOG throws in turn; the page then still closes cleanly.
struct PageRun {
  DLGPROC proc;
  unsigned throwAt;
  Throw kind;
  unsigned count;
  bool thrown;
  bool escaped;
  DWORD error;
};
thread_local PageRun* t_page = nullptr;

INT_PTR CALLBACK Forward(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  PageRun* run = t_page;
  if (message != WM_INITDIALOG) return run->proc(dlg, message, wParam, lParam);
  t_hook = AllocationHook{true, 0, run->throwAt, run->kind, false};
  INT_PTR result = FALSE;
  try {
    result = run->proc(dlg, message, wParam, lParam);
  } catch (...) {
    run->escaped = true;
  }
  run->error = GetLastError();
  run->count = t_hook.count;
  run->thrown = t_hook.thrown;
  t_hook = AllocationHook{};
  return result;
}

TEST_F(NoExceptionEscapes, PageProcedures) {
  PrinterContext* ctx = MapPrinter(printer, nullptr, nullptr, kMapHelpFile | kMapSheetArea);
  ASSERT_NE(ctx, nullptr);
  ctx->SheetFlags = kSheetDocument | kSheetMayWrite;
  int documentCount = 0, deviceCount = 0;
  const SheetPage* documentPages = DocumentSheetPages(&documentCount);
  const SheetPage* devicePages = DeviceSheetPages(&deviceCount);
  std::vector<SheetPage> pages(documentPages, documentPages + documentCount);
  pages.insert(pages.end(), devicePages, devicePages + deviceCount);
  for (const SheetPage& page : pages) {
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.hInstance = UiModule();
    psp.pszTemplate = MAKEINTRESOURCEW(page.Template);
    psp.lParam = reinterpret_cast<LPARAM>(ctx);
    auto open = [&](unsigned at, Throw kind) {
      PageRun run{page.Proc, at, kind, 0, false, false, 0};
      t_page = &run;
      HWND dlg = CreateDialogParamW(UiModule(), psp.pszTemplate, nullptr, Forward, reinterpret_cast<LPARAM>(&psp));
      EXPECT_NE(dlg, nullptr) << page.Template;
      if (dlg) DestroyWindow(dlg);
      t_page = nullptr;
      return run;
    };
    const PageRun normal = open(0, Throw::Nothing);
    ASSERT_FALSE(normal.escaped) << page.Template;
    ASSERT_GT(normal.count, 0u) << page.Template;
    for (Throw kind : {Throw::BadAlloc, Throw::Other})
      for (unsigned at = 1; at <= normal.count; ++at) {
        const PageRun run = open(at, kind);
        ASSERT_FALSE(run.escaped) << page.Template << ": allocation " << at;
        if (run.thrown) {
          EXPECT_EQ(run.error, DWORD(kind == Throw::BadAlloc ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INTERNAL_ERROR))
              << page.Template << ": allocation " << at;
        }
      }
  }
  UnmapPrinter(ctx);
}

// A dialog procedure that throws, through the guard every page of both sheets and the stock editor use.
INT_PTR CALLBACK ThrowsBadAlloc(HWND, UINT, WPARAM, LPARAM) { throw std::bad_alloc(); }
INT_PTR CALLBACK ThrowsOther(HWND, UINT, WPARAM, LPARAM) { throw 42; }
INT_PTR CALLBACK Handles(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(GuardedProcedures, AThrowIsAnUnhandledMessageWithItsReason) {
  winsim::Reset();
  SetLastError(0);
  EXPECT_EQ(GuardedDialogProc<ThrowsBadAlloc>(nullptr, WM_COMMAND, 0, 0), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(winsim::DebugLines().empty());
  EXPECT_EQ(GuardedDialogProc<ThrowsOther>(nullptr, WM_COMMAND, 0, 0), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNAL_ERROR));
  EXPECT_EQ(winsim::DebugLines(), std::vector<std::string>{"lbldrv6ui: exception in dialog procedure: not a standard exception\n"});
  EXPECT_EQ(GuardedDialogProc<Handles>(nullptr, WM_INITDIALOG, 0, 0), TRUE);
}

}  // namespace
}  // namespace uitest
