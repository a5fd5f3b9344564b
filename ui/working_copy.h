// The document sheet's working copy of the settings: Page Setup and Graphics Property edit it while the
// sheet is open, and one comparison with the stored settings tells the sheet whether anything changed.
// Each sheet has its own, kept in its printer context.
#pragma once

#include "common/devmode.h"
#include "ui/context.h"

// Takes the working copy of `ctx` afresh from its settings (Page Setup's opening step).
PrinterDevmode* TakeWorkingCopy(PrinterContext* ctx);
// The working copy of `ctx`, taken now when it has none yet. Pages other than Page Setup call this so
// that whichever page opens first starts the copy.
PrinterDevmode* WorkingCopy(PrinterContext* ctx);
// The working copy of `ctx` once taken, else nullptr (never takes one).
PrinterDevmode* WorkingCopyOf(PrinterContext* ctx);

// Whether the working copy differs from `stored` in any field a document page edits: the stock name,
// orientation, copies, option flags, offsets, print width and scale, and the fields of the Graphics,
// Print Settings and WaterMark pages.
bool SettingsDiffer(const PrinterDevmode& working, const PrinterDevmode& stored);
bool WorkingCopyDiffers(const PrinterContext* ctx);

// Writes the page-edited fields of the working copy into the settings of `ctx` (apply).
void StoreWorkingCopy(PrinterContext* ctx);

// Copies the page-edited fields of `from` into `to`; everything else of `to` stays.
void CopyEditedFields(const PrinterDevmode& from, PrinterDevmode* to);

// Tells the sheet of `page` whether the working copy differs from the stored settings
// (PSM_CHANGED / PSM_UNCHANGED). Returns whether it differs.
bool ReportWorkingCopyChange(HWND page, const PrinterContext* ctx);
