#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "winsim/machine.h"
#include "winsim/resources.h"
#include <windows.h>

// testres.rc as windres compiles it (tests/winsim/CMakeLists.txt).
extern "C" const unsigned char lbl_test_res[], lbl_test_res_end[];

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

// ---- resources of a compiled script ----------------------------------------------------------

class ResFile : public ::testing::Test {
 protected:
  HMODULE m = nullptr;
  void SetUp() override {
    winsim::Reset();
    m = winsim::RegisterModule(u"restest_rc");
    winsim::RemoveResources(m);
    ASSERT_TRUE(winsim::AddResourceFile(m, lbl_test_res, size_t(lbl_test_res_end - lbl_test_res)));
  }
  void TearDown() override { winsim::RemoveResources(m); }
  std::u16string String(UINT id) {
    WCHAR buf[64] = {u'?'};
    const int n = LoadStringW(m, id, buf, 64);
    return n ? std::u16string(buf, size_t(n)) : std::u16string(u"<none>");
  }
};

TEST_F(ResFile, EveryRecordWithItsTypeNameAndData) {
  HRSRC dlg = FindResourceW(m, MAKEINTRESOURCEW(101), RT_DIALOG);
  ASSERT_NE(dlg, nullptr);
  const auto* words = static_cast<const WORD*>(LockResource(LoadResource(m, dlg)));
  EXPECT_EQ(words[0], 1) << "DIALOGEX version";
  EXPECT_EQ(words[1], 0xFFFF) << "DIALOGEX signature";
  EXPECT_GT(SizeofResource(m, dlg), 40u);
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(200), RT_MENU), nullptr);
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(300), RT_BITMAP), nullptr);
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(400), RT_GROUP_ICON), nullptr);
  EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(102), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(ResFile, MalformedFilesAddNothing) {
  HMODULE other = winsim::RegisterModule(u"restest_bad");
  winsim::RemoveResources(other);
  const size_t size = size_t(lbl_test_res_end - lbl_test_res);
  // Cut inside the data of the second record: its data size runs past the end.
  EXPECT_FALSE(winsim::AddResourceFile(other, lbl_test_res, 0x30));
  std::vector<uint8_t> bad(lbl_test_res, lbl_test_res + size);
  bad[0x24] = 0xFF;  // header size of the second record far beyond the file
  bad[0x25] = 0xFF;
  EXPECT_FALSE(winsim::AddResourceFile(other, bad.data(), bad.size()));
  EXPECT_FALSE(winsim::AddResourceFile(other, nullptr, 10));
  EXPECT_EQ(FindResourceW(other, MAKEINTRESOURCEW(101), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND)) << "the module has no resources at all";
  EXPECT_TRUE(winsim::AddResourceFile(other, lbl_test_res, 0)) << "an empty file is a file without resources";
}

TEST_F(ResFile, LanguagesFallBackThroughNeutralToEnglish) {
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
  EXPECT_EQ(String(1), u"One");
  // The block of the chosen language decides: English block 1 has no string 2, although the neutral
  // block does.
  EXPECT_EQ(String(2), u"<none>");

  winsim::SetUserUiLanguage(0x0407);
  EXPECT_EQ(String(1), u"Eins");
  winsim::SetUserUiLanguage(0x0807);  // Swiss German: the same primary language
  EXPECT_EQ(String(1), u"Eins");
  winsim::SetUserUiLanguage(0x0411);  // Japanese: not there, the neutral resource
  EXPECT_EQ(String(1), u"Neutral one");
  EXPECT_EQ(String(16), u"Sixteen") << "no neutral block 2: English";

  // The thread's UI language goes before the user's, on that thread only.
  EXPECT_EQ(SetThreadUILanguage(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)), 0x0419);
  EXPECT_EQ(String(1), u"\u041E\u0434\u0438\u043D");
  std::u16string other;
  std::thread([&] { other = String(1); }).join();
  EXPECT_EQ(other, u"Neutral one");

  EXPECT_NE(FindResourceExW(m, RT_STRING, MAKEINTRESOURCEW(1), 0x0407), nullptr);
  EXPECT_EQ(FindResourceExW(m, RT_STRING, MAKEINTRESOURCEW(1), 0x0411), nullptr) << "an explicit language only";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_LANG_NOT_FOUND));

  winsim::Reset();
  EXPECT_EQ(GetThreadUILanguage(), 0x0409) << "Reset() forgets the thread's and the user's choice";
  EXPECT_EQ(String(1), u"One");
}

TEST_F(ResFile, LoadStringEdges) {
  EXPECT_EQ(String(15), u"Fifteen") << "last of block 1";
  EXPECT_EQ(String(16), u"Sixteen") << "first of block 2";
  WCHAR buf[8];
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(LoadStringW(m, 3, buf, 8), 0) << "missing id in an existing block";
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(LoadStringW(m, 999, buf, 8), 0) << "missing block";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(LoadStringW(m, 40, buf, 8), 7) << "truncated to the buffer, terminated";
  EXPECT_EQ(std::u16string(buf), u"A longe");
  EXPECT_EQ(LoadStringW(m, 40, buf, 1), 0);
  EXPECT_EQ(buf[0], 0);
  const WCHAR* direct = nullptr;
  EXPECT_EQ(LoadStringW(m, 40, reinterpret_cast<LPWSTR>(&direct), 0), 30) << "read-only pointer, not terminated";
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(std::u16string(direct, 30), u"A longer string for truncation");
}

TEST_F(ResFile, MenusFromMenuAndMenuExTemplates) {
  HMENU menu = LoadMenuW(m, MAKEINTRESOURCEW(200));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 2);
  EXPECT_EQ(GetMenuItemID(menu, 0), UINT(-1)) << "a popup has no id";
  EXPECT_EQ(GetMenuItemID(menu, 1), 302u);
  HMENU file = GetSubMenu(menu, 0);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(GetSubMenu(menu, 1), nullptr);
  EXPECT_EQ(GetMenuItemCount(file), 3);
  EXPECT_EQ(GetMenuItemID(file, 0), 300u);
  EXPECT_TRUE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_TRUE(GetMenuState(menu, 301, MF_BYCOMMAND) & MF_GRAYED) << "found in the submenu";
  WCHAR text[16];
  EXPECT_EQ(GetMenuStringW(menu, 300, text, 16, MF_BYCOMMAND), 5);
  EXPECT_EQ(std::u16string(text), u"&Open");
  EXPECT_EQ(GetMenuStringW(menu, 0, text, 16, MF_BYPOSITION), 5);
  EXPECT_EQ(std::u16string(text), u"&File");
  EXPECT_EQ(GetMenuStringW(menu, 301, text, 3, MF_BYCOMMAND), 2);
  EXPECT_EQ(std::u16string(text), u"E&");
  EXPECT_EQ(GetMenuStringW(menu, 301, nullptr, 0, MF_BYCOMMAND), 5);
  EXPECT_EQ(GetMenuStringW(menu, 999, text, 16, MF_BYCOMMAND), 0);
  EXPECT_TRUE(DestroyMenu(menu));
  EXPECT_EQ(GetMenuItemCount(file), -1) << "submenus go with their menu";

  HMENU ex = LoadMenuW(m, MAKEINTRESOURCEW(201));
  ASSERT_NE(ex, nullptr);
  ASSERT_EQ(GetMenuItemCount(ex), 1);
  HMENU edit = GetSubMenu(ex, 0);
  ASSERT_EQ(GetMenuItemCount(edit), 3);
  EXPECT_EQ(GetMenuItemID(edit, 0), 310u);
  EXPECT_TRUE(GetMenuState(edit, 310, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(edit, 1, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(GetMenuItemID(edit, 2), 311u);
  EXPECT_EQ(GetMenuStringW(ex, 311, text, 16, MF_BYCOMMAND), 6);
  EXPECT_EQ(std::u16string(text), u"&Paste");
  DestroyMenu(ex);
  EXPECT_EQ(LoadMenuW(m, MAKEINTRESOURCEW(202)), nullptr);

  HMENU bar = CreateMenu();
  HMENU popup = CreatePopupMenu();
  EXPECT_TRUE(AppendMenuW(popup, MF_STRING, 7, u"Seven"));
  EXPECT_TRUE(AppendMenuW(popup, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), u"Menu"));
  EXPECT_FALSE(AppendMenuW(bar, MF_POPUP, 0x999, u"Bad"));
  EXPECT_EQ(GetSubMenu(bar, 0), popup);
  EXPECT_EQ(GetMenuItemID(popup, 0), 7u);
  EXPECT_TRUE(DestroyMenu(bar));
  EXPECT_FALSE(DestroyMenu(popup));
}

TEST_F(ResFile, BitmapsAndIcons) {
  HBITMAP rgb = LoadBitmapW(m, MAKEINTRESOURCEW(300));
  ASSERT_NE(rgb, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(rgb, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 3);
  EXPECT_EQ(bm.bmHeight, 2);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, rgb);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0)) << "bottom-up file rows come out top row first";
  EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 2, 1), RGB(10, 20, 30));

  HBITMAP pal = static_cast<HBITMAP>(LoadImageW(m, MAKEINTRESOURCEW(301), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  ASSERT_NE(pal, nullptr);
  SelectObject(dc, pal);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(200, 100, 50));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 0));
  SelectObject(dc, old);
  DeleteDC(dc);
  EXPECT_EQ(LoadBitmapW(m, MAKEINTRESOURCEW(399)), nullptr);

  HICON icon = LoadIconW(m, MAKEINTRESOURCEW(400));
  EXPECT_NE(icon, nullptr);
  HICON small = static_cast<HICON>(LoadImageW(m, MAKEINTRESOURCEW(400), IMAGE_ICON, 16, 16, 0));
  EXPECT_NE(small, nullptr);
  EXPECT_TRUE(DestroyIcon(small));
  EXPECT_FALSE(DestroyIcon(small));
  EXPECT_NE(LoadIconW(nullptr, IDI_WARNING), nullptr);
  EXPECT_EQ(LoadIconW(m, MAKEINTRESOURCEW(401)), nullptr);
}

}  // namespace
