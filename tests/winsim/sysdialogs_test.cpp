// Scripted system dialogs and programs: queued answers, recorded calls, unanswered calls reported.
#include "winsim/dialog_util.h"

#include <commdlg.h>
#include <shlobj.h>

namespace ui = winsim::ui;

namespace {

class SysDialogs : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    ui::SetUnexpectedHook(nullptr);
    winsim::Reset();
  }
};

TEST_F(SysDialogs, MessageBoxesTakeQueuedAnswersAndAreRecorded) {
  ui::QueueMessageBox(IDNO);
  ui::QueueMessageBox(IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"Delete?", u"Capture", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"Done.", nullptr, MB_OK), IDOK);
  auto calls = ui::MessageBoxes();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, u"Delete?");
  EXPECT_EQ(calls[0].caption, u"Capture");
  EXPECT_EQ(calls[0].type, UINT(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(calls[1].caption, u"Error");  // the system's caption for NULL
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(SysDialogs, AnUnansweredDialogIsReportedWithItsText) {
  std::vector<std::string> seen;
  ui::SetUnexpectedHook([&](const std::string& s) { seen.push_back(s); });
  EXPECT_EQ(MessageBoxW(nullptr, u"Printer offline", u"TW-QX", MB_OK), 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "MessageBoxW: Printer offline");
  EXPECT_EQ(ui::Unexpected(), seen);
  winsim::Reset();
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(SysDialogs, FileAndFolderChoosers) {
  ui::QueueFileName(u"C:\\fw\\tw-qx.bin");
  ui::QueueFileCancel();
  WCHAR file[MAX_PATH] = u"old.bin";
  WCHAR title[MAX_PATH];
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFilter = u"Firmware\0*.bin\0All\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = MAX_PATH;
  ofn.lpstrTitle = u"Firmware file";
  ASSERT_TRUE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(std::u16string(file), u"C:\\fw\\tw-qx.bin");
  EXPECT_EQ(std::u16string(title), u"tw-qx.bin");
  EXPECT_EQ(ofn.nFileOffset, 6);
  EXPECT_EQ(ofn.nFileExtension, 12);
  EXPECT_FALSE(GetSaveFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);  // cancelled, not failed
  auto calls = ui::FileDialogs();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].filter, u"Firmware|*.bin|All|*.*");
  EXPECT_EQ(calls[0].title, u"Firmware file");
  EXPECT_EQ(calls[0].fileName, u"old.bin");
  EXPECT_TRUE(calls[1].save);

  ui::QueueFolder(u"C:\\capture");
  BROWSEINFOW bi{};
  WCHAR display[MAX_PATH];
  bi.pszDisplayName = display;
  bi.lpszTitle = u"Capture folder";
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
  ASSERT_NE(pidl, nullptr);
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListW(pidl, path));
  EXPECT_EQ(std::u16string(path), u"C:\\capture");
  EXPECT_EQ(std::u16string(display), u"capture");
  CoTaskMemFree(pidl);
  EXPECT_EQ(ui::FolderDialogs().at(0).title, u"Capture folder");
}

TEST_F(SysDialogs, PopupMenusAnswerWithTheChosenCommand) {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 11, u"Delete");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | MF_GRAYED, 12, u"Resend");
  ui::QueueMenuChoice(11);
  ui::QueueMenuChoice(12);
  EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr), 11);
  EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr), 0);  // disabled: dismissed
  auto calls = ui::Menus();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].items, (std::vector<std::u16string>{u"Delete", u"-", u"Resend"}));
  EXPECT_EQ(calls[0].answer, 11u);
  EXPECT_EQ(calls[1].answer, 0u);
  EXPECT_TRUE(DestroyMenu(menu));
}

TEST_F(SysDialogs, ProgramsAreRecordedAndEndAsScripted) {
  ui::QueueProcess(0);
  ui::QueueProcess(0, true);
  ui::QueueProcess(0, false, ERROR_ACCESS_DENIED);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  WCHAR cmd[] = u"rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"TW-QX\"";
  ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), DWORD(WAIT_OBJECT_0));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  WCHAR notepad[] = u"notepad.exe C:\\log.txt";
  ASSERT_TRUE(CreateProcessW(nullptr, notepad, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), DWORD(WAIT_TIMEOUT));
  ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  ASSERT_TRUE(ui::EndProcess(1, 3));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), DWORD(WAIT_OBJECT_0));
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 3u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  WCHAR shutdown[] = u"shutdown /r /t 0";
  EXPECT_FALSE(CreateProcessW(nullptr, shutdown, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  auto calls = ui::Processes();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].commandLine, std::u16string(cmd));
  EXPECT_EQ(calls[2].commandLine, u"shutdown /r /t 0");
}

}  // namespace
