#include "installer/strings.h"

#include <mutex>
#include <set>

#include "common/wstr.h"

namespace {

struct Entry {
  UINT id;
  const WCHAR* text;
};

// Keep in step with lblinst32.rc.
const Entry kStrings[] = {
    {IDS_UNINSTALL_PROMPT,
     TEXT("Please ensure the printer device is disconnected or turn off before to uninstall the driver.")},
    {IDS_FORCE_REMOVE, TEXT("The driver is being used by a device, force to remove?")},
    {IDS_PROMPT, TEXT("Prompt")},
    {IDS_INSTALLING, TEXT("Installing the printer driver: %ws, at port: %ws.\r\n")},
    {IDS_INSTALL_OK, TEXT("The printer driver is installed successfully\r\n")},
    {IDS_INSTALL_FAILED, TEXT("Failed to install the printer driver.\r\n")},
    {IDS_REMOVE_PRINTER, TEXT("Remove printer: %ws ...")},
    {IDS_DELETE_PACKAGE, TEXT("Delete printer driver package, inf: %ws...")},
    {IDS_REBOOT_QUESTION, TEXT("Restart your computer to finish uninstalling printer driver. Make sure to save your "
                               "files before restarting. Reboot now?")},
    {IDS_REBOOT_CAPTION, TEXT("Restart Warning")},
    {IDS_REMOVE_DRIVER, TEXT("Remove printer driver %ws %ws. code:%d\r\n")},
    {IDS_UPGRADING, TEXT("The printer driver is upgrading...")},
    {IDS_UPGRADE_OK, TEXT("The printer driver is successfully upgraded.")},
    {IDS_UPGRADE_FAILED, TEXT("Failed to upgrade the printer driver.")},
    {IDS_OK, TEXT("OK\r\n")},
    {IDS_FAILED, TEXT("Failed\r\n")},
};

// Texts loaded from the string table stay for the life of the process, each once, so that callers may
// keep the pointers (the log lines of a run, a message box's caption and text) as with the literals.
const WCHAR* Keep(const WCHAR* text, int length) {
  static std::mutex lock;
  static std::set<WString> kept;
  std::lock_guard<std::mutex> hold(lock);
  return kept.emplace(text, size_t(length)).first->c_str();
}

}  // namespace

// The program's string table in the user's UI language when the program carries one (the resource
// loader picks the language's block, English when it has none); the texts above otherwise, as for the
// engine linked into other programs.
const WCHAR* InstallerString(UINT id) {
  const WCHAR* text = nullptr;
  const DWORD error = GetLastError();  // callers log a step's text before reading why it failed
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  SetLastError(error);
  if (length > 0 && text) return Keep(text, length);
  for (const Entry& e : kStrings)
    if (e.id == id) return e.text;
  return TEXT("");
}
