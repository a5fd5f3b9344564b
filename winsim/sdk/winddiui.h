// winsim: the printer-driver user-interface interface (winddiui.h) with the Windows x64 layouts, and
// the wingdi.h capability indexes and DocumentProperties modes its entry points take.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <compstui.h>

// ---- DeviceCapabilities indexes (wingdi.h) ---------------------------------------------------
#define DC_FIELDS 1
#define DC_PAPERS 2
#define DC_PAPERSIZE 3
#define DC_MINEXTENT 4
#define DC_MAXEXTENT 5
#define DC_BINS 6
#define DC_DUPLEX 7
#define DC_SIZE 8
#define DC_EXTRA 9
#define DC_VERSION 10
#define DC_DRIVER 11
#define DC_BINNAMES 12
#define DC_ENUMRESOLUTIONS 13
#define DC_FILEDEPENDENCIES 14
#define DC_TRUETYPE 15
#define DC_PAPERNAMES 16
#define DC_ORIENTATION 17
#define DC_COPIES 18
#define DC_BINADJUST 19
#define DC_EMF_COMPLIANT 20
#define DC_DATATYPE_PRODUCED 21
#define DC_COLLATE 22
#define DC_MANUFACTURER 23
#define DC_MODEL 24
#define DC_PERSONALITY 25
#define DC_PRINTRATE 26
#define DC_PRINTRATEUNIT 27
#define DC_PRINTERMEM 28
#define DC_MEDIAREADY 29
#define DC_STAPLE 30
#define DC_PRINTRATEPPM 31
#define DC_COLORDEVICE 32
#define DC_NUP 33
#define DC_MEDIATYPENAMES 34
#define DC_MEDIATYPES 35

#define PRINTRATEUNIT_PPM 1
#define PRINTRATEUNIT_CPS 2
#define PRINTRATEUNIT_LPM 3
#define PRINTRATEUNIT_IPM 4

#define DMBIN_ONLYONE 1
#define GDI_ERROR (0xFFFFFFFFL)

// DocumentProperties modes (wingdi.h) and the ones only drivers see (winddiui.h).
#define DM_UPDATE 1
#define DM_COPY 2
#define DM_PROMPT 4
#define DM_MODIFY 8
#define DM_IN_BUFFER DM_MODIFY
#define DM_IN_PROMPT DM_PROMPT
#define DM_OUT_BUFFER DM_COPY
#define DM_OUT_DEFAULT DM_UPDATE
#define DM_ADVANCED 0x10
#define DM_NOPERMISSION 0x20
#define DM_USER_DEFAULT 0x40

// ---- user-interface driver records and exports (winddiui.h) -------------------------------------
// The Windows build carries the part MinGW-w64 lacks in common/wincompat; the records are the same.
#include "../../common/wincompat/winddiui_wdk.h"
typedef DRIVER_UPGRADE_INFO_1W DRIVER_UPGRADE_INFO_1;
typedef DRIVER_UPGRADE_INFO_2W DRIVER_UPGRADE_INFO_2;

#define PRINTER_EVENT_ADD_CONNECTION 1
#define PRINTER_EVENT_DELETE_CONNECTION 2
#define PRINTER_EVENT_INITIALIZE 3
#define PRINTER_EVENT_DELETE 4
#define PRINTER_EVENT_CACHE_REFRESH 5
#define PRINTER_EVENT_CACHE_DELETE 6
#define PRINTER_EVENT_ATTRIBUTES_CHANGED 7
#define PRINTER_EVENT_FLAG_NO_UI 0x00000001

static_assert(sizeof(void*) != 8 || sizeof(PROPSHEETUI_INFO) == 48);
static_assert(sizeof(void*) != 8 || offsetof(PROPSHEETUI_INFO, lParamInit) == 24);
static_assert(sizeof(void*) != 8 || sizeof(DOCUMENTPROPERTYHEADER) == 48);
static_assert(sizeof(void*) != 8 || offsetof(DOCUMENTPROPERTYHEADER, cbOut) == 40);
static_assert(sizeof(void*) != 8 || sizeof(DEVICEPROPERTYHEADER) == 24);
static_assert(sizeof(void*) != 8 || sizeof(DEVQUERYPRINT_INFO) == 40);
static_assert(sizeof(void*) != 8 || offsetof(DEVQUERYPRINT_INFO, cchErrorStr) == 32);
static_assert(sizeof(void*) != 8 || offsetof(DRIVER_UPGRADE_INFO_2W, pName) == 24);
static_assert(sizeof(void*) != 8 || sizeof(DRIVER_UPGRADE_INFO_2W) == 104);

extern "C" {
BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam);
}  // extern "C"
