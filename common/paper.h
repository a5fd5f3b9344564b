// Label stock records: the "FORMS" entries, the model's paper list and the installed paper.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform.h"

constexpr int kPaperNameChars = 32;
constexpr int kPaperIndexBase = 256;  // DMPAPER_USER; entry i of "FORMS" is size code 256 + i

// Media flags of PaperRecord::Flags and InstalledPaper::Flags.
constexpr uint32_t kPaperMediaMask = 0x0F;
constexpr uint32_t kPaperGap = 0x01;
constexpr uint32_t kPaperBlackMark = 0x02;
constexpr uint32_t kPaperContinuous = 0x04;
constexpr uint32_t kPaperContinuousUnfixed = 0x08;
constexpr uint32_t kPaperDirectThermal = 0x10;
constexpr uint32_t kPaperThermalTransfer = 0x20;
constexpr uint32_t kPaperInUse = 0x80000000u;

// 112 bytes; stored in "FORMS" and used for the model's paper list. Lengths in micrometres.
struct PaperRecord {
  int32_t Index;
  WCHAR Name[kPaperNameChars];
  int32_t Width;
  int32_t Length;
  int32_t MarginLeft;
  int32_t MarginTop;
  int32_t MarginRight;
  int32_t MarginBottom;
  uint32_t Flags;
  int32_t GapHeight;
  int32_t GapOffset;
  int32_t Speed;
  int32_t Darkness;
};
static_assert(sizeof(PaperRecord) == 112);
static_assert(offsetof(PaperRecord, Index) == 0);
static_assert(offsetof(PaperRecord, Name) == 4);
static_assert(offsetof(PaperRecord, Width) == 68);
static_assert(offsetof(PaperRecord, Length) == 72);
static_assert(offsetof(PaperRecord, MarginLeft) == 76);
static_assert(offsetof(PaperRecord, MarginTop) == 80);
static_assert(offsetof(PaperRecord, MarginRight) == 84);
static_assert(offsetof(PaperRecord, MarginBottom) == 88);
static_assert(offsetof(PaperRecord, Flags) == 92);
static_assert(offsetof(PaperRecord, GapHeight) == 96);
static_assert(offsetof(PaperRecord, GapOffset) == 100);
static_assert(offsetof(PaperRecord, Speed) == 104);
static_assert(offsetof(PaperRecord, Darkness) == 108);

struct PaperArea {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};
static_assert(sizeof(PaperArea) == 16);

// 112 bytes; the "InstalledForm" value and the paper in use.
struct InstalledPaper {
  WCHAR Name[kPaperNameChars];
  uint32_t Reserved;
  int32_t Width;
  int32_t Length;
  PaperArea ImageableArea;
  uint32_t Flags;
  int32_t GapHeight;
  int32_t GapOffset;
  int32_t Speed;
  int32_t Darkness;
};
static_assert(sizeof(InstalledPaper) == 112);
static_assert(offsetof(InstalledPaper, Name) == 0);
static_assert(offsetof(InstalledPaper, Reserved) == 64);
static_assert(offsetof(InstalledPaper, Width) == 68);
static_assert(offsetof(InstalledPaper, Length) == 72);
static_assert(offsetof(InstalledPaper, ImageableArea) == 76);
static_assert(offsetof(InstalledPaper, Flags) == 92);
static_assert(offsetof(InstalledPaper, GapHeight) == 96);
static_assert(offsetof(InstalledPaper, GapOffset) == 100);
static_assert(offsetof(InstalledPaper, Speed) == 104);
static_assert(offsetof(InstalledPaper, Darkness) == 108);

// Paper size and printable area in micrometres, as the renderer needs them.
struct PaperRect {
  int32_t Width;
  int32_t Length;
  PaperArea Area;
};
static_assert(sizeof(PaperRect) == 24);

// Printable area: right = Width - MarginRight, bottom = Length - MarginBottom.
InstalledPaper PaperToInstalled(const PaperRecord& paper);
PaperRect InstalledToRect(const InstalledPaper& paper);
