// Language monitor lblmon: the day's log file in c:\prtmonlog.
#pragma once

#include <cstddef>

#include "common/platform.h"

// ---- log ----------------------------------------------------------------------------------
// Appends one line to the day's log file; keeps the caller's last error. Throws nothing: a line that finds no
// memory is lost.
void MonLog(LPCWSTR fmt, ...);
// The log file of a date: "c:\prtmonlog\mon_2024-2-4.log".
void LogFileName(WORD year, WORD month, WORD day, WCHAR* out, size_t cap);
// The calendar date `days` days after (negative: before) the given one.
void AddDays(WORD* year, WORD* month, WORD* day, int days);

