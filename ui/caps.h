// Device capabilities: the answers of DrvDeviceCapabilities and DrvSplDeviceCaps for a mapped printer.
#pragma once

#include "common/platform.h"
#include "ui/context.h"

constexpr DWORD kCapsError = 0xFFFFFFFF;  // GDI_ERROR
constexpr int kPaperNameSlot = 64;        // DC_PAPERNAMES, DC_MEDIAREADY, DC_FILEDEPENDENCIES
constexpr int kBinNameSlot = 24;          // DC_BINNAMES
constexpr int kPersonalitySlot = 32;      // DC_PERSONALITY

// The answer to capability `index`, written to `output` when given. `nameLimit` caps the names that
// DC_PAPERNAMES and DC_MEDIAREADY write (negative: no limit); the result is the same either way.
DWORD QueryCapability(PrinterContext* ctx, WORD index, void* output, int nameLimit);
