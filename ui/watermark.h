// The WaterMark page (dialog 120): the watermark switch, its picture file, brightness, scale and
// position, with a preview dithered as the printer page would be.
#pragma once

#include <cstdint>

#include "common/devmode.h"
#include "common/platform.h"
#include "ui/context.h"

constexpr WORD kWatermarkTemplate = 120;
constexpr int kWmEnable = 1009;
constexpr int kWmPath = 1083;
constexpr int kWmBrowse = 1084;
constexpr int kWmBrightness = 1085;
constexpr int kWmScale = 1087;
constexpr int kWmHorizontal = 1088;
constexpr int kWmVertical = 1089;
constexpr int kWmPreview = 1095;
constexpr UINT_PTR kWmActivateTimer = 2;
constexpr UINT kWmActivateDelay = 50;

struct WatermarkValues {
  bool Enabled;  // option bit 0x100
  WCHAR Path[kWatermarkPathChars];
  int16_t Brightness;  // 0..255
  int16_t Scale;       // 0..100
  int16_t X;           // 0..100
  int16_t Y;           // 0..100
};

WatermarkValues WatermarkFromSettings(const PrinterContext* ctx);
bool SameWatermark(const WatermarkValues& a, const WatermarkValues& b);
void StoreWatermark(PrinterDevmode* dm, const WatermarkValues& v);

INT_PTR CALLBACK WatermarkPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
