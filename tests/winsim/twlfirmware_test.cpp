// The simulated TWL printer's firmware model, driven as the printer tools drive it but straight through
// its device: vendor requests 3, 4, 5 and 7, update mode on the virtual clock, the file check, the restart,
// and ExitThread / FreeLibraryAndExitThread of the threads that end that way.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <usbprint.h>

#include "winsim/clock.h"
#include "winsim/machine.h"
#include "winsim/twlprinter.h"

namespace {

using winsim::TwlPrinterDevice;

class TwlFirmware : public ::testing::Test {
 protected:
  std::shared_ptr<TwlPrinterDevice> twl = std::make_shared<TwlPrinterDevice>();
  HANDLE device = INVALID_HANDLE_VALUE;
  void SetUp() override {
    winsim::Reset();
    winsim::UseVirtualClock();
    ASSERT_TRUE(winsim::AttachUsbPrinter(twl));
    std::u16string path = twl->InterfacePath();
    device = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
  }
  void TearDown() override { CloseHandle(device); }

  bool Get(uint8_t request, std::vector<uint8_t>* reply) {
    uint8_t in[64] = {request};
    uint8_t out[64] = {};
    DWORD got = 0;
    if (!DeviceIoControl(device, IOCTL_USBPRINT_VENDOR_GET_COMMAND, in, 64, out, 64, &got, nullptr)) return false;
    reply->assign(out, out + got);
    return true;
  }
  bool Set(uint8_t request) {
    uint8_t in[64] = {request};
    DWORD got = 0;
    return DeviceIoControl(device, IOCTL_USBPRINT_VENDOR_SET_COMMAND, in, 64, nullptr, 0, &got, nullptr);
  }
  uint8_t State() {
    std::vector<uint8_t> r;
    return Get(5, &r) && !r.empty() ? r[0] : 0xFF;
  }
  bool Send(const std::vector<uint8_t>& file) {
    for (size_t at = 0; at < file.size(); at += 1024) {
      DWORD n = DWORD(std::min<size_t>(1024, file.size() - at)), written = 0;
      if (!WriteFile(device, file.data() + at, n, &written, nullptr) || written != n) return false;
    }
    return true;
  }
  void EnterUpdateMode() {
    ASSERT_TRUE(Set(3));
    EXPECT_EQ(State(), 0) << "not before the switch delay";
    winsim::AdvanceClock(TwlPrinterDevice::kModeSwitchMs);
    ASSERT_EQ(State(), 1);
  }
};

TEST_F(TwlFirmware, AGoodFileIsCheckedAndInstalledAfterARestart) {
  twl->SetFirmware("V1.00", 0x1234);
  std::vector<uint8_t> r;
  ASSERT_TRUE(Get(7, &r));
  EXPECT_EQ(r, (std::vector<uint8_t>{0x34, 0x12}));
  ASSERT_TRUE(Get(2, &r));
  EXPECT_EQ(std::string(r.begin() + 5, r.end()), "V1.00");

  auto file = TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-T4 firmware", "V2.10", 5000);
  EnterUpdateMode();
  ASSERT_TRUE(Send(file));
  EXPECT_TRUE(twl->PrintedPages().empty()) << "firmware bytes are not print data";
  ASSERT_TRUE(Set(4));
  EXPECT_EQ(State(), 1 | (2 << 1)) << "checking";
  winsim::AdvanceClock(TwlPrinterDevice::kCheckMs);
  EXPECT_FALSE(Get(5, &r)) << "restarting: no answer";
  winsim::AdvanceClock(TwlPrinterDevice::kRestartMs);
  EXPECT_EQ(State(), 0);
  EXPECT_EQ(twl->FirmwareVersion(), "V2.10");
  EXPECT_EQ(twl->FirmwareChecksum(), uint16_t(file[89] | file[90] << 8));
  EXPECT_EQ(twl->FirmwareUpdates(), 1u);
  EXPECT_EQ(twl->FirmwareReceived(), file);
}

TEST_F(TwlFirmware, BadFilesLeaveThePrinterInUpdateMode) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    bool corrupt;
    uint8_t state;
  } cases[] = {
      {"another model", TwlPrinterDevice::MakeFirmwareFile("TW-Q9", "V2", 100), false, 1},
      {"no header", std::vector<uint8_t>(500, 'x'), false, 1},
      {"short", std::vector<uint8_t>(10, 'H'), false, 1},
      {"checksum", TwlPrinterDevice::MakeFirmwareFile("TW-T4", "V2", 100), true, 3},
  };
  EnterUpdateMode();
  for (auto& c : cases) {
    twl->CorruptFirmwareChecksum(c.corrupt);
    ASSERT_TRUE(Set(3));  // in update mode: a new file at once
    EXPECT_EQ(State(), 1) << c.what;
    ASSERT_TRUE(Send(c.file)) << c.what;
    ASSERT_TRUE(Set(4));
    winsim::AdvanceClock(TwlPrinterDevice::kCheckMs + TwlPrinterDevice::kRestartMs);
    EXPECT_EQ(State(), 1 | (c.state << 1)) << c.what;
    EXPECT_EQ(twl->FirmwareUpdates(), 0u) << c.what;
  }
}

TEST_F(TwlFirmware, InjectedFaults) {
  twl->NeverEnterUpdateMode(true);
  ASSERT_TRUE(Set(3));
  winsim::AdvanceClock(10000);
  EXPECT_EQ(State(), 0);
  twl->NeverEnterUpdateMode(false);

  twl->StayInUpdateMode(true);
  EnterUpdateMode();
  ASSERT_TRUE(Send(TwlPrinterDevice::MakeFirmwareFile("TW-T4", "V9", 100)));
  ASSERT_TRUE(Set(4));
  winsim::AdvanceClock(TwlPrinterDevice::kCheckMs + TwlPrinterDevice::kRestartMs + 5000);
  EXPECT_EQ(State(), 1) << "still in update mode, idle";
  EXPECT_EQ(twl->FirmwareUpdates(), 0u);

  twl->SetOffline(true);
  std::vector<uint8_t> r;
  EXPECT_FALSE(Get(5, &r));
  EXPECT_FALSE(Set(3));
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(device, "x", 1, &written, nullptr));
}

DWORD WINAPI EndsEarly(LPVOID) {
  ExitThread(7);
}

TEST(ThreadExit, ExitThreadAndFreeLibraryAndExitThreadEndTheThreadWithTheirCode) {
  winsim::Reset();
  HANDLE t = CreateThread(nullptr, 0, EndsEarly, nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(t);

  // Code of the program itself belongs to the process module, which a reference does not unload.
  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&EndsEarly), &self));
  EXPECT_EQ(self, GetModuleHandleW(nullptr));
  t = CreateThread(nullptr, 0, [](LPVOID m) -> DWORD { FreeLibraryAndExitThread(static_cast<HMODULE>(m), 9); }, self, 0,
                   nullptr);
  ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 9u);
  CloseHandle(t);
}

}  // namespace
