// lblinst32's window program: one modal wizard of six property-sheet pages (agreement, mode choice,
// install, upgrade, uninstall, result) over the install engine and discovery.
#pragma once

#include "installer/discovery.h"  // first: Winsock before windows.h

#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "installer/engine.h"

// The wizard's own window messages (the install page's two come from discovery.h).
constexpr UINT MSG_START_WORK = WM_USER + 3;  // to the result page: start the work thread
constexpr UINT MSG_WORK_DONE = WM_USER + 4;   // to the result page: the run ended; wParam: the mode
constexpr UINT MSG_APPEND_LOG = WM_USER + 5;  // to the result page: lParam: the text to append
static_assert(MSG_REFRESH_PORTS == WM_USER + 1 && MSG_NETWORK_REPLY == WM_USER + 2);

// Wizard-button values for PSM_SETWIZBUTTONS.
enum : DWORD {
  kButtonsBack = 1,
  kButtonsNext = 2,
  kButtonsBackNext = 3,
  kButtonsBackFinish = 5,
  kButtonsDisabledFinish = 8,
  kButtonsNone = 16,
};

// Sheet order of the pages.
enum WizardPage { kPageAgreement, kPageMode, kPageInstall, kPageUpgrade, kPageUninstall, kPageResult, kPageCount };

// The user's choices of one run of the program.
struct WizardState {
  DWORD mode;              // kModeInstall, kModeUninstall, kModeUpgrade
  HWND resultWindow;       // the result page, set when a run starts
  DWORD noPackagePrinter;  // set by the agreement page
  WCHAR infPath[MAX_PATH];
  InstallRecord* records;  // LocalAlloc'ed; freed at program end or when replaced
  DWORD recordCount;
  DWORD setAsDefault, deletePort, removeDriver, removePackage;
};

// Everything one run of the program owns; handed to every page as its parameter.
struct Wizard {
  WizardState state{};
  Engine engine;
  PortLists lists;
  Discovery discovery;
  HWND sheet = nullptr;
  DWORD installButtons = kButtonsBack;  // the install page's remembered buttons
  int usbCount = -1;                    // USB printers of the previous scan; -1 before the first
  bool installRecordMade = false;       // the install record exists (made on the page's first showing)
  bool busy = false;                    // a run is going
  bool upgradeDone = false;
  bool runFailed = false;               // the last run failed: no printer installed, a removal step or an upgrade failed
  HANDLE workThread = nullptr;
  HDEVNOTIFY deviceNotify = nullptr;
  // Install page: a rebuild of the port list is under way (its selection changes are not the user's);
  // the user picked a model or typed a name (a rebuild then leaves both alone); the page is setting the
  // name itself; the user typed an address or TCP port for "NET/Wi-Fi" (a rebuild then chooses no row
  // for them); the page is filling those fields itself.
  bool refreshing = false, modelChosen = false, settingName = false;
  bool addressTyped = false, settingAddress = false;
  std::vector<UpgradeRow> upgradeRows;  // the upgrade list, row by row
};

// Program start: adapter scan and discovery sockets, the state (mode 1, the INF path) and the engine's
// hooks into the wizard. `installerDir` ends with a backslash.
void WizardStart(Wizard* w, const WCHAR* installerDir);
// The pages and the modal sheet, "riched20.dll" loaded around it. Returns PropertySheetW's result.
INT_PTR WizardRun(Wizard* w);
// Program end: the work thread joined, discovery stopped (handling what its threads send meanwhile),
// sockets, lists and records freed.
void WizardEnd(Wizard* w);
// The whole program; returns its exit code.
int RunInstaller(const WCHAR* installerDir);

// Whether any local printer's driver belongs to the package.
bool AnyPackagePrinter();
// The record's IP address from a port name: only a dotted IPv4 text fits; anything else leaves `ip` empty.
void IpAddressFromPortName(const WCHAR* portName, WCHAR (&ip)[20]);
// The work thread of an install or uninstall run (its parameter is the Wizard); posts MSG_WORK_DONE to the
// result page however the run ends.
DWORD WINAPI WorkThread(LPVOID param);
// Waits for a thread while handling the messages sent to this thread's windows meanwhile.
void WaitPumping(HANDLE thread);
// Replaces the state's records by `count` zeroed ones (none for 0).
void SetRecords(WizardState* state, DWORD count);

// Page procedures and the helpers they share (wizard.cpp).
INT_PTR CALLBACK AgreementPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK ModePageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK InstallPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);    // wizard_install.cpp
INT_PTR CALLBACK UpgradePageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);    // wizard_lists.cpp
INT_PTR CALLBACK UninstallPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);  // wizard_lists.cpp
INT_PTR CALLBACK ResultPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);

Wizard* WizardOf(HWND page);
Wizard* AttachWizard(HWND page, LPARAM initParam);  // WM_INITDIALOG: the PROPSHEETPAGEW's lParam
void SetButtons(HWND page, DWORD buttons);
INT_PTR PageResult(HWND page, LONG_PTR result);  // DWLP_MSGRESULT, handled
// What a page does on the sheet's notifications: `shown` on activation; the answers to Next and Back (the
// page to go to: 0 the neighbour, -1 stay) and to Cancel (TRUE refuses). One left empty is not handled.
struct PageSteps {
  std::function<void()> shown{};
  std::function<LONG_PTR()> next{}, back{}, cancel{};
};
INT_PTR PageNotify(HWND page, LPARAM lp, const PageSteps& steps);  // WM_NOTIFY
void AddColumn(HWND list, int index, UINT textId, int width);
int Ask(HWND owner, UINT textId, UINT captionId, UINT type);
