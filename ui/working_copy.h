// The document sheet's working copy of the settings: Page Setup and Graphics Property edit it while the
// sheet is open, and one comparison with the stored settings tells the sheet whether anything changed.
// Process-wide: one document property sheet at a time.
#pragma once

#include "common/devmode.h"
#include "ui/context.h"

// Empties the working copy (no context owns it any more).
void ClearWorkingCopy();
// Clears the working copy and takes it from the settings of `ctx` (Page Setup's opening step).
PrinterDevmode* TakeWorkingCopy(const PrinterContext* ctx);
// The working copy of `ctx`, taken now when another context (or none) owns it. Pages other than
// Page Setup call this so that whichever page opens first starts the copy.
PrinterDevmode* WorkingCopy(const PrinterContext* ctx);
// The working copy when `ctx` owns it, else nullptr (never takes one).
PrinterDevmode* WorkingCopyOf(const PrinterContext* ctx);
// The working copy as it stands, or nullptr before one was taken.
PrinterDevmode* CurrentWorkingCopy();

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
