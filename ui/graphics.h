// The Graphics Property page (dialog 108): brightness, contrast, the dithering method and the
// low-resolution enhancement, with the sample picture made as the printer page would be.
#pragma once

#include <cstdint>

#include "common/platform.h"
#include "ui/context.h"

constexpr WORD kGraphicsTemplate = 108;
constexpr int kGraphicsBrightnessBar = 1030;
constexpr int kGraphicsContrastBar = 1031;
constexpr int kGraphicsBrightnessText = 1041;
constexpr int kGraphicsContrastText = 1043;
constexpr int kGraphicsLowResolution = 1025;  // "Enable enhancement for low resolutions"
constexpr int kGraphicsOriginal = 1009;       // "View the original image"
constexpr int kGraphicsSample = 1036;
// Posted once the page is set up (as a WM_COMMAND notification code); control changes are read
// back only after it.
constexpr WORD kGraphicsInitialised = 1025;

// The dithering buttons and their DitherLevel values, in reading order. 1016 is not in the dialog.
struct DitherButton {
  int Id;
  uint32_t Level;
};
constexpr DitherButton kDitherButtons[] = {{1096, 8}, {1097, 1}, {1008, 0}, {1010, 2}, {1011, 3},
                                           {1012, 4}, {1013, 5}, {1015, 6}, {1016, 9}};

// The fields this page edits.
struct GraphicsValues {
  int Brightness;  // -100..100
  int Contrast;    // -100..100
  uint32_t DitherLevel;
  int16_t InputDPI;
  bool operator==(const GraphicsValues&) const = default;
};

// The page's fields of a settings record, and writing them into one. The page edits the sheet's working
// copy (shared with Page Setup) and stores it on apply.
GraphicsValues GraphicsOf(const PrinterDevmode& dm);
void PutGraphics(PrinterDevmode* dm, const GraphicsValues& v);

// The button of a level; 0 for a level without one (no button is checked and reading back keeps it).
int DitherButtonOf(uint32_t level);

INT_PTR CALLBACK GraphicsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
