// No exception leaves the rendering DLL: every allocation of a whole job throws in turn, and each entry
// point either does its work or fails with ERROR_NOT_ENOUGH_MEMORY; any other exception is a failure
// with a debug line.
#include <algorithm>
#include <functional>

#include "common/throwing_new.h"
#include "driver_fixture.h"

using namespace drvtest;

namespace {

class EntryExceptionTest : public DriverTest {
 protected:
  void TearDown() override {
    lbltest::DisarmNewFault();
    DriverTest::TearDown();
  }

  // One entry point call of the job, the only code whose allocations count: false when it failed. An
  // exception that escapes is recorded.
  bool Call(const char* what, const std::function<BOOL()>& entry) {
    BOOL ok = FALSE;
    lbltest::ResumeNewFault();
    try {
      ok = entry();
    } catch (...) {
      lbltest::PauseNewFault();
      escaped.push_back(what);
      return false;
    }
    lbltest::PauseNewFault();
    if (!ok && failedEntry.empty()) {
      failedEntry = what;
      error = GetLastError();
    }
    return ok != FALSE;
  }

  // A job of two pages through the entry points, as GDI and the spooler call them; the job stops at the
  // first failure, and what was made is released.
  void RunJob(uint32_t language) {
    lbltest::PauseNewFault();
    PrinterDevmode dm = Defaults();
    dm.PrintLanguage = language;
    failedEntry.clear();
    error = 0;
    HDEV hdev = winsim::CreateEngineDevice();
    GDIINFO gi;
    DEVINFO di;
    HSURF patterns[HS_DDI_MAX];
    WString name = W(u"Label One");
    DHPDEV pdev = nullptr;
    HSURF surface = nullptr;
    bool spooling = false;
    [&] {
      if (!Call("DrvEnablePDEV", [&] {
            pdev = DrvEnablePDEV(&dm.dm, nullptr, HS_DDI_MAX, patterns, sizeof gi, reinterpret_cast<ULONG*>(&gi),
                                 sizeof di, &di, hdev, name.data(), printer);
            return pdev != nullptr;
          }))
        return;
      winsim::SetEngineDevicePdev(hdev, pdev);
      DrvCompletePDEV(pdev, hdev);
      if (!Call("DrvEnableSurface", [&] { return (surface = DrvEnableSurface(pdev)) != nullptr; })) return;
      SURFOBJ* so = EngLockSurface(surface);
      WString doc = W(u"Label");
      DOC_INFO_1W info{doc.data(), nullptr, nullptr};
      const DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
      spooling = job != 0;
      spoolJob = job;
      if (!Call("DrvStartDoc", [&] { return DrvStartDoc(so, doc.data(), job); })) return;
      for (int page = 0; page < 2; ++page) {
        if (page == 1) {
          // Bytes of the application's own between the pages, then ResetDC: the rest of the job on a new PDEV,
          // in the order GDI calls the driver.
          const BYTE raw[] = {4, 0, 'C', 'L', 'S', '\n'};
          if (!Call("DrvEscape", [&] { return DrvEscape(so, PASSTHROUGH, sizeof raw, const_cast<BYTE*>(raw), 0, nullptr) == 4; }))
            return;
          HDEV hdev2 = winsim::CreateEngineDevice();
          DHPDEV pdev2 = nullptr;
          const bool enabled = Call("DrvEnablePDEV", [&] {
            pdev2 = DrvEnablePDEV(&dm.dm, nullptr, HS_DDI_MAX, patterns, sizeof gi, reinterpret_cast<ULONG*>(&gi),
                                  sizeof di, &di, hdev2, name.data(), printer);
            return pdev2 != nullptr;
          });
          if (!enabled) {
            winsim::DeleteEngineDevice(hdev2);
            return;
          }
          winsim::SetEngineDevicePdev(hdev2, pdev2);
          DrvCompletePDEV(pdev2, hdev2);
          const bool reset = Call("DrvResetPDEV", [&] { return DrvResetPDEV(pdev, pdev2); });
          // Whatever DrvResetPDEV answered, GDI goes on with one of the two PDEVs and lets go of the other.
          DHPDEV& gone = reset ? pdev : pdev2;
          HDEV& goneDevice = reset ? hdev : hdev2;
          if (reset) {
            Call("DrvDisableSurface", [&] { return DrvDisableSurface(pdev), TRUE; });
            surface = nullptr;
          }
          Call("DrvDisablePDEV", [&] { return DrvDisablePDEV(gone), TRUE; });
          winsim::DeleteEngineDevice(goneDevice);
          if (!reset) return;
          pdev = pdev2;
          hdev = hdev2;
          if (!Call("DrvEnableSurface", [&] { return (surface = DrvEnableSurface(pdev)) != nullptr; })) return;
          so = EngLockSurface(surface);
          if (!Call("DrvStartDoc", [&] { return DrvStartDoc(so, doc.data(), job); })) return;
        }
        if (!Call("DrvStartPage", [&] { return DrvStartPage(so); })) return;
        auto* bits = static_cast<uint8_t*>(so->pvScan0);
        std::fill(bits, bits + so->lDelta * 8, uint8_t(0));  // a black bar
        if (!Call("DrvSendPage", [&] { return DrvSendPage(so); })) return;
      }
      Call("DrvEndDoc", [&] { return DrvEndDoc(so, 0); });
    }();
    if (spooling) EndDocPrinter(printer);
    if (surface) Call("DrvDisableSurface", [&] { return DrvDisableSurface(pdev), TRUE; });
    if (pdev) Call("DrvDisablePDEV", [&] { return DrvDisablePDEV(pdev), TRUE; });
    winsim::DeleteEngineDevice(hdev);
  }

  // What the spooler received for the last job.
  std::vector<uint8_t> Spooled() const {
    for (const auto& job : winsim::SpoolJobs(u"Label One"))
      if (job.id == spoolJob) return job.data;
    return {};
  }

  std::vector<std::string> escaped;
  std::string failedEntry;
  DWORD error = 0;
  DWORD spoolJob = 0;
};

TEST_F(EntryExceptionTest, EveryAllocationOfAJobMayThrow) {
  for (uint32_t language : {kLangTspl, kLangZpl, kLangTwl}) {
    SCOPED_TRACE(language);
    Install();
    RunJob(language);  // the first job makes what stays (the printer's record, the page folder)
    lbltest::ArmNewFault(0);
    RunJob(language);
    const unsigned allocations = lbltest::NewCount();
    lbltest::DisarmNewFault();
    ASSERT_TRUE(failedEntry.empty()) << failedEntry;
    ASSERT_GT(allocations, 3u);
    const std::vector<uint8_t> whole = Spooled();
    ASSERT_FALSE(whole.empty());

    unsigned failures = 0;
    for (unsigned n = 1; n <= allocations; ++n) {
      SCOPED_TRACE(n);
      lbltest::ArmNewFault(n);
      RunJob(language);
      const bool fired = lbltest::NewFaultFired();
      lbltest::DisarmNewFault();
      EXPECT_TRUE(escaped.empty()) << "an exception left " << escaped.front();
      escaped.clear();
      if (!failedEntry.empty()) {
        ++failures;
        EXPECT_TRUE(fired) << failedEntry << " failed without a fault";
        EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY)) << failedEntry;
      } else {
        // Every entry point said it worked: then the job is whole, whatever allocation failed on the way.
        EXPECT_EQ(Spooled(), whole) << "a job reported as printed lost or changed bytes";
      }
    }
    EXPECT_GT(failures, 0u) << "no allocation was one an entry point needed";
  }
}

TEST_F(EntryExceptionTest, AnyOtherExceptionIsAFailureAndADebugLine) {
  winsim::ClearDebugLines();
  {
    lbltest::ScopedNewFault fault(1, false, lbltest::NewFault::kRuntimeError);
    RunJob(kLangTspl);
  }
  EXPECT_TRUE(escaped.empty());
  ASSERT_FALSE(failedEntry.empty());
  EXPECT_EQ(error, DWORD(ERROR_INTERNAL_ERROR));
  const auto lines = winsim::DebugLines();
  const std::string expected = failedEntry + ": exception: test fault\r\n";
  EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  // The driver goes on: the next job prints.
  RunJob(kLangTspl);
  EXPECT_TRUE(failedEntry.empty()) << failedEntry;
}

}  // namespace
