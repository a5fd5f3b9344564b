// winsim's string resources and printer-driver directory.
#include <gtest/gtest.h>

#include <vector>

#include "ui_fixture.h"

namespace uitest {
namespace {

TEST(WinsimStrings, BlocksOfSixteenCountedStrings) {
  HMODULE m = winsim::RegisterModule(u"stringtest");
  winsim::RemoveResources(m);
  // Block 2 holds ids 16..31: id 16 "ab", id 17 empty, id 18 "xyz", the rest empty.
  std::vector<char16_t> block = {2, u'a', u'b', 0, 3, u'x', u'y', u'z'};
  block.resize(block.size() + 13, 0);
  winsim::AddResource(m, RT_STRING, MAKEINTRESOURCEW(2), block.data(), block.size() * 2);
  WCHAR buf[8];
  EXPECT_EQ(LoadStringW(m, 18, buf, 8), 3);
  EXPECT_EQ(U16(buf), u"xyz");
  EXPECT_EQ(LoadStringW(m, 18, buf, 3), 2) << "cut to the buffer, terminated";
  EXPECT_EQ(U16(buf), u"xy");
  EXPECT_EQ(LoadStringW(m, 17, buf, 8), 0);
  EXPECT_EQ(LoadStringW(m, 40, buf, 8), 0);
  const WCHAR* direct = nullptr;
  EXPECT_EQ(LoadStringW(m, 16, reinterpret_cast<LPWSTR>(&direct), 0), 2);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(direct[0], u'a');
  EXPECT_EQ(LoadStringW(m, 16, nullptr, 8), 0);
}

TEST(WinsimSpooler, PrinterDriverDirectoryFollowsTheSizeProtocol) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<WCHAR> dir(needed / sizeof(WCHAR));
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir.data()), needed, &needed));
  EXPECT_EQ(U16(dir.data()), u"C:\\Windows\\System32\\spool\\DRIVERS\\x64");
  WString other = ToWString(u"Windows 4.0");
  std::vector<WCHAR> big(200);
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, other.data(), 1, reinterpret_cast<LPBYTE>(big.data()), 400, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 2, reinterpret_cast<LPBYTE>(big.data()), 400, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
}

}  // namespace
}  // namespace uitest
