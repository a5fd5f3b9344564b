// The system calls the installer wizard adds to winsim: serial-port defaults and their dialog, device
// notifications, and loading the system's own DLLs.
#include <gtest/gtest.h>

#include <windows.h>
#include <winbase.h>
#include <dbt.h>

#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/ui.h"

namespace {

class InstallerApis : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(InstallerApis, SerialPortDefaultsAreReadStoredAndRefusedForOtherNames) {
  COMMCONFIG cc{};
  DWORD size = 0;
  EXPECT_FALSE(GetDefaultCommConfigW(u"COM1", nullptr, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, sizeof(COMMCONFIG));
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM1", &cc, &size));
  EXPECT_EQ(cc.dcb.BaudRate, 9600u);
  EXPECT_EQ(cc.dcb.ByteSize, 8);
  cc.dcb.BaudRate = 115200;
  ASSERT_TRUE(SetDefaultCommConfigW(u"com1", &cc, size));
  COMMCONFIG again{};
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM1", &again, &size));
  EXPECT_EQ(again.dcb.BaudRate, 115200u) << "names compare without case";
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM2", &again, &size));
  EXPECT_EQ(again.dcb.BaudRate, 9600u);
  for (const char16_t* bad : {u"COM1:", u"LPT1", u"COM0", u"COM257", u"BT9"}) {
    EXPECT_FALSE(GetDefaultCommConfigW(bad, &cc, &size));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  }
  winsim::Reset();
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM1", &again, &size));
  EXPECT_EQ(again.dcb.BaudRate, 9600u) << "Reset forgets stored configurations";
}

TEST_F(InstallerApis, OnlyAttachedSerialPortsOpen) {
  auto opens = [](const char16_t* name) {
    HANDLE h = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    EXPECT_TRUE(CloseHandle(h));
    return true;
  };
  EXPECT_FALSE(opens(u"COM2:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  winsim::AttachSerialPort(2);
  EXPECT_TRUE(opens(u"COM2:"));
  EXPECT_TRUE(opens(u"com2"));
  EXPECT_TRUE(opens(u"\\\\.\\COM2"));
  EXPECT_FALSE(opens(u"COM1:")) << "no hardware behind COM1";
  EXPECT_FALSE(opens(u"COM2x"));
  winsim::Reset();
  EXPECT_FALSE(opens(u"COM2:")) << "Reset removes the hardware";
}

TEST_F(InstallerApis, TheSerialDialogTakesAQueuedAnswer) {
  COMMCONFIG cc{};
  DWORD size = sizeof cc;
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM3", &cc, &size));
  winsim::ui::QueueMessageBox(IDOK);
  EXPECT_TRUE(CommConfigDialogW(u"COM3", nullptr, &cc));
  winsim::ui::QueueMessageBox(IDCANCEL);
  EXPECT_FALSE(CommConfigDialogW(u"COM3", nullptr, &cc));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
  const auto calls = winsim::ui::MessageBoxes();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].caption, u"COM3");
  EXPECT_TRUE(winsim::ui::Unexpected().empty());
  EXPECT_FALSE(CommConfigDialogW(u"COM3", nullptr, &cc)) << "nothing queued: cancelled";
  EXPECT_EQ(winsim::ui::Unexpected().size(), 1u);
}

TEST_F(InstallerApis, DeviceNotificationsRegisterOnceAndUnregisterOnce) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HWND fake = reinterpret_cast<HWND>(0x1234);
  HDEVNOTIFY h = RegisterDeviceNotificationW(fake, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(UnregisterDeviceNotification(h));
  EXPECT_FALSE(UnregisterDeviceNotification(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegisterDeviceNotificationW(fake, nullptr, 0), nullptr);
}

TEST_F(InstallerApis, SystemDllsLoadOthersDoNot) {
  HMODULE rich = LoadLibraryW(u"riched20.dll");
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\System32\\RICHED20.DLL"), rich);
  EXPECT_EQ(GetModuleHandleW(u"riched20"), rich);
  EXPECT_TRUE(FreeLibrary(rich));
  EXPECT_EQ(LoadLibraryW(u"nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

}  // namespace
