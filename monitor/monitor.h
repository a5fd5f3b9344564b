// Language monitor lblmon: the module, its entry points (the MONITOR2 table) and the headers of its parts
// (port, delivery, status, log).
#pragma once

#include "common/pagefile.h"
#include "common/platform.h"
#include "common/product.h"
#include "monitor/delivery.h"
#include "monitor/log.h"
#include "monitor/port.h"
#include "monitor/status.h"

// Folder of the log files, and the folder in it of the page files the rendering DLL writes for TWL
// printers.
#define LBLMON_FOLDER TEXT(LBL_LOG_FOLDER)
#define LBLMON_PAGE_FOLDER TEXT(LBL_PAGE_FOLDER)

// ---- module -------------------------------------------------------------------------------
void MonitorProcessAttach();
// The module is unloaded (not the process ending): releases the locks and the monitor-wide state.
void MonitorProcessDetach();
// The page folder, made when missing; true when it and the log folder around it are the service's own
// (IsTrustedFolder): files found through a planted junction or in a user's folder are not the renderer's.
bool PagesFolderUsable();
// Deletes the page files an earlier spooler run left in the page folder: regular files with names of the
// form "page_N_jobid_N_N.dat" only, and only when PagesFolderUsable. Only the first call after load does
// anything.
void DeleteLeftoverPageFiles();
// Forgets the monitor-wide state (last status text, vendor command buffer, leftover clean-up done);
// every port must be closed. For tests.
void ResetMonitorState();

// ---- entries (the MONITOR2 table) -----------------------------------------------------------
BOOL WINAPI MonOpenPortEx(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName,
                          PHANDLE pHandle, LPMONITOR2 pMonitor2);
BOOL WINAPI MonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
BOOL WINAPI MonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI MonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL WINAPI MonEndDocPort(HANDLE hPort);
BOOL WINAPI MonClosePort(HANDLE hPort);
VOID WINAPI Shutdown(HANDLE hMonitor);
BOOL WINAPI MonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                      DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                      LPDWORD lpcbReturned);
DWORD WINAPI MonBidiSendRecv(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
                             PBIDI_RESPONSE_CONTAINER* ppResData);
// The table handed to the spooler.
const FullMonitor2* MonitorTable();

