#include <gtest/gtest.h>

#include <string>

#include "winsim/machine.h"
#include <windows.h>

namespace {

std::string ResourceText(HMODULE m, LPCWSTR name, LPCWSTR type) {
  HRSRC r = FindResourceW(m, name, type);
  if (!r) return "<missing>";
  HGLOBAL g = LoadResource(m, r);
  const char* p = static_cast<const char*>(LockResource(g));
  return std::string(p, SizeofResource(m, r));
}

TEST(Resources, FoundByIdOrCaseInsensitiveName) {
  HMODULE m = winsim::RegisterModule(u"restest");
  winsim::RemoveResources(m);
  winsim::AddResource(m, u"JSON", MAKEINTRESOURCEW(119), "{\"a\":1}", 7);
  winsim::AddResource(m, RT_RCDATA, u"Profile", "dat", 3);
  winsim::AddResource(m, RT_RCDATA, u"Empty", "", 0);

  EXPECT_EQ(ResourceText(m, MAKEINTRESOURCEW(119), u"json"), "{\"a\":1}");
  EXPECT_EQ(ResourceText(m, u"#119", u"JSON"), "{\"a\":1}") << "#n names the integer id";
  EXPECT_EQ(ResourceText(m, u"PROFILE", RT_RCDATA), "dat");
  EXPECT_EQ(ResourceText(m, u"empty", MAKEINTRESOURCEW(10)), "");

  EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(120), u"JSON"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(119), RT_STRING), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(FindResourceW(m, u"119", u"JSON"), nullptr) << "a plain digit string is a name, not an id";

  winsim::AddResource(m, RT_RCDATA, u"profile", "new", 3);  // replaces
  EXPECT_EQ(ResourceText(m, u"Profile", RT_RCDATA), "new");

  winsim::RemoveResources(m);
  EXPECT_EQ(FindResourceW(m, u"Profile", RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(Resources, InvalidHandles) {
  EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x1234), u"x", RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(0x7777777)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(0x7777777)), 0u);
}

TEST(Resources, ModulesByNameSurviveReset) {
  HMODULE self = GetModuleHandleW(nullptr);
  ASSERT_NE(self, nullptr);
  HMODULE drv = winsim::RegisterModule(u"lbldrv6");
  EXPECT_NE(drv, self);
  EXPECT_NE(drv, winsim::RegisterModule(u"lbldrv6ui"));
  EXPECT_EQ(winsim::RegisterModule(u"LBLDRV6.DLL"), drv);
  EXPECT_EQ(GetModuleHandleW(u"LblDrv6"), drv);
  EXPECT_EQ(GetModuleHandleW(u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\lbldrv6.dll"), drv);
  EXPECT_EQ(GetModuleHandleW(u"nosuch"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

  winsim::AddResource(self, RT_RCDATA, MAKEINTRESOURCEW(1), "me", 2);
  winsim::Reset();
  EXPECT_EQ(GetModuleHandleW(u"lbldrv6"), drv);
  EXPECT_EQ(ResourceText(nullptr, MAKEINTRESOURCEW(1), RT_RCDATA), "me") << "NULL module is the process";
  winsim::RemoveResources(self);
}

}  // namespace
