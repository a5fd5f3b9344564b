// Shared helpers and the per-language halves of the writers (writer.cpp dispatches to them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/writers/writer.h"

namespace writers {

// False once the sink reports the job failed.
bool SendBytes(WriterContext& ctx, const void* data, size_t size);
bool SendText(WriterContext& ctx, const std::string& text);
bool SendText(WriterContext& ctx, const char* text);

// The settings' user command string `slot` in the ANSI code page, never cut short.
std::string UserCommandText(const PrinterDevmode& settings, int slot);

// The page size in tenths of a millimetre: SendPage's 32-bit values, else the settings'.
int32_t PageWidthTenths(const WriterContext& ctx);
int32_t PageLengthTenths(const WriterContext& ctx);

// Micrometres to dots at `resolution`: (R x (um / 100) + 127) / 254.
int32_t Dots(DWORD resolution, int32_t micrometres);
// The model resolution (D).
uint32_t ModelDpi(const WriterContext& ctx);
// Resolution of the raster the writers receive: the device resolution divided by InputDPI + 1.
// 0 when there is none to divide.
DWORD RasterDpi(const WriterContext& ctx);
const InstalledPaper& Paper(const WriterContext& ctx);

// Speed and darkness in force: the paper's own when set, else the settings'; with
// `modelDefault` the model's default when neither is set.
uint32_t Speed(const WriterContext& ctx, bool modelDefault);
uint32_t Darkness(const WriterContext& ctx, bool modelDefault);

inline void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v);
  PutU16(p + 2, v >> 16);
}

// TSPL
constexpr DWORD kTsplBandRows = 280;
void TsplJobHeader(WriterContext& ctx);
void TsplPageHeader(WriterContext& ctx);
void TsplRaster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows);
void TsplPageTrailer(WriterContext& ctx);
// "%d.%d" of a length in micrometres as millimetres (gap and black-mark lines).
std::string TsplMillimetres(int32_t micrometres);

// ZPL
constexpr DWORD kZplBandRows = 300;
void ZplJobHeader(WriterContext& ctx);
void ZplPageHeader(WriterContext& ctx);
void ZplFormatStart(WriterContext& ctx);
void ZplRaster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows);
void ZplPageTrailer(WriterContext& ctx);

// ESC
constexpr DWORD kEscBandRows = 24;
void EscJobHeader(WriterContext& ctx);
void EscPostAction(WriterContext& ctx, int slot);
void EscPageHeader(WriterContext& ctx);
void EscRaster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows);

// TWL
constexpr size_t kTwlJobHeaderBytes = 7;
constexpr size_t kTwlPageHeaderBytes = 22;
constexpr size_t kTwlMarkerBytes = 8;
constexpr uint16_t kTwlCounterWrapAbove = 8999;
void TwlJobHeader(WriterContext& ctx);
void TwlUserCommand(WriterContext& ctx, int slot, const std::string& text);
void TwlRaster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows);

}  // namespace writers
