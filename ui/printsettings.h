// The Print Settings page (dialog 113): command language, print mode, speed, darkness, post
// action with its occurrence and feed offset, paper saving and the four user command strings.
#pragma once

#include <cstdint>

#include "common/devmode.h"
#include "common/platform.h"
#include "ui/context.h"

constexpr WORD kPrintSettingsTemplate = 113;
constexpr WORD kInsertMenu = 115;
constexpr int kPsLanguage = 1052;
constexpr int kPsPrintMode = 1070;
constexpr int kPsSpeed = 1041;
constexpr int kPsDarkness = 1042;
constexpr int kPsPostAction = 1022;
constexpr int kPsOccurrence = 1027;
constexpr int kPsInterval = 1028;
constexpr int kPsIntervalSpin = 1029;
constexpr int kPsFeedOffset = 1025;
constexpr int kPsFeedOffsetSpin = 1026;
constexpr int kPsPaperSaving = 1023;
constexpr int kPsCommandSlots = 1044;
constexpr int kPsCommandText = 1045;
constexpr int kPsFunctionChar = 1046;
constexpr int kPsInsert = 1047;
// Insert menu commands: 4900 + c for the control character c (0x00..0x1F), 4932 for DEL; 115 a file.
constexpr UINT kInsertFirst = 4900;
constexpr UINT kInsertDel = 4932;
constexpr UINT kInsertFile = 115;

constexpr int kUserCommandEditChars = 260;
// The longest path "File..." puts into a command slot after the function character and '?'.
constexpr int kCommandFileChars = kUserCommandEditChars - 2;
constexpr int32_t kFeedOffsetLimit = 254000;  // micrometres, either way
constexpr uint32_t kIntervalMax = 999;
constexpr uint32_t kOccurrenceInterval = 2;

// Post actions as the writers read them: 4 is a cut after every IntervalPages labels.
constexpr uint32_t kActionNone = 0, kActionTear = 1, kActionPeel = 2, kActionCut = 3, kActionCutEvery = 4;
constexpr uint16_t kAccessoryCutter = 0x1, kAccessoryPeeler = 0x2;

// The fields this page edits.
struct PrintSettingsValues {
  uint32_t PrintLanguage;
  uint32_t PrintMode;
  uint32_t Speed;
  uint32_t Darkness;
  uint32_t PostAction;
  uint32_t PostActionOccurrence;
  uint32_t IntervalPages;
  int32_t FeedOffset;
  uint32_t PaperSaving;
  WCHAR UserCommands[kUserCommandSlots][kUserCommandChars];
};

PrintSettingsValues PrintSettingsFromSettings(const PrinterContext* ctx);
bool SamePrintSettings(const PrintSettingsValues& a, const PrintSettingsValues& b);
// Stores the page's fields. Option bit 0x80 (also Page Setup's 180-degree choice) changes only
// when the language changed from `openedLanguage`: set on a change to ESC, cleared on one from ESC.
void StorePrintSettings(PrinterDevmode* dm, const PrintSettingsValues& v, uint32_t openedLanguage);
uint32_t RotationFlagsAfter(uint32_t flags, uint32_t openedLanguage, uint32_t language);

// The post-action items a model offers: None, Tear Off, Peel off (peeler), Cut Off (cutter), each
// with the action value the writers read. Returns the count.
struct PostActionItem {
  UINT Text;
  uint32_t Value;
};
int PostActionItems(uint16_t accessories, PostActionItem items[4]);
// The item that shows a stored action (-1 when none does): 4 shows "Cut Off" (after a specified
// interval), and 2 on a model without a peeler shows "Cut Off" too (older records stored the item's
// position there).
int PostActionItemOf(uint32_t stored, const PostActionItem* items, int count);
// What an item stores, in every language: its action value, and 4 for "Cut Off" after a specified
// interval (`occurrence` 2).
uint32_t PostActionToStore(int item, uint32_t occurrence, const PostActionItem* items, int count);
// The occurrence shown for the stored settings: "After Specified Interval" for action 4.
uint32_t OccurrenceShown(uint32_t postAction, uint32_t occurrence);
// Whether a language can carry the cutter's occurrence (after the job, after an interval); TWL's job
// header carries the action alone, so its cutter cuts after every page.
bool LanguageHasOccurrence(uint32_t language);

// The feed offset shown for a post-action item: ESC shows 27.0 mm after "Tear Off" (item 1) and
// -30.0 mm after the later items; otherwise the stored value.
int32_t FeedOffsetShown(uint32_t language, int actionItem, int32_t stored);
// Edit texts as read back: millimetres clamped to +-254.0 and made micrometres in 64 bits; pages
// clamped to 1..999. Unreadable text gives `fallback`.
int32_t ParseFeedOffset(const WCHAR* text, int32_t fallback);
uint32_t ParseInterval(const WCHAR* text, uint32_t fallback);

// What an insert-menu command puts at the caret: the function character and the control
// character's mnemonic in angle brackets ("^<ESC>"). 0 characters for another command.
int InsertionText(WCHAR functionChar, UINT command, WCHAR* out, int cap);
// The function characters of 1046 ("None" gives 0).
WCHAR FunctionCharAt(int index);

INT_PTR CALLBACK PrintSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
